#pragma once
// Making and checking the file of one table for the folder driver.

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

}  // namespace pelm
