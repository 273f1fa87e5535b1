#pragma once
// One prepared SQLite statement of a query's text, freed when it goes.

#include <memory>
#include <string_view>

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
    /// Runs it to its end, throwing the engine's message on failure.
    void run();
    /// Runs it to its end, copying out every row.
    ResultSet readAll();

private:
    bool step();  // true while a row is ready
    ResultSet::Row currentRow() const;

    Database& database_;
    StatementHandle statement_;
};

}  // namespace pelm
