// The board heals itself: a start-up that fails is tried again every second
// until its cause goes, and a race table file that breaks under a running
// board is reopened, or replaced when it is damaged, without a restart.

#include "engine/board_runner.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "engine/race_table_file.h"
#include "platform/codepage.h"
#include "platform/time_of_day.h"
#include "sqlengine/table_file.h"
#include "support/board_folder.h"
#include "support/journal_capture.h"

namespace pelm {
namespace {

namespace fs = std::filesystem;
using testing::BoardFolder;

constexpr std::string_view kTwoRaces = "10:00:00,10:30:00,Race A\r\n10:30:00,11:00:00,Race B\r\n";

// What the runner said, in order, as one word each.
class NotedEvents : public RunnerEvents {
public:
    void startFailed(const Cp932& message, bool connection) override {
        said.push_back(connection ? "no connection" : "start failed");
        lastMessage = message;
    }
    void started() override { said.push_back("started"); }
    void tableReplaced(const Cp932&, const std::string& where) override {
        said.push_back("table replaced");
        aside = where;
    }
    void tableMadeAfresh(const std::string&) override { said.push_back("table made afresh"); }
    void connectionLost(const Cp932& message) override {
        said.push_back("lost");
        lastMessage = message;
    }
    void refreshFailed(const Cp932& message) override {
        said.push_back("refresh failed");
        lastMessage = message;
    }
    void refreshed(const RefreshCycle&, BoardState state,
                   const std::optional<Cp932>& problem) override {
        said.push_back(problem ? "left out" : "refreshed");
        lastState = state;
    }

    std::vector<std::string> said;
    std::optional<BoardState> lastState;
    Cp932 lastMessage;
    std::string aside;
};

class BoardRunnerTest : public ::testing::Test {
protected:
    BoardRunnerTest() {
        setCurrentLocaleTime(LocaleTime::fromLocale(QLocale("ja_JP")));
        settings.dataDir = Cp932(folder.dataDir());
        folder.writeSchedule(kTwoRaces);
    }

    /// Beats of the timer until the board runs, at most `limit`.
    int beatsUntilRunning(int limit = 12) {
        for (int beat = 1; beat <= limit; ++beat) {
            runner.tick();
            if (runner.running()) return beat;
        }
        return -1;
    }

    std::size_t rowsShown() const { return board.upcoming ? board.upcoming->rows.size() : 0; }
    std::string tablePath() const { return raceTableFilePath(folder.dataPath()); }

