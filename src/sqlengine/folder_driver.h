#pragma once
// The PARADOX driver: a data folder whose tables are SQLite files
// "<table>.db", each holding the table <table>. Every table file is
// attached under its table name, so statements reach it by that name.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/cp932.h"
#include "sqlengine/table_names.h"

struct sqlite3;

namespace pelm {

constexpr std::string_view kFolderDriver = "PARADOX";

struct TableFile {
    Cp932 name;        // as statements write it
    std::string path;  // native
};

/// The table a file of a data folder holds: the file's name without ".db"
/// (in any case), as statements may also write it; nothing for a file of
/// another kind. tableFilePath (table_file.h) goes the other way.
std::optional<std::string_view> tableNamedByFile(std::string_view fileName);

/// `name` in double quotes, any quote in it doubled: a schema or table
/// name as SQL reads it, whatever the file is called.
std::string quotedIdentifier(std::string_view name);

/// The native path, free of links, of a usable data folder given as a board
/// path (CP932, backslashes). Throws pelm::Error naming the folder when it is missing,
/// is no folder, or cannot be read.
std::string usableFolder(const Cp932& boardPath);

/// Every regular file "<table>.db" (".db" in any case) of `folder`, by name.
std::vector<TableFile> tableFilesIn(const std::string& folder);

TableNames namesOf(const std::vector<TableFile>& tables);

/// Attaches each table file under its name, with a kept rollback journal on
/// disk and without syncing: the board rebuilds its table at every change
/// of the schedule and every race's end, and the disk must not feel it, yet a board killed in
/// mid-commit must not leave a corrupt table. Throws pelm::Error naming the file that SQLite cannot
/// open.
void attachTableFiles(sqlite3* handle, const std::vector<TableFile>& tables);

}  // namespace pelm
