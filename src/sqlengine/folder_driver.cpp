#include "sqlengine/folder_driver.h"

#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "platform/ascii_case.h"
#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/paths.h"
#include "sqlengine/sqlite_handles.h"

namespace fs = std::filesystem;

namespace pelm {
namespace {

Cp932 folderMessage(const Cp932& boardPath, std::string_view problem) {
    return utf8ToCp932("データ フォルダ '") + boardPath + utf8ToCp932(problem);
}

[[noreturn]] void throwCannotOpen(sqlite3* handle, const TableFile& table) {
    throw Error(utf8ToCp932("テーブル ファイル '" + table.path +
                            "' を開けません: " + sqlite3_errmsg(handle)));
}

void attach(sqlite3* handle, const TableFile& table) {
    sqlite3_stmt* compiled = nullptr;
    int result = sqlite3_prepare_v2(handle, "ATTACH DATABASE ?1 AS ?2", -1, &compiled, nullptr);
    const StatementHandle statement(compiled);
    if (result == SQLITE_OK) {
        sqlite3_bind_text(compiled, 1, table.path.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(compiled, 2, table.name.bytes().c_str(), -1, SQLITE_TRANSIENT);
        result = sqlite3_step(compiled);
    }
    if (result != SQLITE_OK && result != SQLITE_DONE) throwCannotOpen(handle, table);
}

// The rollback journal lives on disk beside the table, so a board killed in
// mid-commit leaves a journal that the next open rolls back; a journal in
// memory would leave a corrupt table. Kept (PERSIST) and never synced, a
// refresh rewrites the same few pages in the page cache and costs the disk
// next to nothing. Secure delete (on in Debian's build) would zero every
// page a refresh frees.
// A read-only file keeps its journal mode: it can be read, and the first
// change names it as read-only.
void configure(sqlite3* handle, const TableFile& table) {
    const std::string schema = quotedIdentifier(table.name.view());
    std::string pragmas =
        "PRAGMA " + schema + ".synchronous=OFF;PRAGMA " + schema + ".secure_delete=OFF;";
    if (sqlite3_db_readonly(handle, table.name.bytes().c_str()) == 0)
        pragmas = "PRAGMA " + schema + ".journal_mode=PERSIST;" + pragmas;
    if (sqlite3_exec(handle, pragmas.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
        throwCannotOpen(handle, table);
}

}  // namespace

std::optional<std::string_view> tableNamedByFile(std::string_view fileName) {
    constexpr std::string_view kSuffix = ".db";
    if (fileName.size() <= kSuffix.size() ||
        !sameAsciiName(fileName.substr(fileName.size() - kSuffix.size()), kSuffix))
        return std::nullopt;
    return fileName.substr(0, fileName.size() - kSuffix.size());
}

std::string quotedIdentifier(std::string_view name) {
    std::string quoted = "\"";
    for (char c : name) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

std::string usableFolder(const Cp932& boardPath) {
    const std::string path = nativePath(boardPath);
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (!fs::exists(status)) throw Error(folderMessage(boardPath, "' が見つかりません"));
    if (!fs::is_directory(status))
        throw Error(folderMessage(boardPath, "' はフォルダではありません"));
    if (access(path.c_str(), R_OK | X_OK) != 0)
        throw Error(folderMessage(boardPath, "' を読めません"));
    // Link-free, so the engine, which refuses links in a table file's path,
    // still opens the tables of a folder reached through one.
    std::unique_ptr<char, decltype(&free)> real(realpath(path.c_str(), nullptr), &free);
    return real ? std::string(real.get()) : path;
}

std::vector<TableFile> tableFilesIn(const std::string& folder) {
    std::vector<TableFile> tables;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        const std::optional<std::string_view> table = tableNamedByFile(name);
        if (!table || !entry.is_regular_file(error)) continue;
        tables.push_back({utf8ToCp932(std::string(*table)), entry.path().string()});
    }
    std::sort(tables.begin(), tables.end(),
              [](const TableFile& a, const TableFile& b) { return a.path < b.path; });
    return tables;
}

TableNames namesOf(const std::vector<TableFile>& tables) {
    TableNames names;
    for (const TableFile& table : tables) names.insert(table.name.bytes());
    return names;
}

void attachTableFiles(sqlite3* handle, const std::vector<TableFile>& tables) {
    sqlite3_limit(handle, SQLITE_LIMIT_ATTACHED, 125);
    for (const TableFile& table : tables) {
        attach(handle, table);
        configure(handle, table);
    }
}

}  // namespace pelm
