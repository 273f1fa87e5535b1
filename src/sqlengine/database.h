#pragma once
// A database opened through an alias of the engine configuration
// ("dbengine.ini"), as the board's desktop database engine offered it.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/cp932.h"
#include "sqlengine/folder_driver.h"
#include "sqlengine/sqlite_handles.h"

struct sqlite3;

namespace pelm {

class Database {
public:
    /// Opens the alias `alias` with `parameters` ("NAME=value" lines): each
    /// replaces the alias parameter of the same name, names the alias lacks
    /// are dropped, and the merged "DEFAULT DRIVER" picks the driver.
    /// Throws pelm::Error with a clear message when the configuration or the
    /// alias is missing, the driver is unknown, PATH is missing or not a
    /// usable folder, or a table file cannot be opened.
    Database(const std::string& alias, const std::vector<Cp932>& parameters);
    /// As above, with the configuration looked for among `configPaths`
    /// (native paths, first existing wins) instead of the usual places.
    Database(const std::string& alias, const std::vector<Cp932>& parameters,
             const std::vector<std::string>& configPaths);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    /// Groups the statements that follow into one transaction until
    /// commit(), so a refresh writes its table once. Unlike the usual
    /// guard, which rolls back, it commits when it goes as well: what a
    /// refresh did before an error stays in effect, as each statement
    /// would have on its own.
    class CommittingTransaction {
    public:
        explicit CommittingTransaction(Database& database);
        ~CommittingTransaction();
        void commit();

    private:
        Database& database_;
        bool open_ = false;
    };

    /// How long a statement waits for another process's lock before it
    /// fails with "database is locked" (250 ms unless set).
    void setBusyTimeout(int milliseconds);

    /// Runs one statement that returns no rows. Throws pelm::Error
    /// (EngineError from the engine) as Statement does.
    void run(const Cp932& text);

    /// The bytes of a table file's header that every commit changes (its
    /// change counter, page count and free list), read without any lock:
    /// the same bytes SQLite checks to tell whether the pages it holds are
    /// still the file's. While they stay the same and the file stays at its
    /// path, nobody has committed to it. Nothing when that cannot be told:
    /// no such table file, the file moved, a short read, or a file in WAL
    /// mode, whose commits leave the header alone. A stamp read during a
    /// write of this connection's own is not worth keeping.
    using FileStamp = std::array<unsigned char, 24>;
    std::optional<FileStamp> tableFileStamp(std::string_view table);

    /// `rc` when it reports no failure; otherwise throws EngineError for
    /// the last failure on this connection, naming the table file where a
    /// table file is missing, lacks its table, or is read-only.
    int check(int rc) const;

    sqlite3* handle() const { return handle_.get(); }
    /// The data folder (native path) and its table files.
    const std::string& folder() const { return folder_; }
    const std::vector<TableFile>& tableFiles() const { return tables_; }
    const TableNames& tableNames() const { return tableNames_; }

private:
    /// The table file of `table`, still at its path; null otherwise.
    const TableFile* unmovedTableFile(std::string_view table);

    ConnectionHandle handle_;
    std::string folder_;
    std::vector<TableFile> tables_;
    TableNames tableNames_;
};

}  // namespace pelm
