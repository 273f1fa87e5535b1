#pragma once
// Tables of the folder driver may be written as their file names
// ("rmenutxt.db"), as the board's statements do. SQLite would read that as
// table "db" of schema "rmenutxt", so the statement is rewritten first.

#include <set>
#include <string>
#include <string_view>

namespace pelm {

/// Table names compared without regard to ASCII case, as SQLite compares
/// identifiers.
struct CaseInsensitiveLess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
};
using TableNames = std::set<std::string, CaseInsensitiveLess>;

/// `statement` with every bare identifier that names one of `tables`,
/// followed directly by ".db" (any case), written as the plain name. Quoted
/// text, quoted identifiers, comments and any other identifier are copied
/// unchanged. Bytes are read as SQLite reads them, so a text that SQLite
/// sees inside quotes is never touched.
std::string withPlainTableNames(std::string_view statement, const TableNames& tables);

}  // namespace pelm
