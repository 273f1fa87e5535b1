#include "platform/ini_line.h"

#include "platform/ascii_case.h"
#include "platform/codepage.h"

namespace pelm::ini {
namespace {

constexpr std::string_view kBlanks = " \t\v\f";

std::string_view trimmed(std::string_view text) {
    size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

// Like find(), but never stops on the second byte of a double-byte character.
size_t findCharacter(std::string_view text, char wanted) {
    for (size_t i = 0; i < text.size(); i += characterLength(text, i)) {
        if (text[i] == wanted) return i;
    }
    return std::string_view::npos;
}

std::string_view withoutEnclosingQuotes(std::string_view value) {
    bool quoted = value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                  value.back() == value.front();
    return quoted ? value.substr(1, value.size() - 2) : value;
}

}  // namespace

std::optional<std::string_view> sectionName(std::string_view line) {
    line = trimmed(line);
    if (line.empty() || line.front() != '[') return std::nullopt;
    line.remove_prefix(1);
    return trimmed(line.substr(0, findCharacter(line, ']')));
}

std::optional<KeyLine> keyLine(std::string_view line) {
    std::string_view content = trimmed(line);
    if (content.empty() || content.front() == ';' || content.front() == '[') return std::nullopt;
    size_t equals = findCharacter(line, '=');
    if (equals == std::string_view::npos) return std::nullopt;
    std::string_view key = trimmed(line.substr(0, equals));
    if (key.empty()) return std::nullopt;
    size_t valueStart = line.find_first_not_of(kBlanks, equals + 1);
    if (valueStart == std::string_view::npos) valueStart = line.size();
    return KeyLine{key, trimmed(line.substr(valueStart)), valueStart};
}

Cp932 readValue(std::string_view rawValue) {
    std::string_view value = withoutEnclosingQuotes(rawValue);
    if (value.size() > kMaxValueBytes)
        value = withoutDanglingLeadByte(value.substr(0, kMaxValueBytes));
    return Cp932(std::string(value));
}

std::string writtenValue(const Cp932& value) {
    const std::string_view firstLine = value.view().substr(0, value.view().find_first_of("\r\n"));
    bool changedByReading = !firstLine.empty() && (trimmed(firstLine).size() != firstLine.size() ||
                                                   withoutEnclosingQuotes(firstLine) != firstLine);
    return changedByReading ? "\"" + std::string(firstLine) + "\"" : std::string(firstLine);
}

std::string foldedName(std::string_view name) {
    return foldedAsciiName(name);
}

bool sameName(std::string_view a, std::string_view b) {
    return sameAsciiName(a, b);
}

}  // namespace pelm::ini
