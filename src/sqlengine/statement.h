#pragma once
// One prepared SQLite statement of a query's text, freed when it goes. It
// may run again and again with other values bound to its parameters: a
// refresh inserts one row per race with one statement.

#include <memory>
#include <string_view>
#include <vector>

#include "platform/cp932.h"
#include "sqlengine/result_set.h"
#include "sqlengine/sqlite_handles.h"

struct sqlite3_stmt;

namespace pelm {

class Database;

class Statement {
public:
    /// Prepares the one statement of `text`, table file names made plain.
    /// Throws pelm::Error with the engine's message, and when the text holds
    /// no statement or more than one.
    Statement(Database& database, std::string_view text);

    /// True when running it changes nothing.
    bool readOnly() const;
    /// Binds `values` as texts to its parameters ?1, ?2, ..., in order, for
    /// the next run; the texts must stay as they are until then. Throws the
    /// engine's message when they do not fit its parameters.
    void bind(const std::vector<Cp932>& values);
    /// Runs it to its end, throwing the engine's message on failure; then
    /// it is ready to run again.
    void run();
    /// Runs it to its end, copying out every row; then it is ready to run
    /// again.
    ResultSet readAll();

private:
    bool step();  // true while a row is ready
    void reset();
    ResultSet::Row currentRow() const;

    Database& database_;
    StatementHandle statement_;
};

}  // namespace pelm
