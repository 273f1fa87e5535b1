#include "platform/text_file.h"

#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/paths.h"
#include "platform/share_worker.h"

namespace pelm {
namespace {

[[noreturn]] void cannotOpen(const Cp932& boardPath) {
    throw Error(utf8ToCp932("ファイル ") + boardPath + utf8ToCp932(" を開けません"));
}

// How many bytes of `text` hold only whole lines when at most `maxBytes` may
// be kept: up to the last break within them, or all of them when the byte
// just beyond is a break.
std::size_t wholeLinesWithin(std::string_view text, std::size_t maxBytes) {
    const std::size_t lastBreak = text.find_last_of("\r\n", maxBytes);
    if (lastBreak == std::string_view::npos) return 0;
    return lastBreak == maxBytes ? maxBytes : lastBreak + 1;
}

}  // namespace

std::vector<std::string> splitLines(std::string_view text) {
    text = text.substr(0, text.find('\0'));
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = text.find_first_of("\r\n", start);
        lines.emplace_back(text.substr(start, end - start));
        if (end == std::string_view::npos) break;
        start = afterBreak(text, end);
    }
    return lines;
}

std::size_t countLines(std::string_view text) {
    std::size_t lines = 0;
    for (std::size_t start = 0; start < text.size(); ++lines) {
        const std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) return lines + 1;
        start = afterBreak(text, end);
    }
    return lines;
}

std::size_t afterBreak(std::string_view text, std::size_t breakAt) {
    return breakAt + (text.substr(breakAt, 2) == "\r\n" ? 2 : 1);
}

LimitedLines splitLinesWithin(std::string_view text, const TextLimits& limits) {
    text = text.substr(0, text.find('\0'));
    LimitedLines limited;
    if (text.size() > limits.maxBytes) {
        limited.cut = true;
        text = text.substr(0, wholeLinesWithin(text, limits.maxBytes));
    }
    limited.lines = splitLines(text);
    if (limited.lines.size() > limits.maxLines) {
        limited.cut = true;
        limited.lines.resize(limits.maxLines);
    }
    return limited;
}

std::string readFileStart(const Cp932& boardPath, std::size_t maxBytes) {
    const std::string path = nativePath(boardPath);
    FileBytes file = ShareWorker::forFile(path).read({path, maxBytes});
    if (!file.read()) cannotOpen(boardPath);
    return std::move(file.bytes);
}

FileBytes readCompleteFile(const std::string& nativePath, std::size_t maxBytes) {
    FileBytes file = ShareWorker::forFile(nativePath).read({nativePath, maxBytes + 1});
    if (file.read() && file.bytes.size() > maxBytes) return FileBytes{};
    return file;
}

}  // namespace pelm
