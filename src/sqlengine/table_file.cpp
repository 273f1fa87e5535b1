#include "sqlengine/table_file.h"

#include <sqlite3.h>

#include <cstdio>
#include <ctime>
#include <filesystem>

#include "platform/codepage.h"
#include "platform/error.h"
#include "sqlengine/sqlite_handles.h"
#include "sqlengine/time_of_day_sql.h"

namespace pelm {
namespace {

// A table folder may be one that others can write (a share every PC of the
// venue fills): a link planted at a table file's or its journal's name must
// not make the engine open, truncate or write the link's target. With this
// flag SQLite refuses a table file reached through a link, and it opens
// journals with O_NOFOLLOW in any case. Folders are made link-free first
// (usableFolder), so a board folder reached through a link still works.
constexpr int kNoLinks = SQLITE_OPEN_NOFOLLOW;

// A connection to one table file that remembers how its last step went,
// for checks that answer with the engine's text rather than raise it.
class Connection {
public:
    Connection(const std::string& path, int flags) {
        sqlite3* opened = nullptr;
        result_ = sqlite3_open_v2(path.c_str(), &opened, flags | kNoLinks, nullptr);
        handle_.reset(opened);
        if (result_ == SQLITE_OK) result_ = registerTimeOfDay(handle_.get());
    }

    bool ok() const { return result_ == SQLITE_OK; }
    bool run(const std::string& sql) {
        result_ = sqlite3_exec(handle_.get(), sql.c_str(), nullptr, nullptr, nullptr);
        return ok();
    }
    bool compiles(std::string_view sql) {
        prepare(sql);
        return ok();
    }
    /// The first line of a quick check: "ok" for a sound file.
    std::string quickCheck() { return firstText("PRAGMA quick_check(1)"); }
    /// The first column of the first row of `sql`, or the engine's error.
    std::string firstText(std::string_view sql) {
        const StatementHandle statement = prepare(sql);
        if (!ok()) return errorText();
        const int stepped = sqlite3_step(statement.get());
        if (stepped != SQLITE_ROW && stepped != SQLITE_DONE) {
            result_ = stepped;  // a damaged page shows only when it is read
            return errorText();
        }
        const auto* text =
            stepped == SQLITE_ROW
                ? reinterpret_cast<const char*>(sqlite3_column_text(statement.get(), 0))
                : nullptr;
        return text ? text : "";
    }
    int result() const { return result_; }
    std::string errorText() const {
        return handle_ ? sqlite3_errmsg(handle_.get()) : sqlite3_errstr(result_);
    }

private:
    StatementHandle prepare(std::string_view sql) {
        sqlite3_stmt* compiled = nullptr;
        result_ = sqlite3_prepare_v2(handle_.get(), sql.data(), static_cast<int>(sql.size()),
                                     &compiled, nullptr);
        return StatementHandle(compiled);
    }

    ConnectionHandle handle_;
    int result_ = SQLITE_OK;
};

[[noreturn]] void throwCannotCreate(const std::string& path, const std::string& reason) {
    throw Error(utf8ToCp932("テーブル ファイル '" + path + "' を作れません: " + reason));
}

void writeTableFile(const std::string& path, const Cp932& definition) {
    std::remove(path.c_str());
    Connection file(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    if (!file.ok() || !file.run(definition.bytes())) throwCannotCreate(path, file.errorText());
}

std::string damagedName(const std::string& path) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    std::string name = path + ".damaged-" + stamp;
    for (int extra = 2; std::filesystem::exists(name); ++extra)
        name = path + ".damaged-" + stamp + "-" + std::to_string(extra);
    return name;
}

}  // namespace

std::string tableFilePath(const std::string& folder, std::string_view table) {
    return (std::filesystem::path(folder) / (std::string(table) + ".db")).string();
}

bool createTableFile(const std::string& folder, std::string_view table, const Cp932& definition) {
    const std::string path = tableFilePath(folder, table);
    if (std::filesystem::exists(path)) return false;
    const std::string unfinished = path + ".new";
    writeTableFile(unfinished, definition);
    std::error_code error;
    std::filesystem::rename(unfinished, path, error);
    if (error) {
        std::remove(unfinished.c_str());
        throwCannotCreate(path, error.message());
    }
    return true;
}

// The engine's texts echo the statement's own bytes, so they are CP932.
std::optional<Cp932> tableFileProblem(const std::string& folder, std::string_view table,
                                      const Cp932& probe) {
    Connection file(tableFilePath(folder, table), SQLITE_OPEN_READONLY);
    if (file.ok() && file.compiles(probe.view())) return std::nullopt;
    return Cp932(file.errorText());
}

}  // namespace pelm

namespace pelm {

std::optional<Cp932> tableFileDamage(const std::string& folder, std::string_view table) {
    const std::string path = tableFilePath(folder, table);
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return std::nullopt;
    if (std::filesystem::file_size(path, error) == 0 && !error) return cp932Ascii("empty file");
    Connection file(path, SQLITE_OPEN_READONLY);
    const std::string verdict = file.ok() ? file.quickCheck() : file.errorText();
    const int code = file.result() & 0xff;
    if (code == SQLITE_CORRUPT || code == SQLITE_NOTADB) return Cp932(verdict);
    if (!file.ok()) return std::nullopt;  // busy, no access: nothing said of the file
    if (verdict != "ok") return Cp932(verdict);
    // A database without a single table is what a cut-off write can leave:
    // it holds nothing anybody could miss.
    if (file.firstText("select count(*) from sqlite_schema") == "0") return cp932Ascii("no tables");
    return std::nullopt;
}

std::string moveTableFileAside(const std::string& folder, std::string_view table) {
    const std::string path = tableFilePath(folder, table);
    const std::string aside = damagedName(path);
    std::error_code error;
    std::filesystem::rename(path, aside, error);
    if (error) throwCannotCreate(path, error.message());
    // A journal left beside the new file would be played back into it.
    const std::string journal = path + "-journal";
    if (std::filesystem::exists(journal, error))
        std::filesystem::rename(journal, aside + "-journal", error);
    return aside;
}

}  // namespace pelm
