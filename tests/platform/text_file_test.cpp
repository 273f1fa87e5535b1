#include "platform/text_file.h"

#include <gtest/gtest.h>

#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/paths.h"
#include "support/cp932_bytes.h"
#include "support/data_files.h"
#include "support/error_message.h"
#include "support/temp_folder.h"

using pelm::testing::cp932Bytes;

namespace pelm {
namespace {

using Lines = std::vector<std::string>;
using testing::fixturePath;
using testing::readLines;

TEST(SplitLines, BreaksAtCrLfLoneCrAndLoneLf) {
    EXPECT_EQ(splitLines("a\r\nb\nc\rd"), (Lines{"a", "b", "c", "d"}));
    EXPECT_EQ(splitLines("a\n\rb"), (Lines{"a", "", "b"}));  // LF CR is two breaks
    EXPECT_EQ(splitLines("a\r\n\r\nb"), (Lines{"a", "", "b"}));
}

TEST(SplitLines, BreakAtTheEndAddsNoLineAndEmptyTextHasNone) {
    EXPECT_EQ(splitLines("a\r\n"), (Lines{"a"}));
    EXPECT_EQ(splitLines("a\r"), (Lines{"a"}));
    EXPECT_EQ(splitLines(""), Lines{});
    EXPECT_EQ(splitLines("\r\n"), (Lines{""}));
    EXPECT_EQ(splitLines("\n\n"), (Lines{"", ""}));
}

TEST(SplitLines, NulEndsTheText) {
    EXPECT_EQ(splitLines(std::string_view("a\r\nb\0c\r\nd", 10)), (Lines{"a", "b"}));
    EXPECT_EQ(splitLines(std::string_view("\0a", 2)), Lines{});
}

TEST(SplitLinesWithin, CutsAtALineBoundaryAndSaysSo) {
    struct Case {
        const char* name;
        std::string_view text;
        TextLimits limits;
        Lines lines;
        bool cut;
    };
    const Case cases[] = {
        {"within both limits", "aa\nbb\n", {6, 2}, {"aa", "bb"}, false},
        {"last line without a break, exactly at the limit", "aa\nbb", {5, 9}, {"aa", "bb"}, false},
        {"limit inside a line drops it", "aa\nbbbb\ncc", {5, 9}, {"aa"}, true},
        {"break just beyond the limit keeps the line", "aa\nbb\ncc", {5, 9}, {"aa", "bb"}, true},
        {"CR LF split by the limit", "aa\r\nbb", {3, 9}, {"aa"}, true},
        {"one line longer than the limit", "aaaaaaaa\nb", {4, 9}, {}, true},
        {"too many lines", "a\nb\nc\n", {100, 2}, {"a", "b"}, true},
        {"exactly as many lines as allowed", "a\nb\n", {100, 2}, {"a", "b"}, false},
        {"a NUL before the limit ends the text uncut",
         std::string_view("a\n\0bbbbbbbbbbbb", 15),
         {4, 9},
         {"a"},
         false},
        {"empty text", "", {0, 0}, {}, false},
    };
    for (const Case& test : cases) {
        const LimitedLines limited = splitLinesWithin(test.text, test.limits);
        EXPECT_EQ(limited.lines, test.lines) << test.name;
        EXPECT_EQ(limited.cut, test.cut) << test.name;
    }
}

TEST(ReadLinesWithin, ReadsOnlyTheStartOfALargeFile) {
    testing::TempFolder folder;
    std::string text;
    for (int i = 0; i < 1000; ++i) text += "10:00:00,10:30:00,race " + std::to_string(i) + "\r\n";
    folder.write("RInfo.txt", text);
    const Cp932 schedule = utf8ToCp932(folder / "RInfo.txt");
    const LimitedLines limited = readLines(schedule, {100, 10'000});
    EXPECT_TRUE(limited.cut);
    EXPECT_EQ(limited.lines, (Lines{"10:00:00,10:30:00,race 0", "10:00:00,10:30:00,race 1",
                                    "10:00:00,10:30:00,race 2"}));
    EXPECT_FALSE(readLines(schedule, {text.size(), 1000}).cut);
    EXPECT_TRUE(readLines(schedule, {text.size(), 999}).cut);
}

// Room for every fixture, so none is cut.
constexpr TextLimits kRoomy{1 << 20, 1000};

Lines fixtureLines(std::string_view name) {
    const LimitedLines read = readLines(utf8ToCp932(fixturePath(name)), kRoomy);
    EXPECT_FALSE(read.cut) << name;
    return read.lines;
}

TEST(ReadLinesWithin, ReadsTheFixturesByteForByte) {
    EXPECT_EQ(fixtureLines("empty.txt"), Lines{});
    EXPECT_EQ(fixtureLines("one_break.txt"), (Lines{""}));
    EXPECT_EQ(fixtureLines("cr_only.txt"), (Lines{"one", "two", "", "four"}));
    EXPECT_EQ(fixtureLines("mixed_breaks.txt"), (Lines{"crlf", "lf", "cr", "", "last"}));
    EXPECT_EQ(fixtureLines("nul_in_middle.txt"),
              (Lines{"10:00:00,10:30:00,A", "10:30:00,11:00:00,B"}));
    Lines schedule = fixtureLines("schedule_ja.txt");
    ASSERT_EQ(schedule.size(), 3u);
    EXPECT_EQ(schedule[0], cp932Bytes("10:00:00,10:30:00,第１レース　新馬戦"));
}

TEST(ReadLinesWithin, ABoardPathWithBackslashesOpens) {
    testing::TempFolder folder;
    folder.write("RInfo.txt", "x\r\n");
    const Cp932 dataDir = utf8ToCp932(folder.path().string());
    EXPECT_EQ(readLines(dataDir + cp932Ascii("\\RInfo.txt"), kRoomy).lines, (Lines{"x"}));
    // A data folder written with a trailing backslash doubles it; harmless here.
    EXPECT_EQ(readLines(dataDir + cp932Ascii("\\\\RInfo.txt"), kRoomy).lines, (Lines{"x"}));
}

TEST(ReadLinesWithin, AFileThatCannotBeOpenedRaisesAnErrorNamingIt) {
    testing::TempFolder folder;
    const Cp932 missing = utf8ToCp932(folder / "RInfo.txt");
    const std::string message = testing::errorMessage([&] { readLines(missing, kRoomy); });
    EXPECT_NE(message.find(missing.view()), std::string::npos)
        << "no error naming it, but: " << message;
    // A folder is no file.
    EXPECT_THROW(readLines(utf8ToCp932(folder.path().string()), kRoomy), Error);
}

TEST(NativePath, TurnsBackslashCharactersIntoSlashesOnly) {
    EXPECT_EQ(nativePath(cp932Ascii("/srv/pelm\\RInfo.txt")), "/srv/pelm/RInfo.txt");
    // "表" ends in the byte 0x5C; it is a character, not a separator.
    EXPECT_EQ(nativePath(utf8ToCp932("/srv/表\\RInfo.txt")), "/srv/表/RInfo.txt");
    EXPECT_EQ(nativePath(utf8ToCp932("/データ\\x")), "/データ/x");
}

}  // namespace
}  // namespace pelm
