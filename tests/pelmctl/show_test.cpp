// pelmctl show and check, end to end: the built tool against a prepared
// working folder.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "engine/board_runner.h"
#include "platform/codepage.h"
#include "platform/time_of_day.h"
#include "support/board_folder.h"
#include "support/cp932_bytes.h"
#include "support/run_program.h"

using pelm::testing::cp932Bytes;

namespace pelm {
namespace {

using testing::Outcome;
using testing::runProgram;

// The tool under a deadline: a hang ends it with status 124 instead of
// stalling the suite.
Outcome pelmctlWithin(const std::string& arguments) {
    return runProgram("timeout 10 " + std::string(PELMCTL_PATH) + " " + arguments);
}

Outcome pelmctl(const std::string& arguments) {
    return runProgram(std::string(PELMCTL_PATH) + " " + arguments);
}

QJsonObject json(const Outcome& outcome) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(outcome.output)).object();
}

class PelmctlShow : public ::testing::Test {
protected:
    PelmctlShow() {
        folder.root().write("PelmDp.ini", "[Env]\r\nDataDir=" + folder.dataDir() + "\r\n");
        setenv("LANG", "ja_JP.UTF-8", 1);
    }
    testing::BoardFolder folder;
};

TEST_F(PelmctlShow, PrintsTheBoardAsJson) {
    folder.writeSchedule(
        cp932Bytes("10:00:00,10:30:00,第１レース\r\n10:30:00,11:00:00,第２レース\r\n"));
    folder.writeNotice(cp932Bytes("お知らせ\r\n"));
    Outcome outcome = pelmctl("show --at 10:40:00 --json");
    ASSERT_EQ(outcome.status, 0) << outcome.output;
    QJsonObject board = json(outcome);
    EXPECT_EQ(board["state"].toString(), "running");
    EXPECT_EQ(board["clock"].toString(), "10:40:00");
    EXPECT_EQ(board["previous"].toString(), QString::fromUtf8("第１レース"));
    EXPECT_FALSE(board["curtain"].toBool());
    EXPECT_TRUE(board["notice_shown"].toBool());
    EXPECT_EQ(board["notice"].toString(), QString::fromUtf8("お知らせ\r\n"));
    EXPECT_EQ(board["upper_height"].toInt(), 480);
    EXPECT_FALSE(board.contains("error"));
    QJsonArray rows = board["rows"].toArray();
    ASSERT_EQ(rows.size(), 1);
    QJsonObject row = rows[0].toObject();
    EXPECT_EQ(row["btime"].toString(), "10:30:00");
    EXPECT_EQ(row["kara"].toString(), "-");
    EXPECT_EQ(row["etime"].toString(), "11:00:00");
    EXPECT_EQ(row["rmenu"].toString(), QString::fromUtf8("第２レース"));
    EXPECT_EQ(row["stime"].toString(), "");
}

TEST_F(PelmctlShow, ReportsEachOutcomeByItsExitStatus) {
    folder.writeSchedule("");
    Outcome waiting = pelmctl("show --json");
    EXPECT_EQ(waiting.status, 0);
    EXPECT_EQ(json(waiting)["state"].toString(), "waiting");
    EXPECT_TRUE(json(waiting)["curtain"].toBool());

    // A line the board leaves out: it runs on the good lines, and says why.
    folder.writeSchedule("xx,10:30:00,A\r\n10:30:00,11:00:00,B\r\n");
    Outcome failed = pelmctl("show --json --at 10:40:00");
    EXPECT_EQ(failed.status, 1);
    EXPECT_EQ(json(failed)["state"].toString(), "running");
    EXPECT_EQ(json(failed)["rows"].toArray().size(), 1);
    EXPECT_EQ(json(failed)["clock"].toString(), "10:40:00");
    EXPECT_EQ(json(failed)["error"].toString(), QString::fromUtf8("'xx' は時刻ではありません"));

    folder.removeSchedule();
    Outcome offline = pelmctl("show --json");
    EXPECT_EQ(offline.status, 1);
    EXPECT_EQ(json(offline)["state"].toString(), "not connected");
    EXPECT_EQ(json(offline)["clock"].toString(), QString::fromUtf8("未接続"));

    EXPECT_EQ(pelmctl("show --at 25:00").status, 2);
    EXPECT_EQ(pelmctl("show --data /nonexistent/folder").status, 3);
    EXPECT_EQ(pelmctl("show --bogus").status, 2);
}

// A board that runs on the folder while show looks: the same rows, and its
// table file neither written nor locked by the look.
struct QuietEvents : RunnerEvents {
    void startFailed(const Cp932& message, bool) override { failure = message; }
    Cp932 failure;
};

