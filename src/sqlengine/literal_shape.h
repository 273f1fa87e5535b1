#pragma once
// A statement that changes a table, with its quoted text values taken out:
// statements that differ only in those values share one shape, so the
// engine compiles the shape once and binds the values each time.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelm {

struct LiteralShape {
    std::string text;                 // each '...' value replaced by ?
    std::vector<std::string> values;  // their texts, quotes undoubled, in order
};

/// Fills `shape` with the shape of an INSERT, REPLACE, UPDATE or DELETE
/// statement (reusing its buffers, as a rebuild lifts thousands) and returns
/// true; false
/// when the statement is of another kind (a column named after a value would
/// change its name) or already holds a parameter (the numbering would
/// shift). Comments, quoted identifiers and blob literals stay as they are.
/// A value in a place where SQLite reads a quoted text as a name makes a
/// shape that does not compile; the caller then compiles the text itself.
bool liftLiterals(std::string_view statement, LiteralShape& shape);

/// As above, for one statement: nothing where the above returns false.
std::optional<LiteralShape> liftLiterals(std::string_view statement);

}  // namespace pelm
