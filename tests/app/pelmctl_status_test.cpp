// `pelmctl status`, run as the operator runs it, against status files the
// tests write as a board would.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <filesystem>

#include "engine/board_status.h"
#include "platform/process_alive.h"
#include "platform/status_folder.h"
#include "support/dead_process.h"
#include "support/run_program.h"
#include "support/temp_folder.h"

namespace pelm {
namespace {

using testing::TempFolder;

using testing::Outcome;

// A board as its status file describes it, `ageMs` after its last refresh.
BoardStatus boardStatus(const QString& folder, qint64 ageMs, qint64 pid = getpid()) {
    const QDateTime now = QDateTime::currentDateTimeUtc();
    BoardStatus status;
    status.pid = pid;
    status.pidStartTicks = processStartTicks(static_cast<pid_t>(pid));
    status.startedAt = now.addSecs(-3600);
    status.lastRefreshAt = now.addMSecs(-ageMs);
    status.refreshesLastMinute = 240;
    status.state = BoardState::Running;
    status.rows = {{"10:40:00", "10:45:00", QString::fromUtf8("第1レース")}};
    status.host = "kiosk-1";
    status.workingFolder = canonicalFolder(folder);
    status.version = "1.3.0";
    return status;
}

class PelmctlStatus : public ::testing::Test {
protected:
    QString boardFolder() const { return QString::fromStdString(board.path().string()); }

    void writeLocal(const BoardStatus& status) {
        std::filesystem::create_directories(runtime / "pelm");
        chmod((runtime / "pelm").c_str(), 0700);  // as the board makes it
        runtime.write("pelm/" + localStatusName(boardKey(status.workingFolder)).toStdString(),
                      statusJson(status).toStdString());
    }

    Outcome pelmctl(const std::string& arguments) const {
        return testing::runProgram(
            "XDG_RUNTIME_DIR='" + runtime.path().string() + "' '" PELMCTL_PATH "' " + arguments,
            board.path());
    }

    QJsonObject json(const std::string& arguments) const {
        return QJsonDocument::fromJson(QByteArray::fromStdString(pelmctl(arguments).output))
            .object();
    }

