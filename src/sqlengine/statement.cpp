#include "sqlengine/statement.h"

#include <sqlite3.h>

#include <string>

#include "platform/codepage.h"
#include "platform/error.h"
#include "sqlengine/database.h"
#include "sqlengine/engine_error.h"
#include "sqlengine/table_names.h"

namespace pelm {
namespace {

StatementHandle prepare(Database& database, std::string_view text, const char** tail) {
    sqlite3_stmt* compiled = nullptr;
    const int result = sqlite3_prepare_v2(database.handle(), text.data(),
                                          static_cast<int>(text.size()), &compiled, tail);
    StatementHandle statement(compiled);
    database.check(result);
    return statement;
}

// Only what follows the first statement is looked at: blanks and comments
// are fine, a second statement would silently not run.
bool holdsStatement(Database& database, std::string_view rest) {
    const char* tail = nullptr;
    return prepare(database, rest, &tail) != nullptr;
}

}  // namespace

Statement::Statement(Database& database, std::string_view text) : database_(database) {
    const std::string plain = withPlainTableNames(text, database.tableNames());
    const char* tail = nullptr;
    statement_ = prepare(database, plain, &tail);
    const std::string_view rest(tail, plain.data() + plain.size() - tail);
    if (!statement_) throw Error(utf8ToCp932("SQL 文がありません"));
    if (holdsStatement(database, rest)) throw Error(utf8ToCp932("SQL 文は一度に一つだけ送れます"));
}

bool Statement::readOnly() const {
    return sqlite3_stmt_readonly(statement_.get()) != 0;
}

void Statement::bind(const std::vector<Cp932>& values) {
    const int parameters = sqlite3_bind_parameter_count(statement_.get());
    if (static_cast<std::size_t>(parameters) != values.size())
        throw Error(utf8ToCp932("SQL 文のパラメータは " + std::to_string(parameters) +
                                " 個です (値は " + std::to_string(values.size()) + " 個)"));
    for (std::size_t index = 0; index < values.size(); ++index) {
        const std::string_view value = values[index].view();
        database_.check(sqlite3_bind_text(statement_.get(), static_cast<int>(index + 1),
                                          value.data(), static_cast<int>(value.size()),
                                          SQLITE_STATIC));
    }
}

void Statement::run() {
    while (step()) {
    }
}

ResultSet Statement::readAll() {
    ResultSet result;
    const int columns = sqlite3_column_count(statement_.get());
    for (int column = 0; column < columns; ++column)
        result.columns.emplace_back(sqlite3_column_name(statement_.get(), column));
    while (step()) result.rows.push_back(currentRow());
    return result;
}

// Reset once it ends, however it ends, so it can run again; the engine's
// message is taken before, as a reset would change it.
bool Statement::step() {
    const int result = sqlite3_step(statement_.get());
    if (result == SQLITE_ROW) return true;
    if (result != SQLITE_DONE) {
        try {
            database_.check(result);
        } catch (...) {
            reset();
            throw;
        }
    }
    reset();
    return false;
}

void Statement::reset() {
    sqlite3_reset(statement_.get());
    sqlite3_clear_bindings(statement_.get());
}

ResultSet::Row Statement::currentRow() const {
    const int columns = sqlite3_column_count(statement_.get());
    ResultSet::Row row(static_cast<size_t>(columns));
    for (int column = 0; column < columns; ++column) {
        if (sqlite3_column_type(statement_.get(), column) == SQLITE_NULL) continue;
        const auto* bytes =
            reinterpret_cast<const char*>(sqlite3_column_text(statement_.get(), column));
        const int length = sqlite3_column_bytes(statement_.get(), column);
        // The engine gives back the bytes a statement stored: CP932.
        row[static_cast<size_t>(column)].emplace(bytes ? std::string(bytes, length)
                                                       : std::string());
    }
    return row;
}

}  // namespace pelm
