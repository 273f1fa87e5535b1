#pragma once
// Replacing a whole file so that a crash or a full disk at any moment leaves
// either the old file or the new one, never a mixture or an empty file.

#include <string>
#include <string_view>

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

/// Writes `bytes` to a new file beside the one at `nativePath`, flushes it
/// to disk when `durability` asks, and renames it over the old one (over a
/// symbolic link's target, keeping the link). A new file keeps the old one's
/// permissions. Returns false for a file without any write permission, and
/// when any step before the rename fails; the old file is then as it was
/// and the new one is removed.
bool replaceFileAtomically(const std::string& nativePath, std::string_view bytes,
                           Durability durability = Durability::Synced);

}  // namespace pelm
