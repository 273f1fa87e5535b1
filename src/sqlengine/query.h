#pragma once
// A statement object on a database: its text is built from lines, values
// are bound to its parameters, it is executed or opened as a result set,
// and fields of the current row are read by name as text.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/cp932.h"
#include "sqlengine/result_set.h"

namespace pelm {

class Database;
class Statement;

class Query {
public:
    Query(Database& database, std::string name);
    ~Query();
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;

    /// Closes the query and empties its text and values. The statement
    /// compiled last is kept: a text built again word for word, as a
    /// rebuild builds one per race, runs without being compiled again.
    void clear();
    /// Appends `line` and CR LF. A statement's text is CP932: its quoted
    /// values are the board's texts.
    void addLine(const Cp932& line);
    /// As above, for a fixed line of the statement, taken as it is.
    void addLine(AsciiLiteral line);
    const Cp932& text() const { return text_; }
    /// The texts bound to the statement's parameters ?1, ?2, ... when it
    /// runs: a value so bound is only ever a value, whatever it holds.
    void setValues(std::vector<Cp932> values);

    /// Runs a statement without result once. Throws pelm::Error with the
    /// engine's message when it is rejected.
    void execute();

    /// Runs a selection and keeps its whole result, positioned on the first
    /// row. Throws pelm::Error with the engine's message.
    void open();
    void close();
    bool isOpen() const { return result_ != nullptr; }

    /// Moves to the last row (stays put on an empty result).
    void last();

    /// The text of a field of the current row, by name, case-insensitive:
    /// "" for NULL and for any field of an empty result. Throws pelm::Error
    /// "<query name>: 項目 '<field>' が見つかりません" for an unknown field
    /// and when the query is not open.
    Cp932 fieldText(std::string_view field) const;

    /// The open result set, shared so a view may keep showing it; null when
    /// the query is closed.
    std::shared_ptr<const ResultSet> result() const { return result_; }

private:
    Statement& compiled();

    Database& database_;
    std::string name_;
    Cp932 text_;
    std::vector<Cp932> values_;
    std::unique_ptr<Statement> compiled_;
    Cp932 compiledText_;
    std::shared_ptr<const ResultSet> result_;
    std::size_t currentRow_ = 0;
};

}  // namespace pelm
