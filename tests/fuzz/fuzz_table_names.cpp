// Any statement: the rewrite of table file names only ever removes ".db"
// after the known table's name, and leaves a statement without one alone.

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "sqlengine/table_names.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const pelm::TableNames tables{"rmenutxt"};
    std::string_view statement(reinterpret_cast<const char*>(data), size);
    std::string rewritten = pelm::withPlainTableNames(statement, tables);
    if (rewritten.size() > statement.size() || (statement.size() - rewritten.size()) % 3 != 0)
        std::abort();
    if (rewritten.size() == statement.size() && rewritten != statement) std::abort();
    return 0;
}
