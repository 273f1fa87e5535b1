#pragma once
// The schedule and notice files of the data folder, and how one schedule
// line becomes a race.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/cp932.h"
#include "platform/share_calls.h"
#include "platform/text_file.h"

namespace pelm {

constexpr std::size_t kStartLength = 8;
constexpr std::size_t kEndLength = 8;
constexpr std::size_t kTitleLength = 40;

/// One race as cut from a schedule line (CP932 bytes).
struct RaceEntry {
    Cp932 start;
    Cp932 end;
    Cp932 title;
    bool operator==(const RaceEntry&) const = default;
};

/// The schedule's and the notice's file names in the data folder.
constexpr char kScheduleFileName[] = "RInfo.txt";
constexpr char kNoticeFileName[] = "RInfomem.txt";

/// Data folder + "\RInfo.txt" and + "\RInfomem.txt", concatenated as written.
Cp932 schedulePath(const Cp932& dataDir);
Cp932 noticePath(const Cp932& dataDir);

/// How much of the schedule or notice one refresh takes in. The board reads
/// both four times a second and rebuilds the whole race table whenever the
/// schedule's bytes change or a race ends, so the work must stay bounded
/// whatever a writer leaves behind: a race day has some hundreds of races,
/// and the refresh is measured up to 10 000; 4 MB holds 10 000 lines
/// of any sensible length (a line the board uses is at most 58 bytes) with
/// room for long extra fields.
constexpr TextLimits kScheduleLimits{std::size_t{4} << 20, 10'000};

/// The schedule's and the notice's bytes as a refresh takes them in (at
/// most one byte beyond kScheduleLimits, so a cut still shows). Nothing for
/// a file that cannot be read (missing, no regular file): for the
/// schedule, the board is then not connected.
struct DataFiles {
    std::optional<std::string> schedule;
    std::optional<std::string> notice;
    /// Why the files could not be read when the reason is the board's own,
    /// not the share's (no helper process: the limit it hit); nothing of
    /// the share is known then.
    std::optional<Cp932> failure;
};

/// The reads of the schedule and the notice, in that order: every refresh
/// reads both. The data folder is one others may write: a link planted at
/// either name is not followed, and the file reads as unreadable.
std::vector<ShareCall> dataFileCalls(const Cp932& dataDir);
/// The files those calls answered; nothing while either did not answer.
std::optional<DataFiles> dataFilesOf(std::vector<ShareAnswer> answers, const Cp932& dataDir);

/// The lines of schedule bytes within kScheduleLimits; `cut` when there was
/// more. The notice is cut the same way, silently: the notice area shows
/// only its first lines anyway.
LimitedLines scheduleLines(std::string_view bytes);

/// The error a refresh reports when the schedule was cut, in CP932.
Cp932 scheduleCutMessage(const Cp932& dataDir);

/// The error a refresh reports when the schedule's bytes hold a NUL, which
/// ends its text (a file saved as UTF-16 reads as almost nothing): where it
/// stands and how many bytes after it go unread. Nothing without a NUL.
std::optional<Cp932> scheduleNulMessage(const Cp932& dataDir, std::string_view bytes);

/// Appends the comma-separated fields of `line` to `fields`: no quoting, no
/// trimming; "a,,b" gives a, "", b and an empty line one empty field.
void CsvToStringList(std::string_view line, std::vector<std::string>& fields);

/// The race of a schedule line: start and end cut to 8 bytes, title to 40,
/// fields from the fourth on ignored; nothing for a line of fewer than three
/// fields. `fields` is the caller's scratch list, cleared here.
std::optional<RaceEntry> cutRaceEntry(std::string_view line, std::vector<std::string>& fields);

/// The notice lines joined with CR LF after each line.
Cp932 noticeText(const std::vector<std::string>& lines);

}  // namespace pelm
