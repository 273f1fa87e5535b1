// A refresh that shows again what the last pass showed must leave the board
// exactly as a full pass would: the same sequence of schedules, notices,
// clock times and outside changes is run on two boards, one refreshing as
// the board does and one that starts afresh at every refresh, and the
// boards, the outcomes, the errors and the tables are compared step by step.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>

#include "engine/race_table.h"
#include "engine/race_table_file.h"
#include "engine/refresh_cycle.h"
#include "platform/codepage.h"
#include "platform/error.h"
#include "sqlengine/table_file.h"
#include "support/board_folder.h"
#include "support/headless_board.h"

namespace pelm {
namespace {

using testing::at;
using testing::BoardFolder;

constexpr std::string_view kTwoRaces = "10:00:00,10:30:00,Race A\r\n10:30:00,11:00:00,Race B\r\n";
constexpr std::string_view kBadFirstLine = "xx,10:30:00,Race A\r\n10:30:00,11:00:00,Race B\r\n";
constexpr std::string_view kDotted = "10.00.00,10.30.00,Dotted A\r\n10.30.00,11.00.00,Dotted B\r\n";

/// What happens to a board's folder or world before a refresh.
enum class Change {
    None,
    ForeignRow,         // another connection adds a row to the table
    ForeignEmptying,    // another connection empties the table
    SameBytesNewFile,   // the schedule replaced by a new file of the same bytes
    ScheduleGone,       // the schedule file removed
    TableFileReplaced,  // a fresh table file renamed over the one in use
    DottedLocale,       // times read with "." between their parts
    ForeignLock,        // another connection holds the table's write lock
};

struct Step {
    std::optional<std::string> schedule;  // written before the refresh when set
    TimeOfDay clock;
    Change change = Change::None;
    std::optional<std::string> notice = std::nullopt;
};

/// Everything a refresh leaves that anyone can see, with the data folder's
/// path taken out of messages so two folders compare.
struct Seen {
    std::string result;  // the state, or the error raised
    std::optional<std::string> problem;
    std::string clock, previous, notice;
    bool curtain = false, noticeShown = false;
    int upperHeight = 0;
    std::vector<ResultSet::Row> upcoming;
    std::vector<ResultSet::Row> table;  // sorted: row order is the engine's
    bool operator==(const Seen&) const = default;
};

void PrintTo(const Seen& seen, std::ostream* out) {
    *out << "{" << seen.result << " problem=" << seen.problem.value_or("-")
         << " clock=" << seen.clock << " previous=" << seen.previous << " curtain=" << seen.curtain
         << " upcoming=" << seen.upcoming.size() << " table=" << seen.table.size() << "}";
}

std::string withoutFolder(std::string text, const std::string& folder) {
    for (std::size_t at = text.find(folder); at != std::string::npos; at = text.find(folder))
        text.replace(at, folder.size(), "<data>");
    return text;
}

class Side {
public:
    /// `afresh`: a board just started at every refresh, which has kept
    /// nothing from the one before.
    explicit Side(bool afresh) : afresh_(afresh) {}

    Seen run(const Step& step) {
        if (step.schedule) parts_.folder.writeSchedule(*step.schedule);
        if (step.notice) parts_.folder.writeNotice(*step.notice);
        parts_.clock.set(step.clock);
        apply(step.change);
        if (afresh_)
            parts_.cycle = std::make_unique<RefreshCycle>(*parts_.database, parts_.settings,
                                                          parts_.clock, parts_.board);
        const std::string header = tableHeader();
        Seen seen;
        try {
            const RefreshOutcome outcome = parts_.refresh();
            seen.result = stateName(outcome.state).toStdString();
            if (outcome.problem)
                seen.problem = withoutFolder(outcome.problem->bytes(), parts_.folder.dataDir());
        } catch (const Error& error) {
            seen.result = withoutFolder(error.what(), parts_.folder.dataPath());
        }
        lockHolder_.reset();
        seen.clock = parts_.board.clockText.bytes();
        seen.previous = parts_.board.previousRace.bytes();
        seen.notice = parts_.board.notice.bytes();
        seen.curtain = parts_.board.curtainVisible;
        seen.noticeShown = parts_.board.noticeVisible;
        seen.upperHeight = parts_.board.upperAreaHeight;
        if (parts_.board.upcoming) seen.upcoming = parts_.board.upcoming->rows;
        seen.table = tableRows();
        wroteTable_ = tableHeader() != header;
        return seen;
    }

