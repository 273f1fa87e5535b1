#pragma once
// Errors of statements the engine rejects, in the form the board shows.

#include <string>
#include <vector>

#include "platform/error.h"
#include "sqlengine/folder_driver.h"

struct sqlite3;

namespace pelm {

/// A failure the engine reported, with SQLite's extended result code, so a
/// caller can tell a value the table refused from a table file that can no
/// longer be used.
class EngineError : public Error {
public:
    EngineError(Cp932 message, int code, bool tableMissing = false)
        : Error(std::move(message)), code_(code), tableMissing_(tableMissing) {}

    int code() const { return code_; }

    /// A constraint (such as the time check) refused a value: the statement
    /// changed nothing and the connection is as good as before.
    bool valueRejected() const;

    /// The table file is damaged, gone or replaced under the connection:
    /// only a new connection (and maybe a new file) can go on.
    bool tableFileBroken() const;

    /// A statement named a table that the connection does not hold.
    bool tableMissing() const { return tableMissing_; }

private:
    int code_;
    bool tableMissing_;
};

/// The engine's texts joined by CR LF (empty ones left out), or
/// "BDEエラー $%.4x" with `code` in four hexadecimal digits when there is
/// no text.
Cp932 engineErrorMessage(const std::vector<Cp932>& texts, int code);

/// The error of the last failure on `connection`: SQLite's text, then a
/// line naming the table file when a table file of `tables` (in `folder`)
/// is missing, lacks its table, or is read-only.
EngineError lastEngineError(sqlite3* connection, const std::string& folder,
                            const std::vector<TableFile>& tables);

/// `rc` when it reports no failure (OK, a row, done); otherwise throws the
/// connection's error, with SQLite's own message.
int check(sqlite3* connection, int rc);

}  // namespace pelm
