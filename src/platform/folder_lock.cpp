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
int openLockFile(const std::string& path) {
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0 && errno == EACCES)
        fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) return fd;
    const int error = errno;
    if (error == ELOOP || error == EISDIR || error == ENXIO) cannotLockNoFile(path);
    cannotLock(path, error);
}

// The open lock file's status; anything but a regular file is refused.
struct stat regularFileStatus(int fd, const std::string& path) {
    struct stat status {};
    if (fstat(fd, &status) == 0 && S_ISREG(status.st_mode)) return status;
    close(fd);
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
int takeOver(const std::string& folder, const std::string& path, uid_t owner) {
    std::string temporary;
    const int fd =
        createUniqueFile(folder, std::string(FolderLock::kFileName) + ".tmp-", temporary, 0644);
    if (fd < 0) cannotLock(path, errno);
    if (!lockWhole(fd) || (writeHolder(fd), rename(temporary.c_str(), path.c_str()) != 0)) {
        const int error = errno;
        close(fd);
        unlink(temporary.c_str());
        cannotLock(path, "it belongs to user " + userName(owner) +
                             " and cannot be replaced: " + std::strerror(error));
    }
    if (stillAtName(fd, path)) return fd;
    close(fd);
    return -1;
}

}  // namespace

std::optional<FolderLock> FolderLock::tryTake(const std::string& folder, LockHolder* holder) {
    std::string path = folder + "/" + kFileName;
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int fd = openLockFile(path);
        const struct stat status = regularFileStatus(fd, path);
        if (status.st_uid != geteuid()) {
            const bool held = heldByAnyone(fd);
            close(fd);
            if (held) {
                if (holder) *holder = LockHolder{0, {}, userName(status.st_uid)};
                return std::nullopt;
            }
            const int taken = takeOver(folder, path, status.st_uid);
            if (taken >= 0) return FolderLock(taken, std::move(path));
            continue;
        }
        if (!lockWhole(fd)) {
            const int error = errno;
            if (error != EAGAIN && error != EACCES) {
                close(fd);
                cannotLock(path, error);
            }
            if (holder) *holder = readHolder(fd);
            close(fd);
            return std::nullopt;
        }
        if (stillAtName(fd, path)) {
            writeHolder(fd);
            return FolderLock(fd, std::move(path));
        }
        close(fd);
    }
    cannotLock(path, "it is being replaced by someone else all the time");
}

FolderLock::FolderLock(FolderLock&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)) {}

FolderLock& FolderLock::operator=(FolderLock&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) close(fd_);
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::move(other.path_);
    }
    return *this;
}

FolderLock::~FolderLock() {
    if (fd_ >= 0) close(fd_);
}

}  // namespace pelm
