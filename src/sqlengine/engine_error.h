#pragma once
// Errors of statements the engine rejects, in the form the board shows.

#include <string>
#include <vector>

namespace pelm {

class Database;

/// The engine's texts joined by CR LF (empty ones left out), or
/// "BDEエラー $%.4x" with `code` in four hexadecimal digits when there is
/// no text. CP932.
std::string engineErrorMessage(const std::vector<std::string>& texts, int code);

/// Throws pelm::Error for the last failure on `database`: SQLite's text,
/// then a line naming the table file when a table file is missing, lacks
/// its table, or is read-only.
[[noreturn]] void throwEngineError(const Database& database);

}  // namespace pelm
