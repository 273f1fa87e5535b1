#include "sqlengine/table_file.h"

#include <sqlite3.h>

#include <cstdio>
#include <filesystem>

#include "platform/codepage.h"
#include "platform/error.h"
#include "sqlengine/time_of_day_sql.h"

namespace pelm {
namespace {

// Closes the connection on every way out.
class Connection {
public:
    Connection(const std::string& path, int flags) {
        result_ = sqlite3_open_v2(path.c_str(), &handle_, flags, nullptr);
        if (result_ == SQLITE_OK) result_ = registerTimeOfDay(handle_);
    }
    ~Connection() { sqlite3_close_v2(handle_); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool ok() const { return result_ == SQLITE_OK; }
    bool run(const std::string& sql) {
        result_ = sqlite3_exec(handle_, sql.c_str(), nullptr, nullptr, nullptr);
        return ok();
    }
    bool compiles(std::string_view sql) {
        sqlite3_stmt* statement = nullptr;
        result_ = sqlite3_prepare_v2(handle_, sql.data(), static_cast<int>(sql.size()), &statement,
                                     nullptr);
        sqlite3_finalize(statement);
        return ok();
    }
    std::string errorText() const {
        return handle_ ? sqlite3_errmsg(handle_) : sqlite3_errstr(result_);
    }

private:
    sqlite3* handle_ = nullptr;
    int result_ = SQLITE_OK;
};

[[noreturn]] void throwCannotCreate(const std::string& path, const std::string& reason) {
    throw Error(utf8ToCp932("テーブル ファイル '" + path + "' を作れません: ") + reason);
}

void writeTableFile(const std::string& path, std::string_view definition) {
    std::remove(path.c_str());
    Connection file(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    if (!file.ok() || !file.run(std::string(definition))) throwCannotCreate(path, file.errorText());
}

}  // namespace

std::string tableFilePath(const std::string& folder, std::string_view table) {
    return (std::filesystem::path(folder) / (std::string(table) + ".db")).string();
}

bool createTableFile(const std::string& folder, std::string_view table,
                     std::string_view definition) {
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

std::optional<std::string> tableFileProblem(const std::string& folder, std::string_view table,
                                            std::string_view probe) {
    Connection file(tableFilePath(folder, table), SQLITE_OPEN_READONLY);
    if (file.ok() && file.compiles(probe)) return std::nullopt;
    return file.errorText();
}

}  // namespace pelm
