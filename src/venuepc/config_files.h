#pragma once
// Reading the PC's own configuration the way its programs read it: one
// file, then a folder of drop-ins in name order, later values winning.
// Every path is taken under a root folder ("/" on the PC, a scratch
// folder in tests).

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace pelm::pc {

/// The files `folder/*.suffix` under `root`, sorted by name.
std::vector<std::filesystem::path> dropIns(const std::filesystem::path& root,
                                           const std::string& folder, const std::string& suffix);

/// The last value of `key` in `section` over `files` in order (INI form,
/// names matched without regard to case); nothing when none sets it.
std::optional<std::string> lastValue(const std::vector<std::filesystem::path>& files,
                                     const std::string& section, const std::string& key);

/// A path under the root: `root` + `absolute`.
std::filesystem::path under(const std::filesystem::path& root, const std::string& absolute);

/// The whole file, or nothing when it cannot be read.
std::optional<std::string> readWhole(const std::filesystem::path& file);

/// The whole file under the root, or nothing when it cannot be read.
std::optional<std::string> readConfig(const std::filesystem::path& root,
                                      const std::string& absolute);

}  // namespace pelm::pc
