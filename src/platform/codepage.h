#pragma once
// Code page 932 (Shift-JIS with the Windows extensions) and Unicode.
// Every text of the board's files and database is CP932 bytes; these helpers
// are used only at the edges: widgets, command-line output, file names.
// None of them keeps state between calls and none of them fails.

#include <QString>
#include <string>
#include <string_view>

#include "platform/cp932.h"

namespace pelm {

/// True for a byte that starts a double-byte character.
constexpr bool isLeadByte(unsigned char byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

/// The length of the character that starts at byte `at` (below the size):
/// 2 for a lead byte with a byte after it, else 1. Walking a text by it
/// never stops on a trail byte, which can look like any ASCII character.
constexpr std::size_t characterLength(std::string_view cp932, std::size_t at) {
    return isLeadByte(static_cast<unsigned char>(cp932[at])) && at + 1 < cp932.size() ? 2 : 1;
}

/// The text without a lead byte left dangling at its end by a byte cut.
std::string_view withoutDanglingLeadByte(std::string_view cp932);

/// True when cutting `cp932` to `length` bytes splits a double-byte character.
bool cutSplitsCharacter(std::string_view cp932, std::size_t length);

/// Decodes CP932; a dangling lead byte at the end is dropped and every
/// undecodable byte becomes U+FFFD.
std::string cp932ToUtf8(const Cp932& text);
QString fromCp932(const Cp932& text);

/// Encodes to CP932. The JIS forms of a few symbols that CP932 spells with
/// their full-width twins (wave dash, minus, …) are mapped first; anything
/// else CP932 lacks becomes "?".
Cp932 utf8ToCp932(std::string_view utf8);
Cp932 toCp932(const QString& text);

/// True when every byte of the text decodes.
bool isValidCp932(std::string_view cp932);

}  // namespace pelm
