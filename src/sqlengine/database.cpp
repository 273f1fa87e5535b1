#include "sqlengine/database.h"

#include <sqlite3.h>

#include <algorithm>

#include "platform/ascii_case.h"
#include "platform/codepage.h"
#include "platform/error.h"
#include "sqlengine/alias_config.h"
#include "sqlengine/engine_error.h"
#include "sqlengine/statement.h"
#include "sqlengine/time_of_day_sql.h"

namespace pelm {
namespace {

// Any connection but the board's own (pelmctl's) waits this long for a lock;
// the board's refresh holds one for milliseconds. Longer would freeze the
// window of a board that finds its table locked at start-up.
constexpr int kToolBusyTimeoutMs = 250;

Cp932 aliasMessage(const std::string& alias, std::string_view problem) {
    return utf8ToCp932("エイリアス '") + Cp932(alias) + utf8ToCp932(problem);
}

void requireFolderDriver(const std::string& alias, const AliasParameters& parameters) {
    const std::optional<Cp932> driver = parameterValue(parameters, "DEFAULT DRIVER");
    if (!driver || driver->empty())
        throw Error(aliasMessage(alias, "' にドライバ (DEFAULT DRIVER) がありません"));
    if (!sameAsciiName(driver->view(), kFolderDriver)) {
        throw Error(utf8ToCp932("ドライバ '") + *driver +
                    utf8ToCp932("' はありません (エイリアス '") + Cp932(alias) + cp932Ascii("')"));
    }
}

std::string dataFolder(const std::string& alias, const AliasParameters& parameters) {
    const std::optional<Cp932> path = parameterValue(parameters, "PATH");
    if (!path || path->empty()) throw Error(aliasMessage(alias, "' に PATH がありません"));
    return usableFolder(*path);
}

// The table files are attached with the connection's flags: NOFOLLOW makes
// SQLite refuse a table file that is a link (see table_file.cpp).
// A connection serves one thread (the window's, or a tool's only one), so
// SQLite's own mutex around every call buys nothing.
ConnectionHandle openConnection() {
    sqlite3* opened = nullptr;
    const int result = sqlite3_open_v2(
        ":memory:", &opened, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_NOFOLLOW,
        nullptr);
    ConnectionHandle connection(opened);
    check(connection.get(), result);
    check(connection.get(), registerTimeOfDay(connection.get()));
    check(connection.get(), sqlite3_busy_timeout(connection.get(), kToolBusyTimeoutMs));
    return connection;
}

}  // namespace

Database::Database(const std::string& alias, const std::vector<Cp932>& parameters)
    : Database(alias, parameters, defaultAliasConfigPaths()) {}

Database::Database(const std::string& alias, const std::vector<Cp932>& parameters,
                   const std::vector<std::string>& configPaths) {
    const AliasParameters merged = mergeParameters(readAlias(alias, configPaths), parameters);
    requireFolderDriver(alias, merged);
    folder_ = dataFolder(alias, merged);
    tables_ = tableFilesIn(folder_);
    tableNames_ = namesOf(tables_);
    handle_ = openConnection();
    attachTableFiles(handle(), tables_);
}

void Database::setBusyTimeout(int milliseconds) {
    sqlite3_busy_timeout(handle(), milliseconds);
}

int Database::check(int rc) const {
    if (rc == SQLITE_OK || rc == SQLITE_ROW || rc == SQLITE_DONE) return rc;
    throw lastEngineError(handle(), folder_, tables_);
}

Database::~Database() = default;

void Database::run(const Cp932& text) {
    Statement(*this, text.view()).run();
}

const TableFile* Database::unmovedTableFile(std::string_view table) {
    const auto file = std::find_if(tables_.begin(), tables_.end(), [&](const TableFile& entry) {
        return sameAsciiName(entry.name.view(), table);
    });
    if (file == tables_.end()) return nullptr;
    int moved = 1;
    const int rc =
        sqlite3_file_control(handle(), file->name.bytes().c_str(), SQLITE_FCNTL_HAS_MOVED, &moved);
    return rc == SQLITE_OK && !moved ? &*file : nullptr;
}

// Read through SQLite's own handle of the file: a second descriptor of ours
// would drop SQLite's POSIX locks on the file when closed.
std::optional<Database::FileStamp> Database::tableFileStamp(std::string_view table) {
    constexpr int kFromByte = 16;  // page size, format versions, ..., free list count
    const TableFile* file = unmovedTableFile(table);
    sqlite3_file* opened = nullptr;
    if (!file ||
        sqlite3_file_control(handle(), file->name.bytes().c_str(), SQLITE_FCNTL_FILE_POINTER,
                             &opened) != SQLITE_OK ||
        !opened || !opened->pMethods)
        return std::nullopt;
    FileStamp stamp;
    if (opened->pMethods->xRead(opened, stamp.data(), stamp.size(), kFromByte) != SQLITE_OK)
        return std::nullopt;
    const bool rollbackJournal = stamp[2] == 1 && stamp[3] == 1;  // bytes 18 and 19
    return rollbackJournal ? std::optional(stamp) : std::nullopt;
}

Database::CommittingTransaction::CommittingTransaction(Database& database) : database_(database) {
    // Inside a transaction already open, the statements simply join it.
    if (!sqlite3_get_autocommit(database_.handle())) return;
    database_.check(sqlite3_exec(database_.handle(), "BEGIN", nullptr, nullptr, nullptr));
    open_ = true;
}

Database::CommittingTransaction::~CommittingTransaction() {
    try {
        commit();
    } catch (const Error&) {
        // What a failed refresh did is kept when possible; a destructor
        // has no one to report to.
    }
}

// A failed COMMIT would leave the transaction open and make every later
// BEGIN fail, so it is rolled back before the error is raised.
void Database::CommittingTransaction::commit() {
    if (!open_) return;
    open_ = false;
    sqlite3* handle = database_.handle();
    if (sqlite3_get_autocommit(handle)) return;  // the engine already rolled back
    if (sqlite3_exec(handle, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK) return;
    const EngineError failure = lastEngineError(handle, database_.folder(), database_.tableFiles());
    sqlite3_exec(handle, "ROLLBACK", nullptr, nullptr, nullptr);
    throw failure;
}

}  // namespace pelm
