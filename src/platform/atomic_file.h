#pragma once
// Replacing a whole file so that a crash or a full disk at any moment leaves
// either the old file or the new one, never a mixture or an empty file.
// Follows the rule for folders other users can write (untrusted_folder.h):
// the new file is made with O_EXCL|O_NOFOLLOW and renamed over the name, so
// a link planted at the name is replaced, and its target never written.

#include <string>
#include <string_view>

#include "platform/untrusted_folder.h"

namespace pelm {

/// How far a replacement must get before it returns.
enum class Durability {
    /// On the disk: the file and the rename survive a power cut. For files
    /// that hold something to keep (the settings).
    Synced,
    /// Whole and in place for every reader, but not flushed: a power cut may
    /// lose it. For a file rewritten every second that means nothing after a
    /// restart (the status files), where two flushes a second would cost
    /// more than the rest of the idle board.
    Visible,
};

/// How a replacement went, told in facts alone (a folder's helper replaces
/// files; the board's own process puts what it displaced into words).
struct Replacement {
    bool done = false;
    int error = 0;        // when not done: errno of the step that failed
    uid_t ours = 0;       // the owner the file system gives a file of ours
    PathFacts displaced;  // what stood at the name that was not our own file
    PathFacts refusedBy;  // when not done: what stands at the name now
};

/// replaceFileAtomically in facts: the same steps, the same refusals.
Replacement replaceFile(const std::string& nativePath, std::string_view bytes,
                        Durability durability);

/// Writes `bytes` to a new file beside the one at `nativePath`, flushes it
/// to disk when `durability` asks, and renames it over the name. Whatever
/// stood there that was not this user's plain file (a symbolic link, a file
/// of another user) is replaced, never written through, and described in
/// `displaced` (left empty otherwise). A new file keeps the permissions of
/// the user's own file it replaces. Returns false for a file of the user
/// without any write permission, and when any step before the rename fails;
/// the old file is then as it was and the new one is removed.
bool replaceFileAtomically(const std::string& nativePath, std::string_view bytes,
                           Durability durability = Durability::Synced,
                           std::string* displaced = nullptr);

/// The same for a file of the user's own that an operator may keep
/// elsewhere behind a link (the board's settings): a link that belongs to
/// the user and points at a regular file of the user is followed, so the
/// file it names is replaced and the link kept. Any other link is refused
/// (false, errno EPERM) rather than replaced.
bool replaceOwnFileAtomically(const std::string& nativePath, std::string_view bytes);

}  // namespace pelm
