#include "sqlengine/result_set.h"

#include "platform/ascii_case.h"

namespace pelm {

int ResultSet::columnIndex(std::string_view name) const {
    for (size_t column = 0; column < columns.size(); ++column) {
        if (sameAsciiName(columns[column], name)) return static_cast<int>(column);
    }
    return -1;
}

Cp932 ResultSet::text(std::size_t row, std::size_t column) const {
    return rows.at(row).at(column).value_or(Cp932());
}

}  // namespace pelm
