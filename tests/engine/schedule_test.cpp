#include "engine/schedule.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/text_file.h"
#include "support/cp932_bytes.h"
#include "support/data_files.h"
#include "support/temp_folder.h"

using pelm::testing::cp932Bytes;

namespace pelm {
namespace {

using testing::readDataFiles;
using testing::readLines;

using Fields = std::vector<std::string>;
using Lines = std::vector<std::string>;

// A fixture's lines as the board reads a schedule.
Lines fixtureLines(std::string_view name) {
    return readLines(utf8ToCp932(testing::fixturePath(name)), kScheduleLimits).lines;
}

Fields split(std::string_view line) {
    Fields fields;
    CsvToStringList(line, fields);
    return fields;
}

TEST(CsvToStringList, SplitsAtEveryCommaWithoutQuotingOrTrimming) {
    EXPECT_EQ(split("a,,b"), (Fields{"a", "", "b"}));
    EXPECT_EQ(split("a,b,"), (Fields{"a", "b", ""}));
    EXPECT_EQ(split("no comma"), (Fields{"no comma"}));
    EXPECT_EQ(split(""), (Fields{""}));
    EXPECT_EQ(split(" a , \"b,c\" "), (Fields{" a ", " \"b", "c\" "}));
}

TEST(CsvToStringList, AppendsToWhatTheListHolds) {
    Fields fields{"kept"};
    CsvToStringList("x,y", fields);
    EXPECT_EQ(fields, (Fields{"kept", "x", "y"}));
}

TEST(CutRaceEntry, KeepsTheFirstThreeFieldsCutToTheirLimits) {
    Fields scratch{"left over"};
    EXPECT_EQ(cutRaceEntry("10:00:00,10:05:00,Race 1,extra", scratch),
              (RaceEntry{cp932Ascii("10:00:00"), cp932Ascii("10:05:00"), cp932Ascii("Race 1")}));
    EXPECT_EQ(cutRaceEntry("10:00:00.000,10:05:00.000,T", scratch),
              (RaceEntry{cp932Ascii("10:00:00"), cp932Ascii("10:05:00"), cp932Ascii("T")}));
    EXPECT_EQ(cutRaceEntry(" 9:00, 9:30 , title ", scratch),
              (RaceEntry{cp932Ascii(" 9:00"), cp932Ascii(" 9:30 "), cp932Ascii(" title ")}));
    EXPECT_EQ(cutRaceEntry(",,", scratch), RaceEntry{});
}

TEST(CutRaceEntry, SkipsLinesOfFewerThanThreeFields) {
    Fields scratch;
    EXPECT_EQ(cutRaceEntry("10:00:00,10:05:00", scratch), std::nullopt);
    EXPECT_EQ(cutRaceEntry("", scratch), std::nullopt);
    EXPECT_EQ(cutRaceEntry("one", scratch), std::nullopt);
}

TEST(CutRaceEntry, CutsTitlesByBytesEvenInsideACharacter) {
    const Lines lines = fixtureLines("title_41_bytes.txt");
    ASSERT_EQ(lines.size(), 1u);
    Fields scratch;
    std::optional<RaceEntry> race = cutRaceEntry(lines[0], scratch);
    ASSERT_TRUE(race);
    EXPECT_EQ(race->title.size(), kTitleLength);
    EXPECT_EQ(race->title.bytes(), lines[0].substr(16, 40));
    EXPECT_EQ(static_cast<unsigned char>(race->title.bytes().back()),
              0x95);  // a lead byte left alone
    EXPECT_EQ(fromCp932(race->title),
              QString::fromUtf8("a") + QString::fromUtf8("表").repeated(19));
}

TEST(CutRaceEntry, KeepsJapaneseTitlesWhole) {
    const Lines lines = fixtureLines("schedule_ja.txt");
    Fields scratch;
    std::optional<RaceEntry> race = cutRaceEntry(lines[1], scratch);
    ASSERT_TRUE(race);
    EXPECT_EQ(race->title, utf8ToCp932("第２レース　未勝利戦"));
}

TEST(SchedulePaths, ConcatenateTheFolderAsWritten) {
    EXPECT_EQ(schedulePath(cp932Ascii("C:\\Pelm")), cp932Ascii("C:\\Pelm\\RInfo.txt"));
    EXPECT_EQ(noticePath(cp932Ascii("C:\\Pelm\\")), cp932Ascii("C:\\Pelm\\\\RInfomem.txt"));
}

TEST(NoticeText, EndsEveryLineWithCrLf) {
    EXPECT_EQ(noticeText({"a", "", "b"}).bytes(), "a\r\n\r\nb\r\n");
    EXPECT_EQ(noticeText({}).bytes(), "");
}

// What a refresh reads: the schedule's bytes as far as a cut can show, and
// the notice's; a file that is no regular file is nothing, not a wait.
TEST(ReadDataFiles, ReadsAsMuchAsShowsACutAndNoMore) {
    testing::TempFolder folder;
    const Cp932 dataDir = utf8ToCp932(folder.path().string());
    std::string day;
    for (std::size_t i = 0; i < kScheduleLimits.maxLines; ++i) day += "10:00:00,10:30:00,A\r\n";
    folder.write("RInfo.txt", day);
    folder.write("RInfomem.txt", "notice\r\n");
    const DataFiles files = readDataFiles(dataDir);
    ASSERT_TRUE(files.schedule && files.notice);
    EXPECT_FALSE(scheduleLines(*files.schedule).cut);
    EXPECT_EQ(*files.notice, "notice\r\n");
    folder.write("RInfo.txt", day + "10:30:00,11:00:00,B\r\n");
    const LimitedLines cut = scheduleLines(*readDataFiles(dataDir).schedule);
    EXPECT_TRUE(cut.cut);
    EXPECT_EQ(cut.lines.size(), kScheduleLimits.maxLines);
    // One line as long as the byte limit: nothing of it is used.
    folder.write("RInfo.txt", std::string(kScheduleLimits.maxBytes + 10, 'x'));
    const std::string outsized = *readDataFiles(dataDir).schedule;
    EXPECT_EQ(outsized.size(), kScheduleLimits.maxBytes + 1);
    EXPECT_TRUE(scheduleLines(outsized).cut);
    EXPECT_TRUE(scheduleLines(outsized).lines.empty());
    EXPECT_NE(scheduleCutMessage(dataDir).view().find(schedulePath(dataDir).view()),
              std::string::npos);
}

TEST(ReadDataFiles, AFileThatIsNoRegularFileIsNothing) {
    testing::TempFolder folder;
    const Cp932 dataDir = utf8ToCp932(folder.path().string());
    mkfifo((folder / "RInfo.txt").c_str(), 0644);
    std::filesystem::create_directory(folder.path() / "RInfomem.txt");
    const DataFiles files = readDataFiles(dataDir);
    EXPECT_FALSE(files.schedule);
    EXPECT_FALSE(files.notice);
    std::filesystem::remove(folder.path() / "RInfomem.txt");
    folder.write("RInfomem.txt", "still read");
    EXPECT_EQ(readDataFiles(dataDir).notice, "still read");
}

}  // namespace
}  // namespace pelm
