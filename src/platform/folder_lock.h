#pragma once
// One board per race table: an advisory lock on a small file beside the
// table file, held by the board that uses the table. It is an open-file
// lock (fcntl F_OFD_SETLK), which NFS and SMB clients pass to the server,
// unlike SQLite's exclusive mode, and which two boards in one process (the
// tests) see as well as two processes do. The file names its holder.

#include <optional>
#include <string>

namespace pelm {

/// Who holds a folder's lock, as its file says; pid 0 when it says nothing
/// readable (the holder is between taking the lock and writing its name).
struct LockHolder {
    long pid = 0;
    std::string host;
};

class FolderLock {
public:
    static constexpr const char* kFileName = "pelm-board.lock";

    /// Takes the lock of `folder` (native path) and writes "<pid> <host>"
    /// into its file. Nothing when another open file holds it; `holder` then
    /// says who. Throws pelm::Error naming the file when it cannot be made
    /// or locked for any other reason.
    static std::optional<FolderLock> tryTake(const std::string& folder,
                                             LockHolder* holder = nullptr);

    FolderLock(FolderLock&& other) noexcept;
    FolderLock& operator=(FolderLock&& other) noexcept;
    /// Lets go of the lock. The file stays: removing it would let a third
    /// board lock a new file while the second still holds the old one.
    ~FolderLock();

    const std::string& path() const { return path_; }

private:
    FolderLock(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}

    int fd_ = -1;
    std::string path_;
};

}  // namespace pelm