TEST_F(PelmctlShow, LooksBesideARunningBoardWithoutWritingItsTable) {
    folder.writeSchedule("10:30:00,11:00:00,Race B\r\n10:35:00,11:10:00,Race C\r\n");
    setCurrentLocaleTime(LocaleTime::fromLocale(QLocale("ja_JP")));
    BoardSettings settings = BoardSettings::defaults();
    settings.dataDir = Cp932(folder.dataDir());
    FixedClock clock{TimeOfDay((10 * 3600 + 40 * 60) * 1000)};
    RecordingBoard board;
    QuietEvents events;
    BoardRunner runner(settings, clock, board, events, connectBoardDatabase);
    ASSERT_TRUE(runner.start()) << cp932ToUtf8(events.failure);
    runner.tick();
    ASSERT_TRUE(board.upcoming);

    const std::string table = folder.dataPath() + "/rmenutxt.db";
    struct stat before {
    }, after{};
    stat(table.c_str(), &before);
    const Outcome outcome = pelmctlWithin("show --json --at 10:40:00");
    stat(table.c_str(), &after);
    EXPECT_EQ(outcome.status, 0) << outcome.output;
    QStringList shown, onBoard;
    for (const QJsonValue& row : json(outcome)["rows"].toArray()) shown << row["rmenu"].toString();
    const int title = board.upcoming->columnIndex("rmenu");
    for (std::size_t row = 0; row < board.upcoming->rows.size(); ++row)
        onBoard << fromCp932(board.upcoming->text(row, title));
    EXPECT_EQ(shown, onBoard);
    EXPECT_EQ(shown, (QStringList{"Race B", "Race C"}));
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_EQ(after.st_size, before.st_size);
}

TEST_F(PelmctlShow, PrintsAReadablePicture) {
    folder.writeSchedule("10:30:00,11:00:00,Race B\r\n");
    Outcome outcome = pelmctl("show --at 10:40:00");
    EXPECT_EQ(outcome.status, 0);
    EXPECT_NE(outcome.output.find("Clock     10:40:00"), std::string::npos) << outcome.output;
    EXPECT_NE(outcome.output.find("10:30:00 - 11:00:00  Race B"), std::string::npos);
}

// The working folder's name reaches the file system as UTF-8, however the
// board spells it in CP932: a board in "会場" finds its own settings.
TEST_F(PelmctlShow, FindsTheSettingsInAWorkingFolderWithAJapaneseName) {
    folder.writeSchedule("10:30:00,11:00:00,Race B\r\n");
    const std::filesystem::path venue = folder.root().path() / "会場";
    std::filesystem::create_directory(venue);
    for (const char* file : {"PelmDp.ini", "dbengine.ini"})
        std::filesystem::copy_file(folder.root().path() / file, venue / file);
    const Outcome outcome = runProgram(std::string(PELMCTL_PATH) + " show --at 10:40:00", venue);
    EXPECT_EQ(outcome.status, 0) << outcome.output;
    EXPECT_NE(outcome.output.find("Race B"), std::string::npos) << outcome.output;
}

TEST_F(PelmctlShow, CheckReportsLinesCompilerStyle) {
    folder.writeSchedule("10:00:00,10:30:00,A\r\nxx,11:00:00,B\r\n10:00:00\r\n");
    Outcome outcome = pelmctl("check");
    EXPECT_EQ(outcome.status, 1);
    EXPECT_NE(outcome.output.find("RInfo.txt:2: error: start 'xx' is no time of day"),
              std::string::npos)
        << outcome.output;
    EXPECT_NE(outcome.output.find("RInfo.txt:3: warning:"), std::string::npos);

    folder.writeSchedule("10:00:00,10:30:00,A\r\n");
    EXPECT_EQ(pelmctl("check").status, 0);
    folder.removeSchedule();
    EXPECT_EQ(pelmctl("check").status, 1);
}

TEST_F(PelmctlShow, CheckWarnsOfANulByteAndCountsTheLinesItHides) {
    folder.writeSchedule(
        std::string("10:00:00,10:30:00,A\r\n10:30:00,11:00:00,B\0junk\r\n"
                    "11:00:00,11:30:00,C\r\n11:30:00,12:00:00,D\r\n",
                    89));
    Outcome outcome = pelmctl("check");
    EXPECT_EQ(outcome.status, 0) << outcome.output;
    EXPECT_NE(outcome.output.find("RInfo.txt:2: warning: NUL byte at offset 40: the board reads "
                                  "no further; 2 more lines after it are ignored"),
              std::string::npos)
        << outcome.output;
    EXPECT_NE(outcome.output.find("2 lines, 0 errors, 1 warnings"), std::string::npos)
        << outcome.output;
}

TEST_F(PelmctlShow, AScheduleThatIsAFifoIsNotConnectedAtOnce) {
    folder.removeSchedule();
    ASSERT_EQ(mkfifo((folder.dataPath() + "/RInfo.txt").c_str(), 0644), 0);
    Outcome shown = pelmctlWithin("show --json");
    EXPECT_EQ(shown.status, 1) << shown.output;
    EXPECT_EQ(json(shown)["state"].toString(), "not connected");
    Outcome checked = pelmctlWithin("check");
    EXPECT_EQ(checked.status, 1) << checked.output;
    EXPECT_NE(checked.output.find("RInfo.txt: error:"), std::string::npos) << checked.output;
}

}  // namespace
}  // namespace pelm
