#pragma once
// Whether another user could put files into the board's folder, or swap
// it for another: the board reads its settings and the engine's
// configuration there and follows a link to its settings, so such a
// folder would let that user decide what the board opens.

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>

namespace pelm::pc {

/// Why another user than `uid` (whose own group is `gid`) can write the
/// folder, or a folder above it (one with the sticky bit, as /tmp, only
/// lets them replace their own names); nothing when nobody can. A folder
/// yet to be made is judged by the nearest one that exists.
std::optional<std::string> othersCanWrite(const std::filesystem::path& folder, uid_t uid,
                                          gid_t gid);

}  // namespace pelm::pc
