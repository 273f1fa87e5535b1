#pragma once
// The board's race table file `rmenutxt.db`: its schema, made by `pelmctl
// init` and, when the file is damaged, by the board itself (the table holds
// nothing the schedule does not), and the checks both run on it.

#include <optional>
#include <string>
#include <string_view>

#include "platform/cp932.h"

namespace pelm {

/// The race table's name, and its file's in the table folder ("rmenutxt.db").
constexpr std::string_view kRaceTable = "rmenutxt";

/// The statement that creates the race table `rmenutxt`: times of day
/// compared as times and checked, the title at most 40 bytes, and no index
/// on the times (their order follows the locale, which may change).
const Cp932& raceTableDefinition();

/// The native path of the race table file in a folder.
std::string raceTableFilePath(const std::string& folder);

/// createTableFile for the race table.
bool createRaceTableFile(const std::string& folder);

/// Whether the folder has no race table file (nor a link or anything else
/// by its name).
bool raceTableFileMissing(const std::string& folder);

/// What is wrong with the race table file in `folder`, or nothing when it
/// holds a race table.
std::optional<Cp932> raceTableFileProblem(const std::string& folder);

/// The damage SQLite's quick check finds in the race table file of
/// `folder` (a file that is no database, an empty file left by a power cut,
/// a failed page check), or nothing when it is sound or missing. A file
/// that merely lacks the table is not damaged: it may be somebody's.
std::optional<Cp932> raceTableFileDamage(const std::string& folder);

/// Moves the race table file of `folder` and its journal aside, named with
/// the time ("rmenutxt.db.damaged-20261207-104000"), and creates the table
/// afresh. The table holds nothing of its own (the board rebuilds it from
/// the schedule), so nothing is lost; the old file stays for a look.
/// Returns the native path the old file went to. Throws pelm::Error.
std::string replaceDamagedRaceTableFile(const std::string& folder);

}  // namespace pelm
