#pragma once
// Making, checking and replacing the file of one table for the folder
// driver. What the board's own race table holds is the engine's business
// (engine/race_table_file.h). A table's name here names its file, so it
// is native like the folder; statements and the engine's texts are CP932.

#include <optional>
#include <string>
#include <string_view>

#include "platform/cp932.h"

namespace pelm {

/// "<folder>/<table>.db", native.
std::string tableFilePath(const std::string& folder, std::string_view table);

/// Creates the file of `table` in `folder` (native) with `definition` (its
/// CREATE TABLE statement), unless the file exists; true when created. The
/// file is made beside and renamed into place, so no half-made table file
/// is ever seen. Throws pelm::Error naming the file on failure.
bool createTableFile(const std::string& folder, std::string_view table, const Cp932& definition);

/// Nothing when the file of `table` opens and `probe` (a statement on it)
/// compiles there; otherwise the engine's text of what is wrong.
std::optional<Cp932> tableFileProblem(const std::string& folder, std::string_view table,
                                      const Cp932& probe);

/// The damage found in the file of `table` (see raceTableFileDamage).
std::optional<Cp932> tableFileDamage(const std::string& folder, std::string_view table);

/// Renames the file of `table` and its journal aside, named with the time;
/// returns the new native path. Throws pelm::Error.
std::string moveTableFileAside(const std::string& folder, std::string_view table);

}  // namespace pelm
