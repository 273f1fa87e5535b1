// The board's race table statements on a real table file, made as
// `pelmctl init` makes it, opened with the board's own parameters.

#include "engine/race_table.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "engine/board_connection.h"
#include "engine/race_table_file.h"
#include "platform/codepage.h"
#include "sqlengine/database.h"
#include "sqlengine/table_file.h"
#include "support/cp932_bytes.h"
#include "support/error_message.h"
#include "support/temp_folder.h"

using pelm::testing::cp932Bytes;

namespace pelm {
namespace {

// A schedule line's fields as a test writes them (ASCII or bytes).
struct Line {
    std::string start, end, title;
};

RaceEntry entry(const Line& line) {
    return {Cp932(line.start), Cp932(line.end), Cp932(line.title)};
}

using testing::TempFolder;

class RaceTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directory(data);
        createRaceTableFile(data);
        temp.write("dbengine.ini", "[Pelm]\r\nDEFAULT DRIVER=PARADOX\r\nPATH=" + data + "\r\n");
        database = std::make_unique<Database>("Pelm", boardConnectionParameters(utf8ToCp932(data)),
                                              std::vector<std::string>{temp / "dbengine.ini"});
        work = std::make_unique<Query>(*database, "Qwork");
        menu = std::make_unique<Query>(*database, "Qmenu");
    }

    void insertRaces(const std::vector<Line>& races) {
        deleteRaceRows(*work);
        for (const Line& race : races) insertRaceRow(*work, entry(race));
    }

    // The titles of the upcoming races, with "*" for the before-first-race row.
    std::vector<std::string> upcoming(AsciiLiteral clock) {
        openUpcomingRaces(*menu, cp932Ascii(clock));
        std::vector<std::string> titles;
        for (const auto& row : menu->result()->rows) {
            const int stime = menu->result()->columnIndex("stime");
            titles.push_back(row[stime] ? "*" : row[menu->result()->columnIndex("rmenu")]->bytes());
        }
        return titles;
    }

    std::string previousRace(const Cp932& start) {
        openPreviousRace(*work, start);
        return work->fieldText("rmenu").bytes();
    }

    TempFolder temp;
    const std::string data = temp / "data";
    std::unique_ptr<Database> database;
    std::unique_ptr<Query> work;
    std::unique_ptr<Query> menu;
};

using Titles = std::vector<std::string>;

// What the schedule and the clock hold never becomes part of a statement.
TEST_F(RaceTableTest, NoValueReachesAStatementsText) {
    const Line race{"10:00:00", "10:30:00", "O'Brien Cup"};
    std::string texts;
    insertRaceRow(*work, entry(race));
    texts += work->text().bytes();
    openPreviousRace(*work, cp932Ascii("10:30:00"));
    texts += work->text().bytes();
    EXPECT_EQ(upcoming("9:05:07"), Titles{"O'Brien Cup"});
    texts += menu->text().bytes();
    for (const std::string& value : {race.start, race.end, race.title, std::string("9:05:07")})
        EXPECT_EQ(texts.find(value), std::string::npos) << value << " in " << texts;
}

TEST_F(RaceTableTest, ARaceEndingAtTheClockIsNoLongerUpcoming) {
    insertRaces({{"11:00:00", "11:59:59", "a"},
                 {"11:30:00", "12:00:00", "b"},
                 {"11:45:00", "12:00:01", "c"}});
    EXPECT_EQ(upcoming("12:00:00"), Titles{"c"});
}

TEST_F(RaceTableTest, BeforeTheFirstRaceItsMarkerRowComesFirst) {
    insertRaces({{"10:30:00", "11:00:00", "B"}});
    insertBeforeFirstRaceRow(*work);
    insertRaceRow(*work, entry({"10:00:00", "10:30:00", "A"}));
    EXPECT_EQ(upcoming("9:59:59"), (Titles{"*", "A", "B"}));
    EXPECT_EQ(menu->fieldText("btime").bytes(), "");
    EXPECT_EQ(menu->fieldText("kara").bytes(), "-");
    EXPECT_EQ(menu->fieldText("stime").bytes(), "0:00:00");
    EXPECT_EQ(upcoming("23:59:59"), Titles{"*"});  // selected while it exists
}

