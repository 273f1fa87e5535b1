#include "sqlengine/engine_error.h"

#include <sqlite3.h>

#include <cstdio>
#include <filesystem>

#include "platform/ascii_case.h"
#include "platform/codepage.h"
#include "platform/error.h"
#include "sqlengine/folder_driver.h"
#include "sqlengine/table_file.h"

namespace pelm {
namespace {

constexpr std::string_view kNoSuchTable = "no such table: ";

Cp932 tableFileText(const std::string& path, std::string_view problem) {
    return utf8ToCp932("テーブル ファイル '" + path + "' " + std::string(problem));
}

// SQLite names the table as the statement wrote it, maybe as "<table>.db".
Cp932 missingTableText(const std::string& folder, const Cp932& message) {
    const std::string_view name = message.view().substr(kNoSuchTable.size());
    const Cp932 table{std::string(tableNamedByFile(name).value_or(name))};
    const std::string path = tableFilePath(folder, cp932ToUtf8(table));
    if (!std::filesystem::exists(path)) return tableFileText(path, "が見つかりません");
    return tableFileText(path, "にテーブル '" + cp932ToUtf8(table) + "' がありません");
}

void addReadOnlyTexts(sqlite3* connection, const std::vector<TableFile>& tables,
                      std::vector<Cp932>& texts) {
    for (const TableFile& table : tables) {
        if (sqlite3_db_readonly(connection, table.name.bytes().c_str()) == 1)
            texts.push_back(tableFileText(table.path, "は読み取り専用です"));
    }
}

bool succeeded(int rc) {
    return rc == SQLITE_OK || rc == SQLITE_ROW || rc == SQLITE_DONE;
}

}  // namespace

Cp932 engineErrorMessage(const std::vector<Cp932>& texts, int code) {
    Cp932 message;
    for (const Cp932& text : texts) {
        if (text.empty()) continue;
        if (!message.empty()) message += cp932Ascii("\r\n");
        message += text;
    }
    if (message.empty()) {
        char digits[16];
        std::snprintf(digits, sizeof digits, "$%.4x", static_cast<unsigned>(code) & 0xffffu);
        return utf8ToCp932(std::string("BDEエラー ") + digits);
    }
    return message;
}

bool EngineError::valueRejected() const {
    return (code_ & 0xff) == SQLITE_CONSTRAINT;
}

bool EngineError::tableFileBroken() const {
    switch (code_ & 0xff) {
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
        case SQLITE_IOERR:
        case SQLITE_CANTOPEN:
            return true;
        default:
            // The file was deleted or renamed away while open: writes can
            // only go to a file nobody reads any more.
            return code_ == SQLITE_READONLY_DBMOVED;
    }
}

EngineError lastEngineError(sqlite3* connection, const std::string& folder,
                            const std::vector<TableFile>& tables) {
    const int code = sqlite3_extended_errcode(connection);
    // SQLite's text echoes the statement's own bytes, so it stays CP932.
    const Cp932 message(sqlite3_errmsg(connection));
    std::vector<Cp932> texts{message};
    const bool missing = message.view().starts_with(kNoSuchTable);
    if (missing) texts.push_back(missingTableText(folder, message));
    if ((code & 0xff) == SQLITE_READONLY) addReadOnlyTexts(connection, tables, texts);
    return EngineError(engineErrorMessage(texts, code), code, missing);
}

int check(sqlite3* connection, int rc) {
    if (succeeded(rc)) return rc;
    // Without a connection (an open that failed early) only the code speaks.
    if (!connection) throw EngineError(engineErrorMessage({Cp932(sqlite3_errstr(rc))}, rc), rc);
    throw lastEngineError(connection, {}, {});
}

}  // namespace pelm
