#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/untrusted_folder.h"

namespace pelm {
namespace {

std::string folderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string baseName(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
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

}  // namespace

bool replaceFileAtomically(const std::string& nativePath, std::string_view bytes,
                           Durability durability, std::string* displaced) {
    if (displaced) displaced->clear();
    std::string temporary;
    const int fd =
        createUniqueFile(folderOf(nativePath), baseName(nativePath) + ".tmp-", temporary);
    if (fd < 0) return false;
    // "Own" is judged by the owner the file system gives a file of ours: a
    // share mounted with a fixed owner shows every file so.
    struct stat mine {
    }, old{};
    const bool exists = fstat(fd, &mine) == 0 && lstat(nativePath.c_str(), &old) == 0;
    const bool ownFile = exists && S_ISREG(old.st_mode) && old.st_uid == mine.st_uid;
    // Renaming over a file ignores its mode, so a settings file the operator
    // made read-only would be replaced all the same; it is left alone
    // instead, as a plain write would have been refused.
    if (ownFile && (old.st_mode & 0222) == 0) {
        close(fd);
        unlink(temporary.c_str());
        errno = EACCES;
        return false;
    }
    if (ownFile) fchmod(fd, old.st_mode & 07777);
    const std::string foreign = exists && !ownFile ? describeForeign(nativePath, mine.st_uid) : "";
    if (!writeAndClose(fd, bytes, durability) ||
        rename(temporary.c_str(), nativePath.c_str()) != 0) {
        const int error = errno;
        unlink(temporary.c_str());
        errno = error;
        return false;
    }
    if (displaced) *displaced = foreign;
    if (durability == Durability::Synced) syncFolder(folderOf(nativePath));
    return true;
}

bool replaceOwnFileAtomically(const std::string& nativePath, std::string_view bytes) {
    struct stat link {};
    if (lstat(nativePath.c_str(), &link) != 0 || !S_ISLNK(link.st_mode))
        return replaceFileAtomically(nativePath, bytes);
    // Kept where the operator put it, as long as nobody else had a hand in
    // the link or the file it names.
    char* resolved = realpath(nativePath.c_str(), nullptr);
    if (resolved == nullptr) return false;
    const std::string target(resolved);
    free(resolved);
    struct stat file {};
    if (link.st_uid != geteuid() || lstat(target.c_str(), &file) != 0 || !S_ISREG(file.st_mode) ||
        file.st_uid != geteuid()) {
        errno = EPERM;
        return false;
    }
    return replaceFileAtomically(target, bytes);
}

}  // namespace pelm
