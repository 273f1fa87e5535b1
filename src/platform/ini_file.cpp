#include "platform/ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <set>

#include "platform/atomic_file.h"
#include "platform/ini_line.h"

namespace pelm {
namespace {

struct FileContent {
    bool readable = false;
    std::string bytes;  // empty for a missing file
};

bool readAll(int fd, std::string& bytes) {
    char buffer[65536];
    for (;;) {
        ssize_t got = read(fd, buffer, sizeof buffer);
        if (got == 0) return true;
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        bytes.append(buffer, static_cast<size_t>(got));
    }
}

// O_NONBLOCK keeps a FIFO put in the file's place from hanging the reader.
FileContent readFile(const std::string& nativePath) {
    FileContent content;
    int fd = open(nativePath.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        content.readable = errno == ENOENT || errno == ENOTDIR;
        return content;
    }
    struct stat status;
    content.readable =
        fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && readAll(fd, content.bytes);
    close(fd);
    return content;
}

bool isBlankLine(std::string_view line) {
    return line.find_first_not_of(" \t\v\f") == std::string_view::npos;
}

}  // namespace

IniFile IniFile::load(const std::string& nativePath) {
    return loadForUpdate(nativePath).value_or(IniFile{});
}

std::optional<IniFile> IniFile::loadForUpdate(const std::string& nativePath) {
    FileContent content = readFile(nativePath);
    if (!content.readable) return std::nullopt;
    return parse(content.bytes);
}

IniFile IniFile::parse(std::string_view content) {
    IniFile file;
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = content.size();
        size_t breakLength = content.substr(end, 2) == "\r\n" ? 2 : end < content.size() ? 1 : 0;
        file.lines_.push_back({std::string(content.substr(start, end - start)),
                               std::string(content.substr(end, breakLength))});
        start = end + breakLength;
    }
    for (const Line& line : file.lines_) {
        if (line.lineBreak.empty()) continue;
        file.lineBreak_ = line.lineBreak;
        break;
    }
    return file;
}

std::optional<size_t> IniFile::findSection(std::string_view section) const {
    for (size_t i = 0; i < lines_.size(); ++i) {
        auto name = ini::sectionName(lines_[i].text);
        if (name && ini::sameName(*name, section)) return i;
    }
    return std::nullopt;
}

size_t IniFile::sectionEnd(size_t header) const {
    size_t end = header + 1;
    while (end < lines_.size() && !ini::sectionName(lines_[end].text)) ++end;
    return end;
}

std::optional<size_t> IniFile::findKey(size_t header, std::string_view key) const {
    for (size_t i = header + 1, end = sectionEnd(header); i < end; ++i) {
        auto line = ini::keyLine(lines_[i].text);
        if (line && ini::sameName(line->key, key)) return i;
    }
    return std::nullopt;
}

std::optional<std::string> IniFile::value(std::string_view section, std::string_view key) const {
    auto header = findSection(section);
    if (!header) return std::nullopt;
    auto at = findKey(*header, key);
    if (!at) return std::nullopt;
    return ini::readValue(ini::keyLine(lines_[*at].text)->rawValue);
}

std::string IniFile::value(std::string_view section, std::string_view key,
                           std::string_view fallback) const {
    return value(section, key).value_or(std::string(fallback));
}

std::vector<std::pair<std::string, std::string>> IniFile::entries(std::string_view section) const {
    std::vector<std::pair<std::string, std::string>> found;
    auto header = findSection(section);
    if (!header) return found;
    std::set<std::string> seen;
    for (size_t i = *header + 1, end = sectionEnd(*header); i < end; ++i) {
        auto line = ini::keyLine(lines_[i].text);
        if (!line || !seen.insert(ini::foldedName(line->key)).second) continue;
        found.emplace_back(std::string(line->key), ini::readValue(line->rawValue));
    }
    return found;
}

std::vector<std::string> IniFile::sections() const {
    std::vector<std::string> names;
    std::set<std::string> seen;
    for (const Line& line : lines_) {
        auto name = ini::sectionName(line.text);
        if (name && seen.insert(ini::foldedName(*name)).second) names.emplace_back(*name);
    }
    return names;
}

void IniFile::setValue(std::string_view section, std::string_view key, std::string_view value) {
    std::string keyText = std::string(key) + "=" + ini::writtenValue(value);
    auto header = findSection(section);
    if (!header) return appendSection(section, std::move(keyText));
    auto at = findKey(*header, key);
    if (!at) return insertLine(keyInsertionPoint(*header), std::move(keyText));
    std::string& text = lines_[*at].text;
    text = text.substr(0, ini::keyLine(text)->valueStart) + ini::writtenValue(value);
}

// After the section's last key line, so blank lines and comments that lead
// into the next section stay with it; right after the header when it has no
// keys.
size_t IniFile::keyInsertionPoint(size_t header) const {
    size_t at = header + 1;
    for (size_t i = header + 1, end = sectionEnd(header); i < end; ++i) {
        if (ini::keyLine(lines_[i].text)) at = i + 1;
    }
    return at;
}

void IniFile::insertLine(size_t at, std::string text) {
    if (at == lines_.size() && !lines_.empty() && lines_.back().lineBreak.empty()) {
        lines_.back().lineBreak = lineBreak_;
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at),
                  Line{std::move(text), lineBreak_});
}

void IniFile::appendSection(std::string_view section, std::string keyLine) {
    if (!lines_.empty() && !isBlankLine(lines_.back().text)) insertLine(lines_.size(), "");
    insertLine(lines_.size(), "[" + std::string(section) + "]");
    insertLine(lines_.size(), std::move(keyLine));
}

std::string IniFile::text() const {
    std::string whole;
    for (const Line& line : lines_) whole += line.text + line.lineBreak;
    return whole;
}

bool IniFile::saveAtomically(const std::string& nativePath) const {
    return replaceFileAtomically(nativePath, text());
}

}  // namespace pelm
