#include "platform/ini_file.h"

#include <set>

#include "platform/atomic_file.h"
#include "platform/ini_line.h"
#include "platform/text_file.h"

namespace pelm {
namespace {

// A settings or engine configuration file this large is no such file; it is
// refused whole rather than read, or rewritten, in part.
constexpr std::size_t kIniFileLimit = std::size_t{4} << 20;

bool isBlankLine(std::string_view line) {
    return line.find_first_not_of(" \t\v\f") == std::string_view::npos;
}

}  // namespace

IniFile IniFile::load(const std::string& nativePath) {
    return loadForUpdate(nativePath).value_or(IniFile{});
}

std::optional<IniFile> IniFile::loadForUpdate(const std::string& nativePath) {
    // Through its folder's worker, so a FIFO or a stalled share in the
    // file's place reads as unreadable instead of hanging the board or a
    // tool, and a stalled data folder never holds up the settings.
    const FileBytes file = readCompleteFile(nativePath, kIniFileLimit);
    if (file.status == FileBytes::Status::Missing) return IniFile{};
    if (!file.read()) return std::nullopt;
    return parse(file.bytes);
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

std::optional<Cp932> IniFile::value(std::string_view section, std::string_view key) const {
    auto header = findSection(section);
    if (!header) return std::nullopt;
    auto at = findKey(*header, key);
    if (!at) return std::nullopt;
    return ini::readValue(ini::keyLine(lines_[*at].text)->rawValue);
}

std::vector<std::pair<std::string, Cp932>> IniFile::entries(std::string_view section) const {
    std::vector<std::pair<std::string, Cp932>> found;
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

void IniFile::setValue(std::string_view section, std::string_view key, const Cp932& value) {
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
    return replaceOwnFileAtomically(nativePath, text());
}

}  // namespace pelm
