#pragma once
// The schedule and notice files of the data folder, and how one schedule
// line becomes a race.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelm {

constexpr std::size_t kStartLength = 8;
constexpr std::size_t kEndLength = 8;
constexpr std::size_t kTitleLength = 40;

/// One race as cut from a schedule line (CP932 bytes).
struct RaceEntry {
    std::string start;
    std::string end;
    std::string title;
    bool operator==(const RaceEntry&) const = default;
};

/// Data folder + "\RInfo.txt" and + "\RInfomem.txt", concatenated as written.
std::string schedulePath(std::string_view dataDir);
std::string noticePath(std::string_view dataDir);

/// Appends the comma-separated fields of `line` to `fields`: no quoting, no
/// trimming; "a,,b" gives a, "", b and an empty line one empty field.
void CsvToStringList(std::string_view line, std::vector<std::string>& fields);

/// The race of a schedule line: start and end cut to 8 bytes, title to 40,
/// fields from the fourth on ignored; nothing for a line of fewer than three
/// fields. `fields` is the caller's scratch list, cleared here.
std::optional<RaceEntry> cutRaceEntry(std::string_view line, std::vector<std::string>& fields);

/// The notice lines joined with CR LF after each line.
std::string noticeText(const std::vector<std::string>& lines);

}  // namespace pelm
