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

}  // namespace pelm
