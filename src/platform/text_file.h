#pragma once
// Text files read into lines, byte for byte, as the board reads its schedule
// and notice files; every read goes through the worker of the file's folder
// (share_worker.h), so none can block the board, nor wait for a share
// another file is on.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/cp932.h"
#include "platform/file_reader.h"

namespace pelm {

/// Splits text at CR LF, lone CR or lone LF. A break at the very end adds
/// no empty line, empty text has no lines, a NUL byte ends the text, and
/// empty lines in the middle count.
std::vector<std::string> splitLines(std::string_view text);

/// How many lines splitLines finds in `text`, reading NUL bytes as any other.
std::size_t countLines(std::string_view text);

/// Where the line after the break at `breakAt` (a CR or LF of `text`)
/// begins: CR LF is one break.
std::size_t afterBreak(std::string_view text, std::size_t breakAt);

/// How much of a text file a reader takes in.
struct TextLimits {
    std::size_t maxBytes;
    std::size_t maxLines;
};

/// Lines cut to limits, and whether anything was cut away.
struct LimitedLines {
    std::vector<std::string> lines;
    bool cut = false;
};

/// The lines of `text` (as splitLines) within limits: a text longer than
/// maxBytes keeps only its lines that end within them (a line whose break is
/// the first byte beyond still counts), and only the first maxLines lines
/// are kept. Text after a NUL is not part of the text, so it is never cut.
LimitedLines splitLinesWithin(std::string_view text, const TextLimits& limits);

/// At most `maxBytes` bytes from the start of the file at a board path.
/// Throws pelm::Error naming the file when it is missing, no regular file,
/// cannot be read, or the read stalls.
std::string readFileStart(const Cp932& boardPath, std::size_t maxBytes);

/// The file at a native path whole, through its folder's worker: a file larger
/// than `maxBytes` counts as Unreadable, so no caller works on part of it.
FileBytes readCompleteFile(const std::string& nativePath, std::size_t maxBytes);

}  // namespace pelm
