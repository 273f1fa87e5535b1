// The integer rule of the profile services, which the board's settings file
// follows for Color and Size.

#include <algorithm>
#include <cstdint>

#include "engine/board_settings.h"

namespace pelm {
namespace {

size_t hexPrefixLength(std::string_view text) {
    if (text.starts_with("0x") || text.starts_with("0X")) return 2;
    bool marked = !text.empty() && (text[0] == 'x' || text[0] == 'X' || text[0] == '$');
    return marked ? 1 : 0;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Eight hexadecimal digits are 32 bits, so they never overflow; values from
// 0x80000000 up are the negative integers of the same bits.
std::optional<uint32_t> hexMagnitude(std::string_view digits) {
    if (digits.empty() || digits.size() > 8) return std::nullopt;
    uint32_t value = 0;
    for (char c : digits) {
        if (hexDigit(c) < 0) return std::nullopt;
        value = value * 16 + static_cast<uint32_t>(hexDigit(c));
    }
    return value;
}

std::optional<uint32_t> decimalMagnitude(std::string_view digits, bool negative) {
    const uint64_t limit = negative ? 2147483648u : 2147483647u;
    if (digits.empty()) return std::nullopt;
    uint64_t value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(c - '0');
        if (value > limit) return std::nullopt;
    }
    return static_cast<uint32_t>(value);
}

}  // namespace

std::optional<int> readProfileInt(std::string_view text) {
    text.remove_prefix(std::min(text.size(), text.find_first_not_of(' ')));
    bool negative = text.starts_with('-');
    if (negative || text.starts_with('+')) text.remove_prefix(1);
    size_t prefix = hexPrefixLength(text);
    auto magnitude = prefix ? hexMagnitude(text.substr(prefix)) : decimalMagnitude(text, negative);
    if (!magnitude) return std::nullopt;
    return static_cast<int32_t>(negative ? 0u - *magnitude : *magnitude);
}

int profileInt(std::string_view text, int fallback) {
    return readProfileInt(text).value_or(fallback);
}

}  // namespace pelm
