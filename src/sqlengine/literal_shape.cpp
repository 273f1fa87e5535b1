#include "sqlengine/literal_shape.h"

#include <array>

#include "sqlengine/ascii_case.h"

namespace pelm {
namespace {

bool isNameByte(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 0x80 || byte == '_' || byte == '$' || (byte >= '0' && byte <= '9') ||
           ((byte | 0x20) >= 'a' && (byte | 0x20) <= 'z');
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f'; }

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
    for (std::size_t i = at + 1; i < text.size(); ++i) {
        if (text[i] != close) continue;
        if (close != ']' && i + 1 < text.size() && text[i + 1] == close) {
            ++i;
            continue;
        }
        return i + 1;
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

std::string unquoted(std::string_view literal) {
    std::string value;
    value.reserve(literal.size());
    for (std::size_t i = 1; i + 1 < literal.size(); ++i) {
        value += literal[i];
        if (literal[i] == '\'') ++i;
    }
    return value;
}

bool startsBlob(std::string_view text, std::size_t quote) {
    if (quote == 0 || (text[quote - 1] | 0x20) != 'x') return false;
    return quote == 1 || !isNameByte(text[quote - 2]);
}

}  // namespace

std::optional<LiteralShape> liftLiterals(std::string_view statement) {
    if (!changesRows(firstWord(statement))) return std::nullopt;
    LiteralShape shape;
    shape.text.reserve(statement.size());
    std::size_t at = 0;
    while (at < statement.size()) {
        const char c = statement[at];
        std::size_t end = commentEnd(statement, at);
        if (c == '?' || c == ':' || c == '@' || c == '$') return std::nullopt;
        if (end == at && (c == '"' || c == '`' || c == '[' || c == '\'')) {
            const std::size_t close = quotedEnd(statement, at, c == '[' ? ']' : c);
            if (close == std::string_view::npos) {
                shape.text.append(statement.substr(at));  // SQLite refuses it as written
                break;
            }
            end = close;
        }
        if (c == '\'' && !startsBlob(statement, at)) {
            shape.values.push_back(unquoted(statement.substr(at, end - at)));
            shape.text += '?';
            at = end;
            continue;
        }
        if (end == at) end = at + 1;
        shape.text.append(statement.substr(at, end - at));
        at = end;
    }
    return shape;
}

}  // namespace pelm
