#pragma once
// One owner for each SQLite handle: a connection is closed and a compiled
// statement finalized when the unique_ptr holding it goes, on every path.

#include <memory>

struct sqlite3;
struct sqlite3_stmt;

namespace pelm {

struct CloseConnection {
    void operator()(sqlite3* connection) const;
};
struct FinalizeStatement {
    void operator()(sqlite3_stmt* statement) const;
};

using ConnectionHandle = std::unique_ptr<sqlite3, CloseConnection>;
using StatementHandle = std::unique_ptr<sqlite3_stmt, FinalizeStatement>;

}  // namespace pelm
