#pragma once
// Making and checking the file of one table for the folder driver, and the
// board's race table file, as `pelmctl init` makes it. The board itself
// never creates a table.

#include <optional>
#include <string>
#include <string_view>

namespace pelm {

/// "<folder>/<table>.db", native.
std::string tableFilePath(const std::string& folder, std::string_view table);

/// Creates the file of `table` in `folder` (native) with `definition` (its
/// CREATE TABLE statement), unless the file exists; true when created. The
/// file is made beside and renamed into place, so no half-made table file
/// is ever seen. Throws pelm::Error naming the file on failure.
bool createTableFile(const std::string& folder, std::string_view table,
                     std::string_view definition);

/// Nothing when the file of `table` opens and `probe` (a statement on it)
/// compiles there; otherwise the engine's text of what is wrong.
std::optional<std::string> tableFileProblem(const std::string& folder, std::string_view table,
                                            std::string_view probe);

/// The damage found in the file of `table` (see raceTableFileDamage).
std::optional<std::string> tableFileDamage(const std::string& folder, std::string_view table);

/// Renames the file of `table` and its journal aside, named with the time;
/// returns the new native path. Throws pelm::Error.
std::string moveTableFileAside(const std::string& folder, std::string_view table);

/// The statement that creates the race table `rmenutxt`: times of day
/// compared as times and checked, the title at most 40 bytes, and no index
/// on the times (their order follows the locale, which may change).
const std::string& raceTableDefinition();

/// The native path of the race table file in a folder.
std::string raceTableFilePath(const std::string& folder);

/// createTableFile for the race table.
bool createRaceTableFile(const std::string& folder);

/// What is wrong with the race table file in `folder`, or nothing when it
/// holds a race table.
std::optional<std::string> raceTableFileProblem(const std::string& folder);

/// The damage SQLite's quick check finds in the race table file of
/// `folder` (a file that is no database, an empty file left by a power cut,
/// a failed page check), or nothing when it is sound or missing. A file
/// that merely lacks the table is not damaged: it may be somebody's.
std::optional<std::string> raceTableFileDamage(const std::string& folder);

/// Moves the race table file of `folder` and its journal aside, named with
/// the time ("rmenutxt.db.damaged-20261207-104000"), and creates the table
/// afresh. The table holds nothing of its own (the board rebuilds it from
/// the schedule), so nothing is lost; the old file stays for a look.
/// Returns the native path the old file went to. Throws pelm::Error.
std::string replaceDamagedRaceTableFile(const std::string& folder);

}  // namespace pelm
