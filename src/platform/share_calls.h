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

/// The names in the folder at `path` that end in `suffix` (listFolder).
struct ListRequest {
    std::string path;
    std::string suffix;
};

/// What stands at a name (lookAt).
struct LookRequest {
    std::string path;
};

/// A whole file replaced (replaceFile).
struct ReplaceRequest {
    std::string path;
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

/// What one call came to: the answer to its request, or why it has none.
/// Take it with std::get_if: any call of a batch may come back without one.
using ShareAnswer = std::variant<NoAnswer, CallFailed, FileBytes, Listing, PathFacts, Replacement>;

/// The native path a call names, whichever call it is.
template <typename Call>
auto& pathOf(Call& call) {
    return std::visit(
        [](auto& request) -> auto& { return request.path; }, call);
}

/// Does `call` in the calling thread, waiting as long as the file system
/// does: only a folder's helper calls it on a folder that may stall.
/// Never throws: a failure of its own is CallFailed.
ShareAnswer performCall(const ShareCall& call);

/// A file's read as a FileBytes whatever came back: an answer without one
/// reads as Stalled (no answer) or Unreadable (the call failed).
FileBytes fileBytesOf(ShareAnswer&& answer);

}  // namespace pelm
