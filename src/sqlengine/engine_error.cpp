#include "sqlengine/engine_error.h"

#include <sqlite3.h>

#include <cstdio>
#include <filesystem>

#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/ascii_case.h"
#include "sqlengine/database.h"

namespace pelm {
namespace {

constexpr std::string_view kNoSuchTable = "no such table: ";

Cp932 tableFileText(const std::string& path, std::string_view problem) {
    return utf8ToCp932("テーブル ファイル '" + path + "' " + std::string(problem));
}

// SQLite names the table as the statement wrote it, maybe as "<table>.db".
Cp932 missingTableText(const Database& database, const Cp932& message) {
    std::string_view name = message.view().substr(kNoSuchTable.size());
    if (name.size() > 3 && sameAsciiName(name.substr(name.size() - 3), ".db"))
        name.remove_suffix(3);
    const Cp932 table{std::string(name)};
    const std::string path = database.folder() + "/" + cp932ToUtf8(table) + ".db";
    if (!std::filesystem::exists(path)) return tableFileText(path, "が見つかりません");
    return tableFileText(path, "にテーブル '" + cp932ToUtf8(table) + "' がありません");
}

void addReadOnlyTexts(const Database& database, std::vector<Cp932>& texts) {
    for (const TableFile& table : database.tableFiles()) {
        if (sqlite3_db_readonly(database.handle(), table.name.c_str()) == 1)
            texts.push_back(tableFileText(table.path, "は読み取り専用です"));
    }
}

std::vector<Cp932> errorTexts(const Database& database, int code) {
    std::vector<Cp932> texts;
    // SQLite's text echoes the statement's own bytes, so it stays CP932.
    const Cp932 message(sqlite3_errmsg(database.handle()));
    if (message.empty()) return texts;
    texts.push_back(message);
    if (message.view().starts_with(kNoSuchTable)) texts.push_back(missingTableText(database, message));
    if ((code & 0xff) == SQLITE_READONLY) addReadOnlyTexts(database, texts);
    return texts;
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

void throwEngineError(const Database& database) {
    const int code = sqlite3_extended_errcode(database.handle());
    const bool missing = std::string_view(sqlite3_errmsg(database.handle())).starts_with(kNoSuchTable);
    throw EngineError(engineErrorMessage(errorTexts(database, code), code), code, missing);
}

}  // namespace pelm
