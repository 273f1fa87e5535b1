#include "platform/folder_lock.h"

#include <fcntl.h>
#include <unistd.h>

#include <QString>
#include <QSysInfo>
#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/codepage.h"
#include "platform/error.h"

namespace pelm {
namespace {

[[noreturn]] void cannotLock(const std::string& path, int error) {
    throw Error(
        utf8ToCp932("ロック ファイル '" + path + "' を使えません: " + std::strerror(error)));
}

// The whole file, for writing: only one open file may hold it.
bool lockWhole(int fd) {
    struct flock region {};
    region.l_type = F_WRLCK;
    region.l_whence = SEEK_SET;
    return fcntl(fd, F_OFD_SETLK, &region) == 0;
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
    return holder;
}

void writeHolder(int fd) {
    const std::string text =
        std::to_string(getpid()) + " " + QSysInfo::machineHostName().toStdString() + "\n";
    // The name is a courtesy to whoever is refused; the lock holds without it.
    if (ftruncate(fd, 0) == 0) (void)!pwrite(fd, text.data(), text.size(), 0);
}

}  // namespace

std::optional<FolderLock> FolderLock::tryTake(const std::string& folder, LockHolder* holder) {
    std::string path = folder + "/" + kFileName;
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) cannotLock(path, errno);
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
    writeHolder(fd);
    return FolderLock(fd, std::move(path));
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
