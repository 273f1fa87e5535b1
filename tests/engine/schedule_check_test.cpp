#include "engine/schedule_check.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine/schedule.h"
#include "platform/codepage.h"
#include "support/cp932_bytes.h"

using pelm::testing::cp932Bytes;

namespace pelm {
namespace {

using ::testing::ElementsAre;
using ::testing::Field;
using ::testing::HasSubstr;
using Severity = Finding::Severity;

std::vector<Finding> check(std::vector<std::string> lines) {
    return checkSchedule(lines, LocaleTime::fromLocale(QLocale("ja_JP")));
}

auto finding(std::size_t line, Severity severity, const char* words) {
    return ::testing::AllOf(Field(&Finding::line, line), Field(&Finding::severity, severity),
                            Field(&Finding::message, HasSubstr(words)));
}

TEST(CheckSchedule, AGoodDayHasNothingToSay) {
    EXPECT_TRUE(check({"10:00:00,10:30:00,A", "10:30:00,11:00:00,B,extra"}).empty());
    EXPECT_TRUE(check({}).empty());
}

TEST(CheckSchedule, ReportsLinesTheBoardSkips) {
    EXPECT_THAT(check({"", "10:00:00,10:30:00"}),
                ElementsAre(finding(1, Severity::Warning, "empty line"),
                            finding(2, Severity::Warning, "fewer than three fields")));
}

TEST(CheckSchedule, ReportsTimesTheBoardRejectsAndEndsNotAfterStarts) {
    EXPECT_THAT(
        check({"xx,10:30:00,A", "10:30:00,,B", "11:00:00,11:00:00,C", "12:00:00,11:30:00,D"}),
        ElementsAre(finding(1, Severity::Error, "start 'xx' is no time"),
                    finding(2, Severity::Error, "end '' is no time"),
                    finding(3, Severity::Error, "not after its start"),
                    finding(4, Severity::Error, "not after its start")));
}

TEST(CheckSchedule, ReportsCutsAndSplitCharacters) {
    const std::string title41 = "a" + cp932Bytes("表表表表表表表表表表表表表表表表表表表表");
    EXPECT_THAT(check({"10:00:00.000,10:30:00,A", "10:30:00,11:00:00," + title41}),
                ElementsAre(finding(1, Severity::Warning, "start is 12 bytes"),
                            finding(2, Severity::Warning, "splitting a double-byte character")));
    // A start cut to a valid time is no error.
    EXPECT_THAT(check({"10:00:00.000,10:30:00,A"}),
                ElementsAre(Field(&Finding::severity, Severity::Warning)));
}

TEST(CheckSchedule, ReportsUndecodableBytes) {
    EXPECT_THAT(check({"10:00:00,10:30:00,bad\xFF"}),
                ElementsAre(finding(1, Severity::Warning, "no Shift-JIS")));
}

TEST(CheckSchedule, ReportsOrderOverlapsAndDuplicates) {
    EXPECT_THAT(check({"10:30:00,11:00:00,B", "10:00:00,10:30:00,A"}),
                ElementsAre(finding(2, Severity::Warning, "starts before the race of line 1")));
    EXPECT_THAT(check({"10:00:00,10:40:00,A", "10:30:00,11:00:00,B"}),
                ElementsAre(finding(2, Severity::Warning, "overlaps the race of line 1")));
    EXPECT_THAT(check({"10:00:00,10:30:00,A", "10:00:00,10:30:00,A"}),
                ElementsAre(finding(2, Severity::Warning, "the same race as line 1")));
}

TEST(CheckNulByte, NamesItsOffsetAndCountsTheLinesItHides) {
    using namespace std::string_view_literals;
    const struct {
        std::string_view bytes;
        std::size_t line;
        const char* words;
    } cases[] = {
        {"a\r\nb\0c\r\nd\r\ne"sv, 2,
         "NUL byte at offset 4: the board reads no further; 2 more lines after it are ignored"},
        {"a\n\0b\nc\n"sv, 2,
         "offset 2: the board reads no further; 1 more line after it is ignored"},
        {"\0"sv, 1, "offset 0: the board reads no further; 0 more lines"},
        {"a\r\0\r\n\r\n"sv, 2, "offset 2: the board reads no further; 1 more line after"},
        {"a\0b\0c\nd"sv, 1, "offset 1: the board reads no further; 1 more line after"},
    };
    for (const auto& test : cases) {
        const std::optional<Finding> nul = checkNulByte(test.bytes);
        ASSERT_TRUE(nul.has_value());
        EXPECT_THAT(*nul, finding(test.line, Severity::Warning, test.words));
    }
    EXPECT_FALSE(checkNulByte("a\r\nb\r\n").has_value());
}

TEST(CheckScheduleBytes, AddsTheNulAndTheCutToTheLineFindings) {
    const LocaleTime japanese = LocaleTime::fromLocale(QLocale("ja_JP"));
    const std::string nul("10:00:00,10:30:00,A\r\nxx,\0,B\r\n10:30:00,11:00:00,C\r\n", 50);
    const ScheduleCheck withNul = checkScheduleBytes(nul, japanese);
    EXPECT_EQ(withNul.lines, 2u);
    EXPECT_THAT(withNul.findings,
                ElementsAre(finding(2, Severity::Warning, "fewer than three fields"),
                            finding(2, Severity::Warning, "NUL byte at offset 24")));

    std::string longDay;
    for (std::size_t i = 0; i <= kScheduleLimits.maxLines; ++i) longDay += "10:00:00,10:30:00,A\n";
    const ScheduleCheck cut = checkScheduleBytes(longDay, japanese);
    EXPECT_EQ(cut.lines, kScheduleLimits.maxLines);
    ASSERT_FALSE(cut.findings.empty());
    EXPECT_THAT(cut.findings.back(), finding(kScheduleLimits.maxLines + 1, Severity::Warning,
                                             "this line and all after it are ignored"));
}

}  // namespace
}  // namespace pelm
