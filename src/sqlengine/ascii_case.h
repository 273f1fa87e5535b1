#pragma once
// Names in SQL (tables, columns, parameters) match without regard to ASCII
// case; bytes from 0x80 up, such as those of CP932 names, match exactly.

#include <algorithm>
#include <string_view>

namespace pelm {

constexpr char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr bool sameAsciiName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return asciiLower(x) == asciiLower(y);
           });
}

}  // namespace pelm