    BoardFolder folder;
    BoardSettings settings = BoardSettings::defaults();
    FixedClock clock{TimeOfDay(10 * 3600 * 1000 + 40 * 60 * 1000)};
    RecordingBoard board;
    NotedEvents events;
    BoardRunner runner{settings, clock, board, events, connectBoardDatabase};
};

TEST_F(BoardRunnerTest, StartsAtOnceOnAGoodFolderAndRefreshesOnEveryBeat) {
    EXPECT_TRUE(runner.start());
    EXPECT_TRUE(board.curtainVisible);
    runner.tick();
    runner.tick();
    EXPECT_EQ(events.said, (std::vector<std::string>{"started", "refreshed", "refreshed"}));
    EXPECT_EQ(board.clockText.bytes(), "10:40:00");
    EXPECT_EQ(rowsShown(), 1u);
}

TEST_F(BoardRunnerTest, ADataFolderThatAppearsLaterIsPickedUpWithinASecond) {
    const fs::path data = folder.dataPath(), away = folder.root().path() / "not-mounted";
    fs::rename(data, away);
    EXPECT_FALSE(runner.start());
    for (int beat = 0; beat < 9; ++beat) runner.tick();  // two more attempts, both failing
    EXPECT_EQ(events.said, (std::vector<std::string>{"no connection"})) << "reported once";
    EXPECT_EQ(board.clockText.bytes(), settings.setuzoku.bytes()) << "never the design's clock";

    fs::rename(away, data);
    const int beats = beatsUntilRunning();
    EXPECT_GE(beats, 1);
    EXPECT_LE(beats, BoardRunner::kRetryBeats);
    EXPECT_EQ(events.said.back(), "refreshed");
    EXPECT_EQ(board.clockText.bytes(), "10:40:00");
    EXPECT_EQ(rowsShown(), 1u);
}

TEST_F(BoardRunnerTest, ATableLockedByAnotherProgramDelaysTheStartOnly) {
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(tablePath().c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_FALSE(runner.start());
    EXPECT_EQ(events.said.size(), 1u);
    EXPECT_NE(events.lastMessage.view().find("locked"), std::string::npos)
        << events.lastMessage.bytes();

    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_GT(beatsUntilRunning(), 0);
    EXPECT_EQ(rowsShown(), 1u);
}

TEST_F(BoardRunnerTest, AMissingTableStaysAnErrorUntilItIsMadeAgain) {
    fs::remove(tablePath());
    EXPECT_FALSE(runner.start());
    EXPECT_EQ(events.said, (std::vector<std::string>{"start failed"}));
    EXPECT_NE(events.lastMessage.view().find("rmenutxt"), std::string::npos);
    EXPECT_EQ(beatsUntilRunning(8), -1);
    EXPECT_FALSE(fs::exists(tablePath())) << "the board creates no table of its own";

    createRaceTableFile(folder.dataPath());
    EXPECT_GT(beatsUntilRunning(), 0);
}

// How a table file goes wrong under a board at a venue.
struct TableMishap {
    const char* name;
    void (*happen)(const std::string& table);
    bool damaged;  // moved aside and made afresh, rather than reopened
};

class TableMishaps : public BoardRunnerTest, public ::testing::WithParamInterface<TableMishap> {};

TEST_P(TableMishaps, TheBoardIsRightAgainWithinASecond) {
    ASSERT_TRUE(runner.start());
    runner.tick();
    GetParam().happen(tablePath());
    folder.writeSchedule("10:30:00,11:00:00,Race B\r\n10:35:00,11:10:00,Race C\r\n");

    int beats = 0;
    while (beats < 8 && (events.said.back() != "refreshed" || rowsShown() != 2)) {
        runner.tick();
        ++beats;
    }
    EXPECT_LE(beats, 3) << ::testing::PrintToString(events.said) << cp932ToUtf8(events.lastMessage);
    EXPECT_EQ(rowsShown(), 2u);
    EXPECT_EQ(raceTableFileProblem(folder.dataPath()), std::nullopt);
    const bool replaced =
        std::find(events.said.begin(), events.said.end(), "table replaced") != events.said.end();
    EXPECT_EQ(replaced, GetParam().damaged);
    if (replaced) {
        EXPECT_TRUE(fs::exists(events.aside)) << "the damaged file is kept for a look";
    }
}

INSTANTIATE_TEST_SUITE_P(
    BoardRunner, TableMishaps,
    ::testing::Values(
        TableMishap{"ReplacedByAFreshOne",
                    [](const std::string& table) {
                        const std::string folder = fs::path(table).parent_path().string();
                        fs::rename(table, table + ".old");
                        createRaceTableFile(folder);
                    },
                    false},
        TableMishap{"OverwrittenWithGarbage",
                    [](const std::string& table) {
                        std::string garbage(8192, 'x');
                        std::FILE* file = std::fopen(table.c_str(), "r+b");
                        std::fwrite(garbage.data(), 1, garbage.size(), file);
                        std::fclose(file);
                    },
                    true},
        TableMishap{"Deleted", [](const std::string& table) { fs::remove(table); }, false},
        TableMishap{"TruncatedToNothing",
                    [](const std::string& table) { fs::resize_file(table, 0); }, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RaceTableFileDamage, TellsDamageFromASoundMissingOrForeignFile) {
    testing::TempFolder folder;
    const std::string dir = folder.path().string();
    EXPECT_EQ(raceTableFileDamage(dir), std::nullopt) << "missing is no damage";
    createRaceTableFile(dir);
    EXPECT_EQ(raceTableFileDamage(dir), std::nullopt);
    folder.write("rmenutxt.db", "this is no database, just text that is long enough to matter");
    EXPECT_TRUE(raceTableFileDamage(dir));
    const std::string aside = replaceDamagedRaceTableFile(dir);
    EXPECT_EQ(raceTableFileDamage(dir), std::nullopt);
    EXPECT_EQ(raceTableFileProblem(dir), std::nullopt);
    EXPECT_EQ(folder.read(fs::path(aside).filename().string()).substr(0, 12), "this is no d");
}

// --- boards that share a data folder -------------------------------------

// A second board on the fixture's folder, with its own window and events.
struct OtherBoard {
    OtherBoard(const BoardSettings& settings, const Clock& clock,
               BoardRunner::Connect connect = connectBoardDatabase, TableUse use = TableUse::Held)
        : runner(settings, clock, board, events, std::move(connect), use) {}
    RecordingBoard board;
    NotedEvents events;
    BoardRunner runner;
};

std::size_t rowsOf(const RecordingBoard& board) {
    return board.upcoming ? board.upcoming->rows.size() : 0;
}

TEST_F(BoardRunnerTest, ASecondBoardOnTheSameTableIsRefusedUntilTheFirstCloses) {
    testing::JournalCapture journal;
    auto first = std::make_unique<OtherBoard>(settings, clock);
    ASSERT_TRUE(first->runner.start());
    auto second = std::make_unique<OtherBoard>(settings, clock);
    EXPECT_FALSE(second->runner.start());
    for (int beat = 0; beat < 3 * BoardRunner::kRetryBeats; ++beat) {
        first->runner.tick();
        second->runner.tick();
    }
    EXPECT_EQ(second->events.said, (std::vector<std::string>{"start failed"})) << "said once";
    const std::string message = cp932ToUtf8(second->events.lastMessage);
    EXPECT_NE(message.find(folder.dataPath()), std::string::npos) << message;
    EXPECT_NE(message.find("pid " + std::to_string(getpid())), std::string::npos) << message;
    EXPECT_EQ(second->board.clockText.bytes(), settings.setuzoku.bytes());

    std::size_t hints = 0;
    for (const std::string& line : journal.take())
        hints += line.find("--table-dir") != std::string::npos;
    EXPECT_EQ(hints, 1u) << "the journal says once what to change";
    const auto& said = first->events.said;
    EXPECT_EQ(std::count(said.begin(), said.end(), "refreshed"), 3 * BoardRunner::kRetryBeats)
        << "the first board is undisturbed";

    first.reset();  // the first board closes
    int beats = 0;
    while (!second->runner.running() && beats < 2 * BoardRunner::kRetryBeats) {
        second->runner.tick();
        ++beats;
    }
    EXPECT_LE(beats, BoardRunner::kRetryBeats) << "taken over within the retry period";
    EXPECT_EQ(second->events.said.back(), "refreshed");
    EXPECT_EQ(rowsOf(second->board), 1u);
}

TEST_F(BoardRunnerTest, BoardsWithTheirOwnTableFoldersShareTheScheduleOnly) {
    const fs::path dataTable = tablePath();
    const auto untouched = fs::last_write_time(dataTable);
    std::vector<std::unique_ptr<OtherBoard>> boards;
    std::vector<BoardSettings> own(3, settings);
    for (std::size_t i = 0; i < own.size(); ++i) {
        const fs::path local = folder.root().path() / ("local-" + std::to_string(i));
        fs::create_directory(local);
        createRaceTableFile(local.string());
        own[i].tableDir = Cp932(local.string());
        EXPECT_EQ(own[i].raceTableFolder().bytes(), local.string());
    }
    for (const BoardSettings& each : own)
        boards.push_back(std::make_unique<OtherBoard>(each, clock));
    for (auto& other : boards) {
        EXPECT_TRUE(other->runner.start()) << cp932ToUtf8(other->events.lastMessage);
        other->runner.tick();
        EXPECT_EQ(other->events.said.back(), "refreshed");
        EXPECT_EQ(rowsOf(other->board), 1u) << "the schedule still comes from the data folder";
    }
    EXPECT_EQ(fs::last_write_time(dataTable), untouched);
    EXPECT_FALSE(fs::exists(folder.root().path() / "data" / FolderLock::kFileName));
}

// pelmctl show's kind of runner: its own database, and the board's folder
// left alone, even a damaged table file in it (which a board would replace).
TEST_F(BoardRunnerTest, APrivateRunnerNeitherLocksNorHealsTheBoardsTable) {
    ASSERT_TRUE(runner.start());
    testing::TempFolder privateFolder;
    createRaceTableFile(privateFolder.path().string());
    auto privateConnect = [&](const Cp932&) {
        return connectBoardDatabase(utf8ToCp932(privateFolder.path().string()));
    };
    OtherBoard look(settings, clock, privateConnect, TableUse::Private);
    EXPECT_TRUE(look.runner.start()) << cp932ToUtf8(look.events.lastMessage);
    look.runner.tick();
    runner.tick();
    ASSERT_TRUE(look.board.upcoming && board.upcoming);
    EXPECT_EQ(look.board.upcoming->rows, board.upcoming->rows);

    fs::resize_file(tablePath(), 0);
    EXPECT_TRUE(look.runner.start());
    EXPECT_EQ(fs::file_size(tablePath()), 0u);
    EXPECT_EQ(std::count(look.events.said.begin(), look.events.said.end(), "table replaced"), 0);
}

// The schedule is read off the beat, through the data folder's worker: an
// answer that comes between two beats shows at the next, and beats without
// one still select with the time now, so a race that ends leaves the grid
// on time. A read that does not answer is not asked again, and makes the
// board not connected only once it has gone unanswered for kLostAfter.
TEST_F(BoardRunnerTest, RefreshesWithTheLastAnswerUntilTheNextComes) {
    using namespace std::chrono_literals;
    const fs::path data = folder.dataPath();
    ASSERT_EQ(mkfifo((data / "fifo").c_str(), 0644), 0);
    ShareWorker share(ShareWorker::Where::Helper, 10s, STALLING_SHARE_HELPER);
    RecordingBoard shown;
    NotedEvents said;
    BoardRunner slow(settings, clock, shown, said, connectBoardDatabase, TableUse::Held,
                     currentDirectory(), [&](const std::string&) -> ShareWorker& { return share; });
    const auto titles = [&] {
        std::vector<std::string> titles;
        for (std::size_t row = 0; shown.upcoming && row < shown.upcoming->rows.size(); ++row)
            titles.push_back(
                shown.upcoming->text(row, shown.upcoming->columnIndex("rmenu")).bytes());
        return titles;
    };
    const auto hold = [&] {  // from now on, a read waits for release()
        // The read in flight answers whole before the hold, so no file of
        // it is held; the beat takes it and asks the next, which waits.
        ASSERT_TRUE(slow.settle(30s));
        std::ofstream(data / "hold").close();
        slow.tick();
    };
    const auto release = [&] {
        fs::remove(data / "hold");
        // On a busy machine the held call may not have reached the hold
        // yet, and then never waits at the FIFO: it is let go without
        // waiting for it to get there.
        const auto until = std::chrono::steady_clock::now() + 30s;
        while (!slow.settle(10ms) && std::chrono::steady_clock::now() < until)
            if (const int fifo = open((data / "fifo").c_str(), O_WRONLY | O_NONBLOCK); fifo >= 0)
                close(fifo);
        ASSERT_TRUE(slow.settle(0s));
    };

    ASSERT_TRUE(slow.start());
    slow.tick();
    EXPECT_EQ(shown.clockText.bytes(), "10:40:00") << "the time, whether the answer came or not";
    slow.settle(10s);
    slow.tick();
    EXPECT_EQ(titles(), (std::vector<std::string>{"Race B"}));

    hold();
    folder.writeSchedule("10:30:00,11:00:00,Race B\r\n11:00:00,11:30:00,Race C\r\n");
    clock.set(TimeOfDay((10 * 3600 + 59 * 60 + 59) * 1000));
    slow.tick();
    EXPECT_EQ(shown.clockText.bytes(), "10:59:59");
    EXPECT_EQ(titles(), (std::vector<std::string>{"Race B"})) << "the last answer, shown again";
    clock.set(TimeOfDay(11 * 3600 * 1000));
    slow.tick();
    EXPECT_EQ(titles(), (std::vector<std::string>{})) << "Race B ended on time, unanswered";
    EXPECT_EQ(said.lastState, BoardState::Running);
    release();
    slow.tick();
    EXPECT_EQ(titles(), (std::vector<std::string>{"Race C"})) << "the answer, at the next beat";

    hold();
    std::this_thread::sleep_for(DataFileReader::kLostAfter);
    slow.tick();
    EXPECT_EQ(said.lastState, BoardState::NotConnected);
    EXPECT_EQ(shown.clockText.bytes(), settings.setuzoku.bytes());
    release();
    slow.tick();
    EXPECT_EQ(said.lastState, BoardState::Running);
    EXPECT_EQ(shown.clockText.bytes(), "11:00:00");
}

// A share slow enough that the schedule and the notice together take
// longer than kLostAfter, each file well within it, is slow, not lost: the
// board shows the files and stays running throughout.
TEST_F(BoardRunnerTest, AShareSlowerThanKLostAfterForBothFilesIsSlowNotLost) {
    using namespace std::chrono_literals;
    const auto perFile = DataFileReader::kLostAfter * 2 / 3;
    std::ofstream(fs::path(folder.dataPath()) / "slow") << perFile.count();
    ShareWorker share(ShareWorker::Where::Helper, 10s, STALLING_SHARE_HELPER);
    RecordingBoard shown;
    NotedEvents said;
    BoardRunner slow(settings, clock, shown, said, connectBoardDatabase, TableUse::Held,
                     currentDirectory(), [&](const std::string&) -> ShareWorker& { return share; });
    ASSERT_TRUE(slow.start());
    const auto until = std::chrono::steady_clock::now() + perFile * 2 + 1s;
    while (std::chrono::steady_clock::now() < until) {
        slow.tick();
        ASSERT_NE(said.lastState, BoardState::NotConnected) << "a slow share, taken for a lost one";
        std::this_thread::sleep_for(250ms);
    }
    EXPECT_EQ(said.lastState, BoardState::Running);
    ASSERT_TRUE(shown.upcoming);
    EXPECT_EQ(shown.upcoming->rows.size(), 1u) << "Race B, read through the slow share";
}

}  // namespace
}  // namespace pelm
