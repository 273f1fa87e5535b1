#pragma once
// Whole text files read into lines, byte for byte, as the board reads its
// schedule and notice files.

#include <string>
#include <string_view>
#include <vector>

namespace pelm {

/// Splits text at CR LF, lone CR or lone LF. A break at the very end adds
/// no empty line, empty text has no lines, a NUL byte ends the text, and
/// empty lines in the middle count.
std::vector<std::string> splitLines(std::string_view text);

/// Reads the existing file at a board path whole and splits it into lines.
/// Throws pelm::Error naming the file when it cannot be opened or read.
std::vector<std::string> readLines(const std::string& boardPath);

/// Reads the existing file at a board path whole, bytes unchanged.
std::string readWholeFile(const std::string& boardPath);

}  // namespace pelm
