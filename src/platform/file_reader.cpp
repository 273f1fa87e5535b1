#include "platform/file_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/file_descriptor.h"

namespace pelm {
namespace {

FileBytes failed(FileBytes::Status status) {
    return FileBytes{status, {}};
}

// Reads to the end or to `maxBytes` rather than trusting the size: a writer
// may be growing or shrinking the file while we read it.
bool readUpTo(int fd, std::size_t sizeHint, std::size_t maxBytes, std::string& bytes) {
    bytes.resize(std::min(sizeHint + 1, maxBytes));
    std::size_t filled = 0;
    while (filled < maxBytes) {
        if (filled == bytes.size()) bytes.resize(std::min(bytes.size() * 2 + 1, maxBytes));
        const ssize_t got = ::read(fd, bytes.data() + filled, bytes.size() - filled);
        if (got == 0) break;
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        filled += static_cast<std::size_t>(got);
    }
    bytes.resize(filled);
    return true;
}

// A writer's rename over the file can leave a share's server naming the
// old file, gone, for the length of one call: the open then says ENOENT or
// ESTALE for a file that is there. A second look by name finds the new one;
// a file really missing is missing twice. Nothing on a local disk does this.
int openByName(const std::string& nativePath, int flags) {
    const int fd = open(nativePath.c_str(), flags);
    if (fd >= 0 || (errno != ENOENT && errno != ESTALE)) return fd;
    return open(nativePath.c_str(), flags);
}

}  // namespace

FileBytes readRegularFile(const std::string& nativePath, std::size_t maxBytes, Links links,
                          std::optional<uid_t> owner) {
    // O_NONBLOCK: opening a FIFO would otherwise wait for a writer. It means
    // nothing to a regular file, the only kind read below.
    const int noLink = links == Links::NotFollowed ? O_NOFOLLOW : 0;
    const FileDescriptor file(
        openByName(nativePath, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | noLink));
    if (!file) {
        const bool missing = errno == ENOENT || errno == ENOTDIR;
        return failed(missing ? FileBytes::Status::Missing : FileBytes::Status::Unreadable);
    }
    struct stat status;
    if (fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode) ||
        (owner && status.st_uid != *owner)) {
        return failed(FileBytes::Status::Unreadable);
    }
    FileBytes result{FileBytes::Status::Read, {}};
    if (!readUpTo(file.get(), static_cast<std::size_t>(status.st_size), maxBytes, result.bytes)) {
        return failed(FileBytes::Status::Unreadable);
    }
    return result;
}

}  // namespace pelm
