#pragma once
// Compiled shapes of the statements a connection runs again and again: a
// refresh inserts one row per race with statements that differ only in
// their values, and compiling each costs more than running it.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sqlengine/table_names.h"

struct sqlite3;
struct sqlite3_stmt;

namespace pelm {

class Database;

class StatementCache {
public:
    /// At most `capacity` shapes are kept; a full cache starts afresh.
    StatementCache(sqlite3* handle, std::size_t capacity);
    ~StatementCache();
    StatementCache(const StatementCache&) = delete;
    StatementCache& operator=(const StatementCache&) = delete;

    /// The compiled statement of `shape` (table file names in it made plain
    /// as in `tables` when it is first compiled), reset and ready for binding, or
    /// null when the shape compiles to no single statement with one
    /// parameter per value (the caller then compiles the text as written,
    /// which raises the engine's own error). Owned by the cache.
    sqlite3_stmt* compiled(const std::string& shape, std::size_t values, const TableNames& tables);

private:
    struct Finalize {
        void operator()(sqlite3_stmt* statement) const;
    };
    using Compiled = std::unique_ptr<sqlite3_stmt, Finalize>;
    Compiled compile(const std::string& text, std::size_t values) const;

    sqlite3* handle_;
    std::size_t capacity_;
    std::map<std::string, Compiled, std::less<>> shapes_;
};

/// Runs `statement` (from StatementCache) with `values` bound as texts to
/// its parameters, to its end, and leaves it reset. Throws EngineError as a
/// statement compiled from the text would.
void runWithValues(Database& database, sqlite3_stmt* statement,
                   const std::vector<std::string>& values);

}  // namespace pelm
