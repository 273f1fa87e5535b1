#pragma once
// What `pelmctl init` and `pelmctl setup` do to a board's folder: a data
// folder with its race table and empty schedule and notice, the alias Pelm,
// and the settings pointed at the data folder. Each step prints one line
// ("  created the race table …", "  … is there"); running it again changes
// nothing.

#include <optional>
#include <string>
#include <string_view>

#include "platform/ini_file.h"

namespace pelmctl {

/// Thrown for a step that cannot be done; the message is UTF-8.
struct PreparationFailure {
    std::string message;
};

/// One line of a preparation's report.
void report(std::string_view line);

/// Prepares `dir` as the data folder of the board whose folder is the
/// current one (./PelmDp.ini): see `pelmctl init --help`. The alias goes
/// into `configPath`. Throws PreparationFailure or pelm::Error.
void prepareBoardFolder(const std::string& dir, const std::optional<std::string>& tableDir,
                        const std::string& configPath);

/// A settings file for an update: never one that exists but cannot be read.
pelm::IniFile loadForUpdate(const std::string& path);

/// Replaces the file atomically, making its folder first.
void save(const pelm::IniFile& file, const std::string& path);

}  // namespace pelmctl