    /// Whether the last refresh wrote the table file: every commit changes
    /// the change counter in its header.
    bool wroteTable() const { return wroteTable_; }

private:
    void apply(Change change) {
        switch (change) {
            case Change::None:
                return;
            case Change::ForeignRow:
                return foreignStatement(
                    "insert into rmenutxt (btime,kara,etime,rmenu) values "
                    "('10:31:00','-','11:30:00','Foreign')");
            case Change::ForeignEmptying:
                return foreignStatement("delete from rmenutxt");
            case Change::SameBytesNewFile: {
                const std::string bytes = parts_.folder.root().read("data/RInfo.txt");
                parts_.folder.root().write("data/RInfo.new", bytes);
                std::filesystem::rename(parts_.folder.root() / "data/RInfo.new",
                                        parts_.folder.root() / "data/RInfo.txt");
                return;
            }
            case Change::ScheduleGone:
                return parts_.folder.removeSchedule();
            case Change::TableFileReplaced: {
                const std::filesystem::path aside = parts_.folder.root() / "fresh";
                std::filesystem::create_directory(aside);
                createRaceTableFile(aside.string());
                std::filesystem::rename(aside / "rmenutxt.db",
                                        parts_.folder.root() / "data/rmenutxt.db");
                return;
            }
            case Change::DottedLocale: {
                LocaleTime dotted = LocaleTime::fromLocale(QLocale("ja_JP"));
                dotted.separator = cp932Ascii(".");
                return setCurrentLocaleTime(dotted);
            }
            case Change::ForeignLock:
                lockHolder_ = parts_.folder.connect();
                lockHolder_->run(cp932Ascii("BEGIN EXCLUSIVE"));
                lockHolder_->run(cp932Ascii("delete from rmenutxt where btime = 'none'"));
                return;
        }
    }

    void foreignStatement(AsciiLiteral text) {
        std::unique_ptr<Database> other = parts_.folder.connect();
        Query query(*other, "foreign");
        query.addLine(text);
        query.execute();
    }

    std::vector<ResultSet::Row> tableRows() {
        try {
            Query all(*parts_.database, "check");
            openWholeTable(all);
            std::vector<ResultSet::Row> rows = all.result()->rows;
            std::sort(rows.begin(), rows.end());
            return rows;
        } catch (const Error&) {
            return {};
        }
    }

    std::string tableHeader() const {
        return parts_.folder.root().read("data/rmenutxt.db").substr(24, 4);
    }

