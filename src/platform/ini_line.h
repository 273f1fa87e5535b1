#pragma once
// One line of an INI profile file, read the way the Windows profile services
// read it. The line is CP932 bytes; every search skips the second byte of a
// double-byte character, which may look like "]" or a letter.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/cp932.h"

namespace pelm::ini {

/// The most bytes a value read through the profile services can have.
constexpr std::size_t kMaxValueBytes = 2047;

/// The trimmed name of a "[section]" line, or nothing for any other line.
std::optional<std::string_view> sectionName(std::string_view line);

/// A "key=value" line: the trimmed key, the trimmed raw value, and where the
/// value starts in the line (after "=" and the blanks that follow it).
struct KeyLine {
    std::string_view key;
    std::string_view rawValue;
    std::size_t valueStart;
};

/// The key line, or nothing for comments (";"), section lines, lines without
/// "=" and lines with an empty key.
std::optional<KeyLine> keyLine(std::string_view line);

/// The value as a reader sees it: one pair of enclosing quotes (single or
/// double) dropped, then cut to kMaxValueBytes without splitting a character.
Cp932 readValue(std::string_view rawValue);

/// The value as a key line holds it so that readValue gives it back: cut at
/// its first line break, which would end the line, and put in double quotes
/// when its ends are blanks or quotes that reading would drop.
std::string writtenValue(const Cp932& value);

/// Names compare with ASCII letters folded, byte for byte otherwise.
bool sameName(std::string_view a, std::string_view b);

/// The name with its ASCII letters folded, for sets of names.
std::string foldedName(std::string_view name);

}  // namespace pelm::ini
