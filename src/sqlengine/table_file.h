#pragma once
// Making, checking and replacing the file of one table for the folder
// driver. What the board's own race table holds is the engine's business
// (engine/race_table_file.h).

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

}  // namespace pelm
