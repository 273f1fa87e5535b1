#pragma once
// Where a board keeps its race table. The table is rebuilt from the
// schedule at every refresh, so nothing in it needs the share the schedule
// comes from, and on a share every refresh would open it from the window's
// thread: one that may stall holds the clock. So the table lies on a local
// disk, in the folder the settings name (TableDir, else the data folder)
// when that folder is local, else in a folder of the board's own.

#include <optional>
#include <string>

#include "engine/board_settings.h"
#include "platform/cp932.h"

namespace pelm {

struct RaceTablePlace {
    Cp932 folder;  // a board path
    /// Why the folder the settings name was not taken: it may stall
    /// ("'/mnt/venue' lies on a cifs share, which may stall"), in English.
    std::optional<std::string> instead;
};

/// The race table's folder for a board whose own folder (that of its
/// settings) is `boardFolder`, a board path.
RaceTablePlace raceTablePlace(const BoardSettings& settings, const Cp932& boardFolder);

/// The local folder of a board's own for its race table: "table" in its
/// folder, or, when that folder may stall too, one in the user's state
/// folder (~/.local/state/pelm/table-<key>). What `pelmctl init` gives a
/// data folder that may stall.
Cp932 ownTableFolder(const Cp932& boardFolder);

/// Why a folder (a board path) is no place for a race table, in English;
/// nothing when it lies on a local disk.
std::optional<std::string> stallingTableFolder(const Cp932& folder);

}  // namespace pelm