TEST_F(RaceTableTest, AnEmptyTableGivesAnEmptySelection) {
    insertRaces({});
    EXPECT_EQ(upcoming("12:00:00"), Titles{});
    EXPECT_EQ(menu->fieldText("btime").bytes(), "");
    insertRaces({{"9:00:00", "9:30:00", "over"}});
    EXPECT_EQ(upcoming("12:00:00"), Titles{});
}

TEST_F(RaceTableTest, StartsOrderAsTimesWithOrWithoutLeadingZero) {
    insertRaces({{"10:00:00", "23:00:00", "ten"},
                 {"9:05:07", "23:00:00", "nine"},
                 {"13:00:00", "23:00:00", "one pm"},
                 {"09:05:06", "23:00:00", "zero nine"}});
    EXPECT_EQ(upcoming("9:00:00"), (Titles{"zero nine", "nine", "ten", "one pm"}));
    // "9:30:00" sorts after "10:00:00" as text, yet the race has ended.
    insertRaces({{"9:00:00", "9:30:00", "ended"}, {"9:30:00", "10:00:00", "running"}});
    EXPECT_EQ(upcoming("9:45:00"), Titles{"running"});
}

TEST_F(RaceTableTest, ThePreviousRaceIsTheFirstRowEndingAtTheStart) {
    insertRaces({{"10:00:00", "10:30:00", "A"},
                 {"10:10:00", "10:30:00", "A2"},
                 {"10:30:00", "11:00:00", "B"}});
    EXPECT_EQ(upcoming("10:40:00"), Titles{"B"});
    EXPECT_EQ(previousRace(menu->fieldText("btime")), "A");
    EXPECT_EQ(previousRace(cp932Ascii("10:00:00")), "");
    openWholeTable(*work);
    work->last();
    EXPECT_EQ(work->fieldText("rmenu").bytes(), "B");
}

TEST_F(RaceTableTest, ApostrophesAndInjectionsAreStoredAsWritten) {
    const std::string injection = "x'); delete from rmenutxt; --";
    insertRaces({{"9:00:00", "9:30:00", "O'Brien Cup"}, {"9:30:00", "10:00:00", injection}});
    EXPECT_EQ(upcoming("9:00:00"), (Titles{"O'Brien Cup", injection}));
    EXPECT_EQ(upcoming("0:00:00' or '1'='1"), Titles{});
    EXPECT_EQ(previousRace(cp932Ascii("9:30:00' or etime<>'")), "");
    EXPECT_EQ(testing::errorMessage([&] {
                  insertRaceRow(*work, entry({"9:00'", "9:30:00", "t"}));
              }),
              cp932Bytes("'9:00'' は時刻ではありません"));
    EXPECT_EQ(testing::errorMessage([&] {
                  insertRaceRow(*work, entry({"9:00:00", "9:30'); delete from rmenutxt; --", ""}));
              }),
              "'9:30'); delete from rmenutxt; --" + cp932Bytes("' は時刻ではありません"));
    openWholeTable(*work);
    EXPECT_EQ(work->result()->rows.size(), 2u);
}

TEST_F(RaceTableTest, ATitleHoldsFortyBytes) {
    const std::string forty = cp932Bytes("第一回全日本選手権大会決勝戦最終日特別賞");
    ASSERT_EQ(forty.size(), 40u);
    insertRaces({{"9:00:00", "9:30:00", forty}});
    EXPECT_EQ(upcoming("9:00:00"), Titles{forty});
    EXPECT_NE(testing::errorMessage([&] {
                  insertRaceRow(*work, entry({"9:00:00", "9:30:00", forty + "x"}));
              }),
              "");
}

TEST_F(RaceTableTest, TheTableFileIsMadeOnceAndRecognised) {
    EXPECT_FALSE(createRaceTableFile(data));
    EXPECT_EQ(raceTableFileProblem(data), std::nullopt);
    temp.write("data/rmenutxt.db", "not a table");
    EXPECT_EQ(raceTableFileProblem(data), cp932Ascii("file is not a database"));
    EXPECT_FALSE(createRaceTableFile(data));
    EXPECT_EQ(temp.read("data/rmenutxt.db"), "not a table");  // never overwritten
}

}  // namespace
}  // namespace pelm
