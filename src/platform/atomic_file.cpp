#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

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

bool writeAndClose(FileDescriptor file, std::string_view bytes, Durability durability) {
    const bool written = writeAll(file.get(), bytes) &&
                         (durability == Durability::Visible || fsync(file.get()) == 0);
    return file.close() && written;
}

// Makes the rename itself durable. A failure here cannot be undone and the
// new file is already in place, so it is not reported.
void syncFolder(const std::string& folder) {
    const FileDescriptor fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd) fsync(fd.get());
}

Replacement refused(const std::string& nativePath, int error, uid_t ours) {
    return {false, error, ours, {}, lookAt(nativePath)};
}

}  // namespace

Replacement replaceFile(const std::string& nativePath, std::string_view bytes,
                        Durability durability) {
    std::string temporary;
    FileDescriptor file =
        createUniqueFile(folderOf(nativePath), baseName(nativePath) + ".tmp-", temporary);
    if (!file) return refused(nativePath, errno, geteuid());
    // "Own" is judged by the owner the file system gives a file of ours: a
    // share mounted with a fixed owner shows every file so.
    struct stat mine {
    }, old{};
    const bool exists = fstat(file.get(), &mine) == 0 && lstat(nativePath.c_str(), &old) == 0;
    const bool ownFile = exists && S_ISREG(old.st_mode) && old.st_uid == mine.st_uid;
    // Renaming over a file ignores its mode, so a settings file the operator
    // made read-only would be replaced all the same; it is left alone
    // instead, as a plain write would have been refused.
    if (ownFile && (old.st_mode & 0222) == 0) {
        file.reset();
        unlink(temporary.c_str());
        return refused(nativePath, EACCES, mine.st_uid);
    }
    if (ownFile) fchmod(file.get(), old.st_mode & 07777);
    Replacement replaced{true, 0, mine.st_uid, {}, {}};
    if (exists && !ownFile) replaced.displaced = lookAt(nativePath);
    if (!writeAndClose(std::move(file), bytes, durability) ||
        rename(temporary.c_str(), nativePath.c_str()) != 0) {
        const int error = errno;
        unlink(temporary.c_str());
        return refused(nativePath, error, mine.st_uid);
    }
    if (durability == Durability::Synced) syncFolder(folderOf(nativePath));
    return replaced;
}

bool replaceFileAtomically(const std::string& nativePath, std::string_view bytes,
                           Durability durability, std::string* displaced) {
    const Replacement replaced = replaceFile(nativePath, bytes, durability);
    if (displaced)
        *displaced = replaced.done ? describeForeign(replaced.displaced, replaced.ours) : "";
    errno = replaced.error;
    return replaced.done;
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
