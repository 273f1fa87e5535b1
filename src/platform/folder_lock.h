#pragma once
// One board per race table: an advisory lock on a small file beside the
// table file, held by the board that uses the table. It is an open-file
// lock (fcntl F_OFD_SETLK), which NFS and SMB clients pass to the server,
// unlike SQLite's exclusive mode, and which two boards in one process (the
// tests) see as well as two processes do. The file names its holder.
// The table folder may be shared, so the file follows the rule for folders
// other users can write (untrusted_folder.h): it is opened without following
// a link and without blocking, must be a regular file, and one of another
// user is neither written nor believed.

#include <optional>
#include <string>

#include "platform/file_descriptor.h"

namespace pelm {

/// Who holds a folder's lock. From a file of this user, as its text says;
/// pid 0 when it says nothing readable (the holder is between taking the
/// lock and writing its name) or names a process of this host that is gone.
/// From a file of another user, whose text anybody could have written, only
/// `owner`, that user's name.
struct LockHolder {
    long pid = 0;
    std::string host;
    std::string owner;
};

class FolderLock {
public:
    static constexpr const char* kFileName = "pelm-board.lock";

    /// Takes the lock of `folder` (native path) and writes "<pid> <host>"
    /// into its file. Nothing when another open file holds it; `holder` then
    /// says who. A file of another user that nobody holds (left behind, or
    /// planted) is replaced by one of this user's own. Throws pelm::Error
    /// naming the file when it is a link or no regular file, or cannot be
    /// made or locked for any other reason.
    static std::optional<FolderLock> tryTake(const std::string& folder,
                                             LockHolder* holder = nullptr);

    // Going, it lets go of the lock. The file stays: removing it would let a
    // third board lock a new file while the second still holds the old one.

    const std::string& path() const { return path_; }

private:
    FolderLock(FileDescriptor file, std::string path)
        : file_(std::move(file)), path_(std::move(path)) {}

    FileDescriptor file_;
    std::string path_;
};

}  // namespace pelm
