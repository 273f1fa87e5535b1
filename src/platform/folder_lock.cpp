#include "platform/folder_lock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QString>
#include <QSysInfo>
#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/process_alive.h"
#include "platform/untrusted_folder.h"

namespace pelm {
namespace {

[[noreturn]] void cannotLock(const std::string& path, const std::string& reason) {
    throw Error(utf8ToCp932("ロック ファイル '" + path + "' を使えません: " + reason));
}

[[noreturn]] void cannotLock(const std::string& path, int error) {
    cannotLock(path, std::strerror(error));
}

// Something else stands at the lock file's name: a link, a FIFO, a folder.
[[noreturn]] void cannotLockNoFile(const std::string& path) {
    const std::string what = describeForeign(path, geteuid());
    cannotLock(path,
               "it is " + (what.empty() ? std::string("no regular file") : what) + "; remove it");
}

// Only an existing regular file, or a new one, and never through a link: a
// link planted at the name would have the board truncate its target. A
// FIFO would block the open without O_NONBLOCK. Another user's file may not
// be open to writing; read-only is enough to see whether anybody holds it.
FileDescriptor openLockFile(const std::string& path) {
    FileDescriptor file(
        open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644));
    if (!file && errno == EACCES)
        file.reset(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (file) return file;
    const int error = errno;
    if (error == ELOOP || error == EISDIR || error == ENXIO) cannotLockNoFile(path);
    cannotLock(path, error);
}

// The open lock file's status; anything but a regular file is refused.
struct stat regularFileStatus(int fd, const std::string& path) {
    struct stat status {};
    if (fstat(fd, &status) == 0 && S_ISREG(status.st_mode)) return status;
    cannotLockNoFile(path);
}

// The whole file, for writing: only one open file may hold it.
bool lockWhole(int fd) {
    struct flock region {};
    region.l_type = F_WRLCK;
    region.l_whence = SEEK_SET;
    return fcntl(fd, F_OFD_SETLK, &region) == 0;
}

bool heldByAnyone(int fd) {
    struct flock region {};
    region.l_type = F_WRLCK;
    region.l_whence = SEEK_SET;
    return fcntl(fd, F_OFD_GETLK, &region) != 0 || region.l_type != F_UNLCK;
}

// Whether the name still leads to the file the board holds: a lock on a
// file renamed away holds nothing.
bool stillAtName(int fd, const std::string& path) {
    struct stat held {
    }, named{};
    return fstat(fd, &held) == 0 && lstat(path.c_str(), &named) == 0 &&
           held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

std::string thisHost() {
    return QSysInfo::machineHostName().toStdString();
}

LockHolder readHolder(int fd) {
    char text[256] = {};
    const ssize_t size = pread(fd, text, sizeof text - 1, 0);
    LockHolder holder;
    if (size <= 0) return holder;
    char* rest = nullptr;
    holder.pid = std::strtol(text, &rest, 10);
    while (*rest == ' ') ++rest;
    holder.host = std::string(rest, std::strcspn(rest, "\r\n"));
    // The text may be older than the lock (the holder has not yet written
    // its own): a process of this host that is gone holds nothing.
    if (holder.host == thisHost() &&
        (holder.pid <= 0 || !processRuns(static_cast<pid_t>(holder.pid), std::nullopt)))
        holder.pid = 0;
    return holder;
}

void writeHolder(int fd) {
    const std::string text = std::to_string(getpid()) + " " + thisHost() + "\n";
    // The name is a courtesy to whoever is refused; the lock holds without it.
    if (ftruncate(fd, 0) == 0) (void)!pwrite(fd, text.data(), text.size(), 0);
}

// Puts a locked file of this user's own in place of another user's file
// that nobody holds. -1 when the name changed meanwhile (try again).
FileDescriptor takeOver(const std::string& folder, const std::string& path, uid_t owner) {
    std::string temporary;
    FileDescriptor file =
        createUniqueFile(folder, std::string(FolderLock::kFileName) + ".tmp-", temporary, 0644);
    if (!file) cannotLock(path, errno);
    if (!lockWhole(file.get()) ||
        (writeHolder(file.get()), rename(temporary.c_str(), path.c_str()) != 0)) {
        const int error = errno;
        file.reset();
        unlink(temporary.c_str());
        cannotLock(path, "it belongs to user " + userName(owner) +
                             " and cannot be replaced: " + std::strerror(error));
    }
    if (stillAtName(file.get(), path)) return file;
    return FileDescriptor();
}

}  // namespace

std::optional<FolderLock> FolderLock::tryTake(const std::string& folder, LockHolder* holder) {
    std::string path = folder + "/" + kFileName;
    for (int attempt = 0; attempt < 3; ++attempt) {
        FileDescriptor file = openLockFile(path);
        const struct stat status = regularFileStatus(file.get(), path);
        if (status.st_uid != geteuid()) {
            const bool held = heldByAnyone(file.get());
            file.reset();
            if (held) {
                if (holder) *holder = LockHolder{0, {}, userName(status.st_uid)};
                return std::nullopt;
            }
            FileDescriptor taken = takeOver(folder, path, status.st_uid);
            if (taken) return FolderLock(std::move(taken), std::move(path));
            continue;
        }
        if (!lockWhole(file.get())) {
            const int error = errno;
            if (error != EAGAIN && error != EACCES) cannotLock(path, error);
            if (holder) *holder = readHolder(file.get());
            return std::nullopt;
        }
        if (stillAtName(file.get(), path)) {
            writeHolder(file.get());
            return FolderLock(std::move(file), std::move(path));
        }
    }
    cannotLock(path, "it is being replaced by someone else all the time");
}

}  // namespace pelm
