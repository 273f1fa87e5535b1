#pragma once
// Replacing a whole file so that a crash or a full disk at any moment leaves
// either the old file or the new one, never a mixture or an empty file.

#include <string>
#include <string_view>

namespace pelm {

/// Writes `bytes` to a new file beside the one at `nativePath`, flushes it
/// to disk and renames it over the old one (over a symbolic link's target,
/// keeping the link). A new file keeps the old one's permissions. Returns
/// false for a file without any write permission, and when any step before
/// the rename fails; the old file is then as it was and the new one is
/// removed.
bool replaceFileAtomically(const std::string& nativePath, std::string_view bytes);

}  // namespace pelm
