#pragma once
// The one owner of an open file descriptor: closed when its owner goes,
// moved and never copied, so no path out of a function (a throw, an early
// return) leaves a descriptor open or closes one twice.

#include <unistd.h>

#include <utility>

namespace pelm {

class FileDescriptor {
public:
    FileDescriptor() = default;
    /// Takes `fd` over; a negative one (a failed open) owns nothing.
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    explicit operator bool() const { return valid(); }

    /// Closes what is owned and takes `fd` instead.
    void reset(int fd = -1) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }
    /// Closes what is owned, saying whether the close succeeded: a write
    /// whose data the file system refuses at the close has failed.
    bool close() { return ::close(std::exchange(fd_, -1)) == 0; }
    /// Gives the descriptor up without closing it.
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_ = -1;
};

}  // namespace pelm
