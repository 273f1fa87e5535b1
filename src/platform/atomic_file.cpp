#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>

namespace pelm {
namespace {

std::string folderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Writing through a link to a file kept elsewhere must update that file, not
// turn the link into a file of its own.
std::string linkTarget(const std::string& path) {
    struct stat status;
    if (lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return path;
    char* resolved = realpath(path.c_str(), nullptr);
    if (resolved == nullptr) return path;
    std::string target(resolved);
    free(resolved);
    return target;
}

// Creates a file of a name nobody else uses, beside `target`; the mode 0666
// lets the umask decide the permissions of a file that did not exist.
int createTemporary(const std::string& target, std::string& name) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = target + ".tmp-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
        int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

void keepPermissions(int fd, const std::string& target) {
    struct stat status;
    if (stat(target.c_str(), &status) == 0) fchmod(fd, status.st_mode & 07777);
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t written = write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

bool writeAndClose(int fd, std::string_view bytes, Durability durability) {
    bool written = writeAll(fd, bytes) && (durability == Durability::Visible || fsync(fd) == 0);
    return close(fd) == 0 && written;
}

// Makes the rename itself durable. A failure here cannot be undone and the
// new file is already in place, so it is not reported.
void syncFolder(const std::string& folder) {
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

// Renaming over a file ignores its mode, so a settings file the operator made
// read-only would be replaced all the same; it is left alone instead, as a
// plain write would have been refused.
bool isReadOnly(const std::string& target) {
    struct stat status;
    return stat(target.c_str(), &status) == 0 && (status.st_mode & 0222) == 0;
}

}  // namespace

bool replaceFileAtomically(const std::string& nativePath, std::string_view bytes,
                           Durability durability) {
    std::string target = linkTarget(nativePath);
    if (isReadOnly(target)) return false;
    std::string temporary;
    int fd = createTemporary(target, temporary);
    if (fd < 0) return false;
    keepPermissions(fd, target);
    if (!writeAndClose(fd, bytes, durability) || rename(temporary.c_str(), target.c_str()) != 0) {
        unlink(temporary.c_str());
        return false;
    }
    if (durability == Durability::Synced) syncFolder(folderOf(target));
    return true;
}

}  // namespace pelm
