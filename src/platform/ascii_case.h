#pragma once
// Names in SQL (tables, columns, parameters), INI sections and keys, and the
// AM/PM words of a time match without regard to the case of ASCII letters.
// The texts are CP932: a double-byte character is compared as it stands,
// so a trail byte that happens to be a letter never folds into another
// character.

#include <string>
#include <string_view>

#include "platform/codepage.h"

namespace pelm {

constexpr char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr bool sameAsciiName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); i += characterLength(a, i)) {
        const bool same = characterLength(a, i) == 2 ? a.substr(i, 2) == b.substr(i, 2)
                                                     : asciiLower(a[i]) == asciiLower(b[i]);
        if (!same) return false;
    }
    return true;
}

/// The name as sameAsciiName compares it: equal for names it calls the
/// same, so it can key a set of names.
inline std::string foldedAsciiName(std::string_view name) {
    std::string folded(name);
    for (std::size_t i = 0; i < folded.size(); i += characterLength(folded, i)) {
        if (characterLength(folded, i) == 1) folded[i] = asciiLower(folded[i]);
    }
    return folded;
}

}  // namespace pelm
