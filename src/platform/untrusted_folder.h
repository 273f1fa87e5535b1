#pragma once
// Files in folders that other users can write.
//
// The data folder on a share, [Env] StatusDir, a TableDir that is shared and
// the /tmp fallback of the status folder are folders where any other user of
// the PC (or of the venue network) may create names. Whatever stands at a
// name there is untrusted, so the board and pelmctl:
//   - never open, truncate or replace a file through a symbolic link: every
//     open of an existing name is O_NOFOLLOW, and replacing is a rename over
//     the name, which replaces a link itself and never touches its target;
//   - never follow a link they did not make (the one exception is the
//     board's own settings file, where the link and its target both belong
//     to the board's user);
//   - create temporary files with O_CREAT|O_EXCL|O_NOFOLLOW under a name
//     nobody can guess, so a name planted in advance is never written;
//   - accept only regular files, opened without blocking (a FIFO would hang
//     the open), and refuse to trust the contents of files they do not own;
//   - read, list and write a folder that may stall through its folder's
//     worker (share_worker.h), so a stalled share costs a bounded wait,
//     never a hang, and holds no process of ours.
// Everything that writes or reads such a folder goes through this header,
// atomic_file.h or folder_lock.h.

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/file_descriptor.h"

namespace pelm {

/// Creates a new file in `folder` named `prefix` followed by a random
/// suffix, with O_CREAT|O_EXCL|O_NOFOLLOW and `mode` (before the umask).
/// Returns its descriptor (open for reading and writing, close-on-exec) and
/// its path in `name`, or no descriptor with errno set.
FileDescriptor createUniqueFile(const std::string& folder, const std::string& prefix,
                                std::string& name, mode_t mode = 0666);

/// 16 hexadecimal digits from the kernel's randomness: a part of a name that
/// nobody can plant a file at in advance.
std::string unguessableText();

/// A file's identity for "has it changed since": a save changes its size
/// or time, a file renamed into place its inode.
struct FileStamp {
    ino_t inode = 0;
    off_t size = 0;
    long long modifiedNs = 0;
    bool operator==(const FileStamp&) const = default;
};

/// What stands at a name, seen without following a link: only what the
/// file system says, so that looking costs no user database (a folder's
/// helper looks; the board's own process puts it into words).
struct PathFacts {
    enum class Kind { Nothing, RegularFile, Folder, Link, Fifo, Socket, Device };
    Kind kind = Kind::Nothing;
    uid_t owner = 0;
    std::string linkTarget;  // of a link, as far as it could be read
    FileStamp stamp;
};

/// What stands at `path` (lstat, and readlink for a link); Nothing when
/// nothing does or it cannot be looked at.
PathFacts lookAt(const std::string& path);

/// Describes what stands at a name, for messages: "a symbolic link to …",
/// "a file of user …", "a folder", "a FIFO", … Empty for nothing at all and
/// for a regular file of `ownUid`.
std::string describeForeign(const PathFacts& facts, uid_t ownUid);
/// The same for what stands at `path` now.
std::string describeForeign(const std::string& path, uid_t ownUid);

/// The name of the user `uid` ("uid N" when it has none).
std::string userName(uid_t uid);

/// At most `limit` bytes of the regular file at `path`, opened without
/// following a link and without blocking. Nothing when the name is a link,
/// no regular file, unreadable, or (with `owner`) a file of another user.
std::optional<std::string> readUntrustedFile(const std::string& path, size_t limit,
                                             std::optional<uid_t> owner = std::nullopt);

/// The names in a folder ending in `suffix`, sorted; nothing when the
/// folder cannot be listed.
std::optional<std::vector<std::string>> listFolder(const std::string& folder,
                                                   const std::string& suffix);

}  // namespace pelm
