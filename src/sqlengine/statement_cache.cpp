#include "sqlengine/statement_cache.h"

#include <sqlite3.h>

#include "sqlengine/database.h"
#include "sqlengine/engine_error.h"

namespace pelm {
namespace {

bool onlyBlanksAndComments(sqlite3* handle, const char* rest) {
    sqlite3_stmt* compiled = nullptr;
    const int result = sqlite3_prepare_v2(handle, rest, -1, &compiled, nullptr);
    const StatementHandle statement(compiled);
    return result == SQLITE_OK && statement == nullptr;
}

// Leaves the statement ready for its next values however the run ends; the
// engine's message is taken before, so the reset cannot change it.
class ResetAtEnd {
public:
    explicit ResetAtEnd(sqlite3_stmt* statement) : statement_(statement) {}
    ~ResetAtEnd() {
        sqlite3_reset(statement_);
        sqlite3_clear_bindings(statement_);
    }
    ResetAtEnd(const ResetAtEnd&) = delete;
    ResetAtEnd& operator=(const ResetAtEnd&) = delete;

private:
    sqlite3_stmt* statement_;
};

}  // namespace

StatementCache::StatementCache(sqlite3* handle, std::size_t capacity)
    : handle_(handle), capacity_(capacity) {}

StatementCache::~StatementCache() = default;

sqlite3_stmt* StatementCache::compiled(const std::string& shape, std::size_t values,
                                       const TableNames& tables) {
    const auto kept = shapes_.find(shape);
    if (kept != shapes_.end()) return kept->second.get();
    StatementHandle statement = compile(withPlainTableNames(shape, tables), values);
    if (!statement) return nullptr;
    if (shapes_.size() >= capacity_) shapes_.clear();
    return shapes_.emplace(shape, std::move(statement)).first->second.get();
}

StatementHandle StatementCache::compile(const std::string& text, std::size_t values) const {
    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    const int result =
        sqlite3_prepare_v2(handle_, text.c_str(), static_cast<int>(text.size()), &raw, &tail);
    StatementHandle statement(raw);
    if (result != SQLITE_OK || !statement) return nullptr;
    if (static_cast<std::size_t>(sqlite3_bind_parameter_count(raw)) != values) return nullptr;
    if (!onlyBlanksAndComments(handle_, tail)) return nullptr;
    return statement;
}

void runWithValues(Database& database, sqlite3_stmt* statement,
                   const std::vector<std::string>& values) {
    const ResetAtEnd reset(statement);
    for (std::size_t index = 0; index < values.size(); ++index) {
        const std::string& value = values[index];
        sqlite3_bind_text(statement, static_cast<int>(index + 1), value.data(),
                          static_cast<int>(value.size()), SQLITE_STATIC);
    }
    int result = SQLITE_ROW;
    while (result == SQLITE_ROW) result = sqlite3_step(statement);
    database.check(result);
}

}  // namespace pelm
