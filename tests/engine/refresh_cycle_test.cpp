#include "engine/refresh_cycle.h"

#include <gtest/gtest.h>

#include "engine/race_table.h"
#include "platform/codepage.h"
#include "platform/error.h"
#include "support/cp932_bytes.h"
#include "support/headless_board.h"

using pelm::testing::cp932Bytes;

namespace pelm {
namespace {

using testing::at;

// Two races: A from 10:00 to 10:30 and B from 10:30 to 11:00.
constexpr std::string_view kTwoRaces = "10:00:00,10:30:00,Race A\r\n10:30:00,11:00:00,Race B\r\n";

class RefreshCycleTest : public testing::HeadlessBoard {
protected:
    /// The titles of the upcoming rows the board was given ("" for NULL).
    std::vector<std::string> upcomingTitles() const {
        std::vector<std::string> titles;
        if (!board.upcoming) return titles;
        int column = board.upcoming->columnIndex("rmenu");
        for (size_t row = 0; row < board.upcoming->rows.size(); ++row)
            titles.push_back(board.upcoming->text(row, column).bytes());
        return titles;
    }

    /// How many rows the race table holds now.
    size_t tableRows() {
        Query all(*database, "check");
        openWholeTable(all);
        return all.result()->rows.size();
    }
};

TEST_F(RefreshCycleTest, ShowsTheRaceUpcomingAndThePreviousRace) {
    folder.writeSchedule(kTwoRaces);
    EXPECT_EQ(refresh().state, BoardState::Running);
    EXPECT_EQ(board.clockText.bytes(), "10:40:00");
    EXPECT_EQ(upcomingTitles(), (std::vector<std::string>{"Race B"}));
    EXPECT_EQ(board.previousRace.bytes(), "Race A");
    EXPECT_FALSE(board.curtainVisible);
}

TEST_F(RefreshCycleTest, BeforeTheFirstRaceShowsTheWaitingRowFirst) {
    folder.writeSchedule(kTwoRaces);
    board.previousRace = cp932Ascii("stale");
    clock.set(at(9, 59, 59));
    refresh().state;
    EXPECT_EQ(upcomingTitles(), (std::vector<std::string>{"", "Race A", "Race B"}));
    EXPECT_EQ(board.upcoming->text(0, board.upcoming->columnIndex("stime")).bytes(), "0:00:00");
    EXPECT_EQ(board.upcoming->text(0, board.upcoming->columnIndex("kara")).bytes(), "-");
    EXPECT_EQ(board.previousRace.bytes(), "");
}

TEST_F(RefreshCycleTest, AfterTheLastRaceTheGridEmptiesAndThePreviousRaceStays) {
    folder.writeSchedule(kTwoRaces);
    refresh().state;
    ASSERT_EQ(board.previousRace.bytes(), "Race A");
    clock.set(at(11, 30, 0));
    EXPECT_EQ(refresh().state, BoardState::Running);
    EXPECT_TRUE(upcomingTitles().empty());
    EXPECT_EQ(board.previousRace.bytes(), "Race A");
    EXPECT_EQ(board.clockText.bytes(), "11:30:00");
}

TEST_F(RefreshCycleTest, ARaceEndingNowIsNoLongerUpcoming) {
    folder.writeSchedule(kTwoRaces);
    clock.set(at(10, 30, 0));
    refresh().state;
    EXPECT_EQ(upcomingTitles(), (std::vector<std::string>{"Race B"}));
}

TEST_F(RefreshCycleTest, AnEmptyScheduleWaitsBehindTheCurtain) {
    folder.writeSchedule(kTwoRaces);
    refresh().state;
    auto shown = board.upcoming;
    folder.writeSchedule("");
    EXPECT_EQ(refresh().state, BoardState::Waiting);
    EXPECT_EQ(board.clockText.bytes(), cp932Bytes("待機中"));
    EXPECT_TRUE(board.curtainVisible);
    EXPECT_EQ(board.previousRace.bytes(), "");
    EXPECT_EQ(board.upcoming, shown);  // the grid is left as it was
    EXPECT_EQ(tableRows(), 2u);        // and so is the table
}

TEST_F(RefreshCycleTest, AScheduleOfOneBlankLineIsAnEmptyDayNotWaiting) {
    folder.writeSchedule("\r\n");
    EXPECT_EQ(refresh().state, BoardState::Running);
    EXPECT_FALSE(board.curtainVisible);
    EXPECT_TRUE(upcomingTitles().empty());
}

TEST_F(RefreshCycleTest, AMissingScheduleShowsNotConnectedAndRecoversWhenItReturns) {
    folder.writeSchedule(kTwoRaces);
    refresh().state;
    folder.removeSchedule();
    settings.setuzoku = cp932Ascii("offline");
    EXPECT_EQ(refresh().state, BoardState::NotConnected);
    EXPECT_EQ(board.clockText.bytes(), "offline");
    EXPECT_EQ(upcomingTitles(), (std::vector<std::string>{"Race B"}));  // nothing else changes
    EXPECT_EQ(board.previousRace.bytes(), "Race A");
    EXPECT_EQ(refresh().state, BoardState::NotConnected);

    folder.writeSchedule("10:30:00,11:00:00,Race B\r\n10:35:00,11:10:00,Race C\r\n");
    EXPECT_EQ(refresh().state, BoardState::Running);
    EXPECT_EQ(board.clockText.bytes(), "10:40:00");
    EXPECT_EQ(upcomingTitles(), (std::vector<std::string>{"Race B", "Race C"}));
}

// A line the table refuses is left out and named; everything else on the
// board moves on, refresh after refresh, for as long as the line is there.
struct LeftOutLine {
    const char* name;
    std::string schedule;
    TimeOfDay clock;
    std::string problemText;
    std::vector<std::string> titles;  // upcoming, "" for the waiting row
    std::string previous;
};

class LeftOutLines : public RefreshCycleTest, public ::testing::WithParamInterface<LeftOutLine> {};

TEST_P(LeftOutLines, TheRestOfTheBoardRunsOn) {
    const LeftOutLine& line = GetParam();
    folder.writeSchedule(line.schedule);
    for (int second = 0; second < 2; ++second) {
        clock.set(line.clock + std::chrono::seconds(second));
        const RefreshOutcome outcome = refresh();
        EXPECT_EQ(outcome.state, BoardState::Running);
        EXPECT_EQ(outcome.problem, notATimeMessage(line.problemText));
        EXPECT_EQ(board.clockText, formatTimeOfDay(clock.now(), currentLocaleTime()));
        EXPECT_EQ(upcomingTitles(), line.titles);
        EXPECT_EQ(board.previousRace.bytes(), line.previous);
    }
}

INSTANTIATE_TEST_SUITE_P(
    RefreshCycle, LeftOutLines,
    ::testing::Values(LeftOutLine{"BadFirstStart",
                                  "xx,10:30:00,Race A\r\n10:30:00,11:00:00,Race B\r\n",
                                  at(10, 40),
                                  "xx",
                                  {"Race B"},
                                  ""},
                      LeftOutLine{"BadEnd",
                                  "10:00:00,10:30:00,Race A\r\n10:30:00,late,Race B\r\n"
                                  "10:35:00,11:00:00,Race C\r\n",
                                  at(10, 40),
                                  "late",
                                  {"Race C"},
                                  ""},
                      LeftOutLine{"SpreadsheetHeader",
                                  "start,end,title\r\n10:00:00,10:30:00,Race A\r\n"
                                  "10:30:00,11:00:00,Race B\r\n",
                                  at(10, 40),
                                  "start",
                                  {"Race B"},
                                  "Race A"},
                      // The first line kept takes over the before-first-race decision.
                      LeftOutLine{"WaitingRowFromTheNextLine",
                                  "xx,10:30:00,Race A\r\n10:00:00,11:00:00,B\r\n",
                                  at(9, 0),
                                  "xx",
                                  {"", "B"},
                                  ""},
                      LeftOutLine{"OnlyTheFirstProblemIsNamed",
                                  "10:00:00,aa,A\r\n10:00:00,bb,B\r\n"
                                  "10:00:00,11:00:00,C\r\n",
                                  at(10, 40),
                                  "aa",
                                  {"C"},
                                  ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RefreshCycleTest, AMendedLineEndsTheProblemAtTheNextRefresh) {
    folder.writeSchedule("10:00:00,10:30:00,Race A\r\n10:30:00,late,Race B\r\n");
    EXPECT_TRUE(refresh().problem);
    EXPECT_EQ(tableRows(), 1u);
    folder.writeSchedule(kTwoRaces);
    EXPECT_FALSE(refresh().problem);
    EXPECT_EQ(tableRows(), 2u);
}

TEST_F(RefreshCycleTest, OnlyTheFirstLineDecidesTheWaitingRow) {
    // The first line is skipped, so no later line is compared with the clock.
    folder.writeSchedule("10:00:00,10:30:00\r\n11:00:00,11:30:00,Later\r\n");
    refresh().state;
    EXPECT_EQ(upcomingTitles(), (std::vector<std::string>{"Later"}));
}

TEST_F(RefreshCycleTest, TitlesWithQuotesAndSqlShowAsWritten) {
    folder.writeSchedule(
        "10:30:00,11:00:00,O'Brien Cup\r\n"
        "10:35:00,11:05:00,x'); delete from rmenutxt; --\r\n");
    refresh().state;
    EXPECT_EQ(upcomingTitles(),
              (std::vector<std::string>{"O'Brien Cup", "x'); delete from rmenutxt; --"}));
}

TEST_F(RefreshCycleTest, StartsAreOrderedAsTimesOfDay) {
    folder.writeSchedule("10:30:00,11:00:00,Ten thirty\r\n9:45:00,12:00:00,Nine forty-five\r\n");
    clock.set(at(9, 0, 0));
    refresh().state;
    EXPECT_EQ(upcomingTitles(), (std::vector<std::string>{"", "Nine forty-five", "Ten thirty"}));
}

TEST_F(RefreshCycleTest, TheNoticeOpensAndClosesTheNoticeArea) {
    folder.writeSchedule(kTwoRaces);
    folder.removeNotice();
    refresh().state;
    EXPECT_FALSE(board.noticeVisible);  // an unreadable notice changes nothing
    EXPECT_EQ(board.upperAreaHeight, 676);
    board.upperAreaHeight = 123;
    refresh().state;
    EXPECT_EQ(board.upperAreaHeight, 123);

    folder.writeNotice(cp932Bytes("本日は晴天なり\r\n二行目"));
    refresh().state;
    EXPECT_TRUE(board.noticeVisible);
    EXPECT_EQ(board.upperAreaHeight, 480);
    EXPECT_EQ(board.notice.bytes(), cp932Bytes("本日は晴天なり\r\n二行目\r\n"));

    folder.writeNotice("");
    refresh().state;
    EXPECT_FALSE(board.noticeVisible);
    EXPECT_EQ(board.upperAreaHeight, 676);
    EXPECT_EQ(board.notice.bytes(),
              cp932Bytes("本日は晴天なり\r\n二行目\r\n"));  // left out of sight
}

TEST_F(RefreshCycleTest, TheUpperHeightFollowsTheWindowHeight) {
    folder.writeSchedule(kTwoRaces);
    folder.writeNotice("note");
    board.outerHeight = 1080;
    refresh().state;
    EXPECT_EQ(board.upperAreaHeight, 850);
}

}  // namespace
}  // namespace pelm
