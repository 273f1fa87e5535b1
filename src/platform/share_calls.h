#pragma once
// The steps that may hang in a folder on a share: read a file, list the
// folder, look at a name, replace a file. Each is told in plain data, so a
// folder's helper program can do it for the board (share_worker.h), and
// each follows the rules of untrusted_folder.h and atomic_file.h wherever
// it runs.

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

/// A whole file replaced (replaceFile).
struct ReplaceRequest {
    std::string nativePath;
    std::string bytes;
    Durability durability = Durability::Visible;
};

using ShareCall = std::variant<FileRequest, ListRequest, LookRequest, ReplaceRequest>;

struct Listing {
    std::optional<std::vector<std::string>> names;  // none: the folder cannot be listed
    int error = 0;                                  // errno when it cannot
};

/// The folder said nothing in time: it stalled, or its helper ended first.
struct NoAnswer {};

/// The call could not be done at all, for a reason of the board's own (no
/// memory for a file's bytes, no helper process): said in English.
struct CallFailed {
    std::string reason;
};

/// What one call came to: the alternative that answers its request, or one
/// of the two that say it has none. Take it with std::get_if, never
/// std::get: any call of a batch may come back without its answer.
using ShareAnswer = std::variant<NoAnswer, CallFailed, FileBytes, Listing, PathFacts, Replacement>;

/// The path a call names, whichever call it is.
std::string& pathOf(ShareCall& call);
const std::string& pathOf(const ShareCall& call);

/// Does `call` in the calling thread, waiting as long as the file system
/// does: only a folder's helper calls it on a folder that may stall.
/// Never throws: a failure of its own is CallFailed.
ShareAnswer performCall(const ShareCall& call);

/// A file's read as a FileBytes whatever came back: an answer without one
/// reads as Stalled (no answer) or Unreadable (the call failed).
FileBytes fileBytesOf(ShareAnswer&& answer);

}  // namespace pelm
