#include "sqlengine/query.h"

#include "platform/codepage.h"
#include "platform/error.h"
#include "sqlengine/database.h"
#include "sqlengine/statement.h"

namespace pelm {

Query::Query(Database& database, std::string name) : database_(database), name_(std::move(name)) {}

Query::~Query() = default;

void Query::clear() {
    close();
    text_.clear();
    values_.clear();
}

void Query::addLine(const Cp932& line) {
    close();
    text_ += line;
    text_ += "\r\n";
}

void Query::addLine(AsciiLiteral line) {
    close();
    text_ += line;
    text_ += "\r\n";
}

void Query::setValues(std::vector<Cp932> values) {
    close();
    values_ = std::move(values);
}

void Query::execute() {
    close();
    Statement& statement = compiled();
    statement.bind(values_);
    statement.run();
}

void Query::open() {
    close();
    Statement& statement = compiled();
    if (!statement.readOnly())
        throw Error(Cp932(name_) + utf8ToCp932(": 表を変える文は開けません"));
    statement.bind(values_);
    result_ = std::make_shared<const ResultSet>(statement.readAll());
}

Statement& Query::compiled() {
    if (!compiled_ || compiledText_ != text_) {
        compiled_.reset();  // a text that does not compile keeps no statement
        compiled_ = std::make_unique<Statement>(database_, text_.view());
        compiledText_ = text_;
    }
    return *compiled_;
}

void Query::close() {
    result_.reset();
    currentRow_ = 0;
}

void Query::last() {
    if (result_ && !result_->rows.empty()) currentRow_ = result_->rows.size() - 1;
}

Cp932 Query::fieldText(std::string_view field) const {
    const int column = result_ ? result_->columnIndex(field) : -1;
    if (column < 0) {
        throw Error(Cp932(name_) + utf8ToCp932(": 項目 '") + Cp932(std::string(field)) +
                    utf8ToCp932("' が見つかりません"));
    }
    if (result_->rows.empty()) return Cp932();
    return result_->text(currentRow_, static_cast<size_t>(column));
}

}  // namespace pelm