    testing::HeadlessParts parts_;
    bool afresh_;
    std::unique_ptr<Database> lockHolder_;  // for the length of one refresh
    bool wroteTable_ = false;
};

struct Story {
    const char* name;
    std::vector<Step> steps;
};

void PrintTo(const Story& story, std::ostream* out) {
    *out << story.name;
}

// Times read the Japanese way, before and after a story that changes that.
class JapaneseTimes : public ::testing::Test {
protected:
    JapaneseTimes() { setCurrentLocaleTime(LocaleTime::fromLocale(QLocale("ja_JP"))); }
    ~JapaneseTimes() override { setCurrentLocaleTime(LocaleTime::fromLocale(QLocale("ja_JP"))); }
};

class ShortcutsAgreeWithFullRefreshes : public JapaneseTimes,
                                        public ::testing::WithParamInterface<Story> {};

TEST_P(ShortcutsAgreeWithFullRefreshes, StepByStep) {
    Side board(false), afresh(true);
    const std::vector<Step>& steps = GetParam().steps;
    for (std::size_t index = 0; index < steps.size(); ++index) {
        SCOPED_TRACE("step " + std::to_string(index));
        EXPECT_EQ(board.run(steps[index]), afresh.run(steps[index]));
    }
}

const std::string two(kTwoRaces);

INSTANTIATE_TEST_SUITE_P(
    RefreshShortcuts, ShortcutsAgreeWithFullRefreshes,
    ::testing::Values(Story{"ClockCrossesTheFirstStart",
                            {{two, at(9, 59, 58)},
                             {{}, at(9, 59, 59)},
                             {{}, at(9, 59, 59)},
                             {{}, at(10, 0, 0)},
                             {{}, at(10, 0, 1)},
                             {{}, at(10, 30, 0)},
                             {{}, at(11, 30, 0)},
                             {{}, at(9, 0, 0)}}},
                      Story{"TheClockPassesRaceEndsAndGoesBack",
                            {{two, at(10, 29, 58)},
                             {{}, at(10, 29, 59)},
                             {{}, at(10, 30, 0)},
                             {{}, at(10, 45)},
                             {{}, at(10, 59, 59)},
                             {{}, at(11, 0, 0)},
                             {{}, at(11, 5)},
                             {{}, at(10, 10)},
                             {{}, at(10, 10, 1)},
                             {{}, at(10, 30, 0)},
                             {{}, at(10, 0, 0) - std::chrono::milliseconds(1)}}},
                      Story{"AnotherConnectionChangesTheTable",
                            {{two, at(10, 20)},
                             {{}, at(10, 20), Change::ForeignRow},
                             {{}, at(10, 20)},
                             {{}, at(10, 21), Change::ForeignEmptying},
                             {{}, at(10, 21)},
                             {{}, at(10, 22), Change::ForeignRow}}},
                      Story{"AnotherConnectionChangesTheTableLater",
                            {{two, at(10, 20)},
                             {{}, at(10, 20)},
                             {{}, at(10, 20, 1)},
                             {{}, at(10, 20, 2), Change::ForeignRow},
                             {{}, at(10, 20, 3)},
                             {{}, at(10, 20, 4)},
                             {{}, at(10, 20, 5), Change::ForeignEmptying},
                             {{}, at(10, 20, 6)}}},
                      Story{"ABadLineOnEveryRefresh",
                            {{std::string(kBadFirstLine), at(10, 40)},
                             {{}, at(10, 40)},
                             {{}, at(10, 41)},
                             {{}, at(9, 0)},
                             {two, at(9, 0)},
                             {std::string(kBadFirstLine), at(10, 40)}}},
                      Story{"TheScheduleReplacedByTheSameBytes",
                            {{two, at(10, 40)},
                             {{}, at(10, 40), Change::SameBytesNewFile},
                             {two, at(10, 40)},
                             {{}, at(10, 41), Change::SameBytesNewFile}}},
                      Story{"WaitingAndNotConnectedInBetween",
                            {{two, at(10, 40)},
                             {"", at(10, 40)},
                             {two, at(10, 40)},
                             {{}, at(10, 40), Change::ScheduleGone},
                             {two, at(10, 40)},
                             {two, at(11, 30)},
                             {"", at(11, 30)},
                             {two, at(11, 30)}}},
                      Story{"TheNoticeComesAndGoes",
                            {{two, at(10, 40), Change::None, "note\r\n"},
                             {{}, at(10, 40)},
                             {{}, at(10, 40), Change::None, ""},
                             {{}, at(10, 40), Change::None, "other"}}},
                      Story{"TheLocaleChangesHowTimesRead",
                            {{std::string(kDotted), at(10, 40)},
                             {{}, at(10, 40)},
                             {{}, at(10, 40), Change::DottedLocale},
                             {{}, at(10, 41)}}},
                      Story{"AScheduleCutAtItsLimit",
                            {{std::string(kScheduleLimits.maxLines + 1, '\n'), at(10, 40)},
                             {{}, at(10, 40)},
                             {{}, at(10, 41)}}},
                      Story{"TheTableFileReplacedUnderTheBoard",
                            {{two, at(10, 40)},
                             {{}, at(10, 40)},
                             {{}, at(10, 40), Change::TableFileReplaced},
                             {{}, at(10, 40)}}}),
    [](const auto& info) { return std::string(info.param.name); });

// The shortcut must actually be taken while nothing changed, and must give
// way to every change that could make a rebuild put something else in.
struct Trigger {
    const char* name;
    Step step;
    bool rebuilds;
};

void PrintTo(const Trigger& trigger, std::ostream* out) {
    *out << trigger.name;
}

class WhatRebuildsTheTable : public JapaneseTimes, public ::testing::WithParamInterface<Trigger> {};

TEST_P(WhatRebuildsTheTable, OnlyAChangeThatMatters) {
    const Trigger& trigger = GetParam();
    Side board(false);
    board.run({two, at(9, 59, 58)});
    ASSERT_TRUE(board.wroteTable());
    board.run({{}, at(9, 59, 59)});
    board.run({two, at(9, 59, 59)});  // the same bytes written again
    ASSERT_FALSE(board.wroteTable());
    board.run(trigger.step);
    EXPECT_EQ(board.wroteTable(), trigger.rebuilds);
}

INSTANTIATE_TEST_SUITE_P(
    RefreshShortcuts, WhatRebuildsTheTable,
    ::testing::Values(
        Trigger{"TheClockOnly", {{}, at(9, 59, 59) + std::chrono::milliseconds(500)}, false},
        Trigger{"SameBytesInANewFile", {{}, at(9, 59, 59), Change::SameBytesNewFile}, false},
        Trigger{"ANoticeChange", {{}, at(9, 59, 59), Change::None, "note"}, false},
        Trigger{"NewBytes", {std::string(kBadFirstLine), at(9, 59, 59)}, true},
        Trigger{"OneByteMore", {two + "\r\n", at(9, 59, 59)}, true},
        Trigger{"TheFirstStartPassed", {{}, at(10, 0, 0)}, true},
        Trigger{"TheClockGoesBack", {{}, at(9, 0, 0)}, true},
        Trigger{"AForeignRow", {{}, at(9, 59, 59), Change::ForeignRow}, true},
        Trigger{"AForeignEmptying", {{}, at(9, 59, 59), Change::ForeignEmptying}, true},
        Trigger{"ALocaleChange", {{}, at(9, 59, 59), Change::DottedLocale}, true}),
    [](const auto& info) { return std::string(info.param.name); });

// An idle refresh reads nothing of the table file, so another program
// holding its write lock for a while does not hold up the clock; once the
// lock is gone, what that program wrote is seen.
TEST_F(JapaneseTimes, AnIdleRefreshNeedsNoLockOnTheTable) {
    Side board(false);
    board.run({two, at(10, 20)});
    const Seen locked = board.run({{}, at(10, 20, 1), Change::ForeignLock});
    EXPECT_EQ(locked.result, "running");
    EXPECT_EQ(locked.clock, "10:20:01");
    EXPECT_EQ(locked.upcoming.size(), 2u);
    board.run({{}, at(10, 20, 2), Change::ForeignRow});
    EXPECT_TRUE(board.wroteTable());
}

}  // namespace
}  // namespace pelm
