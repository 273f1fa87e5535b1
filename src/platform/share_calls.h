#pragma once
// The steps that may hang in a folder on a share: read a file, list the
// folder, look at a name, ask the file system whether it answers, replace a
// file. Each is told in plain data, so a folder's helper process can do it
// for the board (share_worker.h), and each follows the rules of
// untrusted_folder.h and atomic_file.h wherever it runs.

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/file_reader.h"
#include "platform/untrusted_folder.h"

namespace pelm {

/// The names in `folder` that end in `suffix` (listFolder).
struct ListRequest {
    std::string folder;
    std::string suffix;
};

/// What stands at a name (lookAt).
struct LookRequest {
    std::string path;
};

/// Whether the file system of `folder` answers, and what kind it is.
struct ProbeRequest {
    std::string folder;
};

/// A whole file replaced (replaceFile).
struct ReplaceRequest {
    std::string nativePath;
    std::string bytes;
    Durability durability = Durability::Visible;
};

using ShareCall = std::variant<FileRequest, ListRequest, LookRequest, ProbeRequest, ReplaceRequest>;

struct Listing {
    std::optional<std::vector<std::string>> names;  // none: the folder cannot be listed
    int error = 0;                                  // errno when it cannot
};

struct FolderProbe {
    bool mayStall = false;  // a share or a FUSE file system (see mayStall)
};

/// What a call found, in the alternative that answers its request;
/// std::monostate when nothing came back in time: the folder did not
/// answer, or its helper ended first.
using ShareAnswer =
    std::variant<std::monostate, FileBytes, Listing, PathFacts, FolderProbe, Replacement>;

/// The path a call names, whichever call it is.
std::string& pathOf(ShareCall& call);
const std::string& pathOf(const ShareCall& call);

/// Does `call` in the calling thread, waiting as long as the file system
/// does: only a folder's helper calls it on a folder that may not answer.
ShareAnswer performCall(const ShareCall& call);

}  // namespace pelm
