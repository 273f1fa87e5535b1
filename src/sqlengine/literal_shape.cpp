#include "sqlengine/literal_shape.h"

#include <array>

#include "platform/ascii_case.h"

namespace pelm {
namespace {

bool isNameByte(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 0x80 || byte == '_' || byte == '$' || (byte >= '0' && byte <= '9') ||
           ((byte | 0x20) >= 'a' && (byte | 0x20) <= 'z');
}

// Where the run of plain text from `at` ends: only these bytes can start a
// value, a quoted name, a comment or a parameter.
std::size_t plainRunEnd(std::string_view text, std::size_t at) {
    static constexpr auto kSpecial = [] {
        std::array<bool, 256> special{};
        for (unsigned char c : std::string_view("'\"`[-/?:@$")) special[c] = true;
        return special;
    }();
    while (at < text.size() && !kSpecial[static_cast<unsigned char>(text[at])]) ++at;
    return at;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

// The end of the comment at `at`, or `at` when none starts there.
std::size_t commentEnd(std::string_view text, std::size_t at) {
    if (text.substr(at, 2) == "--") {
        const std::size_t end = text.find('\n', at);
        return end == std::string_view::npos ? text.size() : end + 1;
    }
    if (text.substr(at, 2) == "/*") {
        const std::size_t end = text.find("*/", at + 2);
        return end == std::string_view::npos ? text.size() : end + 2;
    }
    return at;
}

// The end of the quoted run at `at` closed by `close` (doubled, it stands
// for itself), or npos when it is never closed.
std::size_t quotedEnd(std::string_view text, std::size_t at, char close) {
    for (std::size_t i = text.find(close, at + 1); i != std::string_view::npos;
         i = text.find(close, i + 2)) {
        if (close == ']' || i + 1 >= text.size() || text[i + 1] != close) return i + 1;
    }
    return std::string_view::npos;
}

std::string_view firstWord(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t next = commentEnd(text, at);
        if (next != at) {
            at = next;
        } else if (isBlank(text[at])) {
            ++at;
        } else {
            break;
        }
    }
    std::size_t end = at;
    while (end < text.size() && isNameByte(text[end])) ++end;
    return text.substr(at, end - at);
}

bool changesRows(std::string_view word) {
    constexpr std::array<std::string_view, 4> kinds{"INSERT", "REPLACE", "UPDATE", "DELETE"};
    for (std::string_view kind : kinds)
        if (sameAsciiName(word, kind)) return true;
    return false;
}

void unquote(std::string_view literal, std::string& value) {
    const std::string_view inside = literal.substr(1, literal.size() - 2);
    value.assign(inside);
    if (inside.find('\'') == std::string_view::npos) return;
    value.clear();
    for (std::size_t i = 0; i < inside.size(); ++i) {
        value += inside[i];
        if (inside[i] == '\'') ++i;
    }
}

void addValue(std::string_view literal, LiteralShape& shape, std::size_t& count) {
    if (count == shape.values.size()) shape.values.emplace_back();
    unquote(literal, shape.values[count++]);
    shape.text += '?';
}

bool startsBlob(std::string_view text, std::size_t quote) {
    if (quote == 0 || (text[quote - 1] | 0x20) != 'x') return false;
    return quote == 1 || !isNameByte(text[quote - 2]);
}

}  // namespace

std::optional<LiteralShape> liftLiterals(std::string_view statement) {
    LiteralShape shape;
    if (!liftLiterals(statement, shape)) return std::nullopt;
    return shape;
}

bool liftLiterals(std::string_view statement, LiteralShape& shape) {
    if (!changesRows(firstWord(statement))) return false;
    shape.text.clear();
    std::size_t values = 0;
    std::size_t at = 0;
    while (at < statement.size()) {
        const std::size_t special = plainRunEnd(statement, at);
        if (special == statement.size()) {
            shape.text.append(statement.substr(at));
            break;
        }
        shape.text.append(statement.substr(at, special - at));
        at = special;
        const char c = statement[at];
        std::size_t end = commentEnd(statement, at);
        if (c == '?' || c == ':' || c == '@' || c == '$') return false;
        if (end == at && (c == '"' || c == '`' || c == '[' || c == '\'')) {
            const std::size_t close = quotedEnd(statement, at, c == '[' ? ']' : c);
            if (close == std::string_view::npos) {
                shape.text.append(statement.substr(at));  // SQLite refuses it as written
                break;
            }
            end = close;
        }
        if (c == '\'' && !startsBlob(statement, at)) {
            addValue(statement.substr(at, end - at), shape, values);
            at = end;
            continue;
        }
        if (end == at) end = at + 1;
        shape.text.append(statement.substr(at, end - at));
        at = end;
    }
    shape.values.resize(values);
    return true;
}

}  // namespace pelm