    TempFolder board, runtime;
};

struct LocalCase {
    const char* name;
    qint64 ageMs;
    bool error;
    bool deadProcess;
    BoardState state;
    int exit;
    const char* verdict;
};

TEST_F(PelmctlStatus, ThisFoldersBoardByFreshnessErrorAndProcess) {
    const LocalCase cases[] = {
        {"fresh", 300, false, false, BoardState::Running, 0, "fine"},
        {"waiting", 300, false, false, BoardState::Waiting, 0, "fine"},
        {"old refresh", 10'000, false, false, BoardState::Running, 1, "not refreshing"},
        {"error", 300, true, false, BoardState::Running, 1, "error"},
        {"not connected", 300, false, false, BoardState::NotConnected, 1, "not connected"},
        {"dead pid", 300, false, true, BoardState::Running, 3, "not running"},
        {"stopped", 300, false, false, BoardState::Stopped, 3, "not running"},
    };
    for (const LocalCase& c : cases) {
        BoardStatus status =
            boardStatus(boardFolder(), c.ageMs, c.deadProcess ? testing::deadProcess() : getpid());
        status.state = c.state;
        if (c.error) status.error = "table locked", status.errorCount = 7;
        writeLocal(status);
        EXPECT_EQ(pelmctl("status").status, c.exit) << c.name;
        const QJsonObject object = json("status --json");
        EXPECT_EQ(object["verdict"].toString(), c.verdict) << c.name;
        EXPECT_EQ(object["workingFolder"].toString(), status.workingFolder) << c.name;
    }
}

TEST_F(PelmctlStatus, WithoutABoardSaysSoAndExitsThree) {
    const Outcome outcome = pelmctl("status");
    EXPECT_EQ(outcome.status, 3);
    EXPECT_NE(outcome.output.find("No board runs"), std::string::npos) << outcome.output;
    EXPECT_EQ(pelmctl("status --all").status, 3);
}

TEST_F(PelmctlStatus, TextShowsTheNowRaceTheErrorAndItsCount) {
    BoardStatus status = boardStatus(boardFolder(), 300);
    status.error = QString::fromUtf8("表が使用中です");
    status.errorCount = 7;
    writeLocal(status);
    const Outcome outcome = pelmctl("status");
    EXPECT_EQ(outcome.status, 1);
    EXPECT_NE(outcome.output.find("10:40:00-10:45:00 第1レース"), std::string::npos)
        << outcome.output;
    EXPECT_NE(outcome.output.find("表が使用中です (7 times)"), std::string::npos) << outcome.output;
}

TEST_F(PelmctlStatus, AllJudgesEveryRunningBoardAndIgnoresTheDead) {
    TempFolder other, gone;
    writeLocal(boardStatus(boardFolder(), 300));
    writeLocal(
        boardStatus(QString::fromStdString(gone.path().string()), 300, testing::deadProcess()));
    EXPECT_EQ(pelmctl("status --all").status, 0);
    EXPECT_EQ(json("status --all --json")["boards"].toArray().size(), 2);

    writeLocal(boardStatus(QString::fromStdString(other.path().string()), 30'000));
    EXPECT_EQ(pelmctl("status --all").status, 1);
}

TEST_F(PelmctlStatus, VenueListsEveryBoardAndCallsOldOnesStale) {
    TempFolder venue;
    auto place = [&](const char* host, qint64 ageMs, bool error) {
        BoardStatus status = boardStatus(QString("/home/pelm/") + host, ageMs, 1);
        status.host = host;
        if (error) status.error = "disk full", status.errorCount = 3;
        venue.write(venueStatusName(host, boardKey(status.workingFolder)).toStdString(),
                    statusJson(status).toStdString());
    };
    place("kiosk-a", 500, false);
    place("kiosk-b", 5000, false);  // fresh enough across hosts
    const std::string listing = "status --venue '" + venue.path().string() + "'";
    EXPECT_EQ(pelmctl(listing).status, 0);

    place("kiosk-c", 60'000, false);
    place("kiosk-d", 500, true);
    const Outcome outcome = pelmctl(listing);
    EXPECT_EQ(outcome.status, 1);
    EXPECT_NE(outcome.output.find("kiosk-a /home/pelm/kiosk-a: running"), std::string::npos)
        << outcome.output;
    EXPECT_NE(outcome.output.find("kiosk-c /home/pelm/kiosk-c: stale"), std::string::npos)
        << outcome.output;
    EXPECT_NE(outcome.output.find("kiosk-d /home/pelm/kiosk-d: error"), std::string::npos)
        << outcome.output;
    EXPECT_NE(outcome.output.find("  error: disk full (3 times)"), std::string::npos)
        << outcome.output;
    EXPECT_NE(outcome.output.find(" s ago, now 10:40:00-10:45:00 第1レース\n"), std::string::npos)
        << outcome.output;
    venue.write("kiosk-e-cut.json", "{\"pid\": 7, \"state\": ");  // a copy another host is writing

    QStringList verdicts;
    for (const QJsonValue& board : json(listing + " --json")["boards"].toArray())
        verdicts << board["host"].toString() + " " + board["verdict"].toString();
    EXPECT_EQ(verdicts,
              (QStringList{"kiosk-a fine", "kiosk-b fine", "kiosk-c stale", "kiosk-d error"}));
}

// Somebody else made the folder first (as anyone can under /tmp) and left a
// status there that looks fine: nothing in it is believed, as the board
// would not use the folder either.
TEST_F(PelmctlStatus, AForgedStatusInAFolderOthersCouldWriteIsNeverFine) {
    writeLocal(boardStatus(boardFolder(), 300));
    ASSERT_EQ(pelmctl("status").status, 0);

    chmod((runtime / "pelm").c_str(), 0777);
    for (const char* form : {"status", "status --all", "status --json"}) {
        const Outcome outcome = pelmctl(form);
        EXPECT_NE(outcome.status, 0) << form;
        EXPECT_EQ(outcome.output.find("fine"), std::string::npos) << form << outcome.output;
        EXPECT_NE(outcome.output.find("refused"), std::string::npos) << form << outcome.output;
    }
    if (geteuid() != 0) return;  // a second user needs root; the mode case stands alone
    chmod((runtime / "pelm").c_str(), 0700);
    ASSERT_EQ(chown((runtime / "pelm").c_str(), 65534, 65534), 0);
    EXPECT_NE(pelmctl("status").status, 0);
}

TEST_F(PelmctlStatus, AVenueCopyThatIsALinkIsNotFollowed) {
    TempFolder venue, elsewhere;
    BoardStatus status = boardStatus("/home/pelm/kiosk-a", 500, 1);
    status.host = "kiosk-a";
    elsewhere.write("copy.json", statusJson(status).toStdString());
    std::filesystem::create_symlink(elsewhere / "copy.json", venue / "kiosk-a.json");
    const Outcome outcome = pelmctl("status --venue '" + venue.path().string() + "'");
    EXPECT_EQ(outcome.status, 1);
    EXPECT_NE(outcome.output.find("No board status"), std::string::npos) << outcome.output;
}

TEST_F(PelmctlStatus, AnEmptyOrMissingVenueIsAFault) {
    TempFolder venue;
    const Outcome empty = pelmctl("status --venue '" + venue.path().string() + "'");
    EXPECT_EQ(empty.status, 1);
    EXPECT_NE(empty.output.find("No board status"), std::string::npos) << empty.output;
    EXPECT_EQ(pelmctl("status --venue '" + (venue / "gone") + "'").status, 1);
    EXPECT_EQ(pelmctl("status --venue x --all").status, 2);
}

}  // namespace
}  // namespace pelm
