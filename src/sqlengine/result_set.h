#pragma once
// A materialised, read-only result of a selection: every row is copied out
// when the query opens, so it stays readable while other statements change
// the table, and the grid can hold on to it after the query moves on.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/cp932.h"

namespace pelm {

struct ResultSet {
    using Row = std::vector<std::optional<Cp932>>;  // the stored bytes; nullopt is NULL

    std::vector<std::string> columns;  // names as the statement gave them
    std::vector<Row> rows;

    /// Index of the column named `name` (ASCII case-insensitive), or -1.
    int columnIndex(std::string_view name) const;
    /// Text of a field: the stored text, or "" for NULL.
    Cp932 text(std::size_t row, std::size_t column) const;

    bool operator==(const ResultSet&) const = default;
};

}  // namespace pelm
