#pragma once
// INI profile files with the semantics of the Windows private-profile
// services: "[section]" headers and "key=value" lines; section and key names
// match without regard to case; blanks around names and values are not part
// of them; values are CP932 texts, at most 2047 bytes when read. Names stay
// plain bytes: every name the board and its tools ask for is ASCII.
// Writing keeps every other line of the file as it was.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/cp932.h"

namespace pelm {

class IniFile {
public:
    /// The file at a native path; a missing or unreadable file is empty.
    static IniFile load(const std::string& nativePath);

    /// As load, but nothing when the file exists and cannot be read, so that
    /// a writer never replaces a file whose contents it could not see.
    static std::optional<IniFile> loadForUpdate(const std::string& nativePath);

    /// The value of a key, or nothing when the section or key is missing.
    /// Only the first section of a name and its first key of a name count.
    std::optional<Cp932> value(std::string_view section, std::string_view key) const;

    /// The key=value pairs of a section, in file order (first of duplicates).
    std::vector<std::pair<std::string, Cp932>> entries(std::string_view section) const;
    std::vector<std::string> sections() const;

    /// Replaces the value in place, or appends the key to its section, or
    /// appends the section. A value is cut at its first line break, which
    /// would otherwise start a line of its own, and is quoted where reading
    /// would drop blanks or quotes at its ends, so it reads back as given.
    void setValue(std::string_view section, std::string_view key, const Cp932& value);

    /// The whole file as text.
    std::string text() const;

    /// Writes the file beside the old one, flushes it and renames it over
    /// the old one, so a crash leaves either file whole. Returns false when
    /// any step fails; the old file is then untouched.
    bool saveAtomically(const std::string& nativePath) const;

private:
    struct Line {
        std::string text;       // without its line break
        std::string lineBreak;  // "\r\n", "\n", "\r", or "" for a last line without one
    };

    static IniFile parse(std::string_view content);
    std::optional<size_t> findSection(std::string_view section) const;
    size_t sectionEnd(size_t header) const;
    std::optional<size_t> findKey(size_t header, std::string_view key) const;
    size_t keyInsertionPoint(size_t header) const;
    void insertLine(size_t at, std::string text);
    void appendSection(std::string_view section, std::string keyLine);

    std::vector<Line> lines_;
    std::string lineBreak_ = "\r\n";  // for new lines: the file's first break, else Windows'
};

}  // namespace pelm
