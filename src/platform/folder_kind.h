#pragma once
// Whether a folder lies on a file system that can stop answering: a network
// share, a file system served by a program (FUSE), an automount. Decided
// from the mount table and from the local folders on the way to it, never
// by asking the file system the folder may lie on: that question would hang
// with the share it asks about.

#include <string>

namespace pelm {

struct FolderKind {
    std::string fileSystem;  // as the mount table names it: "ext4", "cifs", "fuse.sshfs"
    bool mayStall = false;
};

/// The kind of the folder at a native path. A link on the way is followed
/// as far as it stays on local file systems; a name that does not exist is
/// judged by the folder it would be made in.
FolderKind folderKind(const std::string& nativeFolder);
/// The same against a mount table in the kernel's mountinfo form.
FolderKind folderKind(const std::string& nativeFolder, const std::string& mountInfo);

}  // namespace pelm
