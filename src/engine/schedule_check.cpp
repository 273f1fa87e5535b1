#include "engine/schedule_check.h"

#include <algorithm>
#include <map>
#include <optional>

#include "engine/schedule.h"
#include "platform/codepage.h"
#include "platform/text_file.h"

namespace pelm {
namespace {

// A race the board would show, with its parsed times.
struct CheckedRace {
    std::size_t line;
    TimeOfDay start;
    TimeOfDay end;
};

class ScheduleChecker {
public:
    explicit ScheduleChecker(const LocaleTime& locale) : locale_(locale) {}

    void checkLine(std::size_t line, const std::string& text) {
        line_ = line;
        if (!isValidCp932(text)) warn("bytes that are no Shift-JIS text show as \uFFFD");
        std::vector<std::string> fields;
        std::optional<RaceEntry> race = cutRaceEntry(text, fields);
        if (!race) {
            warn(text.empty() ? "empty line, skipped" : "fewer than three fields, line skipped");
            return;
        }
        checkCut("start", fields[0], kStartLength);
        checkCut("end", fields[1], kEndLength);
        checkCut("title", fields[2], kTitleLength);
        bool duplicate = isDuplicate(*race);
        std::optional<CheckedRace> times = checkTimes(*race);
        if (times && !duplicate) races_.push_back(*times);
    }

    std::vector<Finding> findings() {
        checkOrderAndOverlaps();
        std::stable_sort(findings_.begin(), findings_.end(),
                         [](const Finding& a, const Finding& b) { return a.line < b.line; });
        return std::move(findings_);
    }

private:
    void warn(std::string message) {
        findings_.push_back({line_, Finding::Severity::Warning, std::move(message)});
    }
    void fail(std::string message) {
        findings_.push_back({line_, Finding::Severity::Error, std::move(message)});
    }

    void checkCut(const char* field, const std::string& text, std::size_t limit) {
        if (text.size() <= limit) return;
        std::string message = std::string(field) + " is " + std::to_string(text.size()) +
                              " bytes; the board keeps the first " + std::to_string(limit);
        if (cutSplitsCharacter(text, limit)) message += ", splitting a double-byte character";
        warn(message);
    }

    std::optional<TimeOfDay> time(const char* field, const Cp932& text) {
        std::optional<TimeOfDay> parsed = parseTimeOfDay(text.view(), locale_);
        if (!parsed) fail(std::string(field) + " '" + cp932ToUtf8(text) + "' is no time of day");
        return parsed;
    }

    std::optional<CheckedRace> checkTimes(const RaceEntry& race) {
        std::optional<TimeOfDay> start = time("start", race.start);
        std::optional<TimeOfDay> end = time("end", race.end);
        if (!start || !end) return std::nullopt;
        if (*end <= *start) {
            fail("ends at " + cp932ToUtf8(race.end) + ", not after its start " +
                 cp932ToUtf8(race.start));
            return std::nullopt;
        }
        return CheckedRace{line_, *start, *end};
    }

    bool isDuplicate(const RaceEntry& race) {
        std::string key = race.start.bytes() + ',' + race.end.bytes() + ',' + race.title.bytes();
        auto [seen, added] = firstLines_.try_emplace(std::move(key), line_);
        if (!added) warn("the same race as line " + std::to_string(seen->second));
        return !added;
    }

    void checkOrderAndOverlaps() {
        for (std::size_t i = 1; i < races_.size(); ++i) {
            line_ = races_[i].line;
            if (races_[i].start < races_[i - 1].start)
                warn("starts before the race of line " + std::to_string(races_[i - 1].line) +
                     "; the board sorts by start, but only the first line decides the waiting row");
        }
        std::vector<CheckedRace> byStart = races_;
        std::stable_sort(
            byStart.begin(), byStart.end(),
            [](const CheckedRace& a, const CheckedRace& b) { return a.start < b.start; });
        for (std::size_t i = 1; i < byStart.size(); ++i) {
            line_ = byStart[i].line;
            if (byStart[i].start < byStart[i - 1].end)
                warn("overlaps the race of line " + std::to_string(byStart[i - 1].line));
        }
    }

    const LocaleTime& locale_;
    std::size_t line_ = 0;
    std::vector<Finding> findings_;
    std::vector<CheckedRace> races_;
    std::map<std::string, std::size_t> firstLines_;
};

// The lines after the one holding the byte at `offset`.
std::size_t linesAfter(std::string_view text, std::size_t offset) {
    const std::size_t end = text.find_first_of("\r\n", offset);
    if (end == std::string_view::npos) return 0;
    return countLines(text.substr(afterBreak(text, end)));
}

std::string hiddenLines(std::size_t count) {
    return std::to_string(count) +
           (count == 1 ? " more line after it is" : " more lines after it are") + " ignored";
}

Finding cutFinding(std::size_t firstDropped) {
    return {firstDropped, Finding::Severity::Warning,
            "the schedule is larger than the board reads (" +
                std::to_string(kScheduleLimits.maxLines) + " lines or " +
                std::to_string(kScheduleLimits.maxBytes >> 20) +
                " MB); this line and all after it are ignored"};
}

}  // namespace

std::optional<Finding> checkNulByte(std::string_view bytes) {
    const std::size_t nul = bytes.find('\0');
    if (nul == std::string_view::npos) return std::nullopt;
    const std::size_t line = countLines(bytes.substr(0, nul)) +
                             (nul == 0 || bytes.find_last_of("\r\n", nul - 1) == nul - 1 ? 1 : 0);
    return Finding{line, Finding::Severity::Warning,
                   "NUL byte at offset " + std::to_string(nul) + ": the board reads no further; " +
                       hiddenLines(linesAfter(bytes, nul))};
}

ScheduleCheck checkScheduleBytes(std::string_view bytes, const LocaleTime& locale) {
    const LimitedLines schedule = splitLinesWithin(bytes, kScheduleLimits);
    ScheduleCheck check{schedule.lines.size(), checkSchedule(schedule.lines, locale)};
    if (std::optional<Finding> nul = checkNulByte(bytes)) check.findings.push_back(*nul);
    if (schedule.cut) check.findings.push_back(cutFinding(schedule.lines.size() + 1));
    std::stable_sort(check.findings.begin(), check.findings.end(),
                     [](const Finding& a, const Finding& b) { return a.line < b.line; });
    return check;
}

std::vector<Finding> checkSchedule(const std::vector<std::string>& lines,
                                   const LocaleTime& locale) {
    ScheduleChecker checker(locale);
    for (std::size_t index = 0; index < lines.size(); ++index)
        checker.checkLine(index + 1, lines[index]);
    return checker.findings();
}

}  // namespace pelm
