#pragma once
// Reading one file the board depends on by the rules for files that others
// may put in its place: a FIFO, device or folder at the name reads as
// unreadable at once, never as a wait for a writer. A read that hangs in the
// file system (a stalled share) is kept away from the board by running it
// in the folder's helper (share_worker.h), which reads by these rules.

#include <sys/types.h>

#include <cstddef>
#include <optional>
#include <string>

namespace pelm {

/// What one read found.
struct FileBytes {
    enum class Status {
        Read,        // `bytes` holds the file's start, at most the bytes asked for
        Missing,     // no such file (or a path through something that is no folder)
        Unreadable,  // exists but is no regular file, or open or read failed
        Stalled,     // the read did not finish within the wait, or an earlier one still hangs
    };
    Status status = Status::Unreadable;
    std::string bytes;

    bool read() const { return status == Status::Read; }
};

/// Whether a read may go through a symbolic link at the file's own name: not
/// in a folder others can write (see untrusted_folder.h), where a link
/// planted at the name would show the board whatever it points at.
enum class Links { Followed, NotFollowed };

/// One file to read: at most `maxBytes` bytes of the file at a native path.
struct FileRequest {
    std::string path;
    std::size_t maxBytes;
    Links links = Links::Followed;
};

/// Reads at most `maxBytes` bytes of the file at a native path in the
/// calling thread. The open never waits for a writer (O_NONBLOCK) and only a
/// regular file is read; a read can still hang inside the file system. A
/// link at the name when `links` says NotFollowed, and with `owner` a file of
/// another user, read as Unreadable.
FileBytes readRegularFile(const std::string& nativePath, std::size_t maxBytes,
                          Links links = Links::Followed, std::optional<uid_t> owner = std::nullopt);

}  // namespace pelm
