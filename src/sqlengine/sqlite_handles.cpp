#include "sqlengine/sqlite_handles.h"

#include <sqlite3.h>

namespace pelm {

// close_v2: a statement still open somewhere (a bug) delays the close
// rather than failing it and leaking the connection.
void CloseConnection::operator()(sqlite3* connection) const {
    sqlite3_close_v2(connection);
}

void FinalizeStatement::operator()(sqlite3_stmt* statement) const {
    sqlite3_finalize(statement);
}

}  // namespace pelm
