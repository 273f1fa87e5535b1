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
#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "engine/board_status.h"
#include "platform/local_status_folder.h"
#include "platform/process_alive.h"
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

    Outcome pelmctl(const std::string& arguments) const { return pelmctlIn(board, arguments); }

    Outcome pelmctlIn(const TempFolder& folder, const std::string& arguments) const {
        return testing::runProgram(
            "XDG_RUNTIME_DIR='" + runtime.path().string() + "' '" PELMCTL_PATH "' " + arguments,
            folder.path());
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
        {"waiting", 300, false, false, BoardState::Waiting, 0, "waiting"},
        {"old refresh", 10'000, false, false, BoardState::Running, 1, "not answering"},
        {"error", 300, true, false, BoardState::Running, 1, "error"},
        {"not connected", 300, false, false, BoardState::NotConnected, 1, "not connected"},
        {"dead pid", 300, false, true, BoardState::Running, 3, "stopped"},
        {"stopped", 300, false, false, BoardState::Stopped, 3, "stopped"},
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

// A monitoring script runs in a folder of its own: it must hear of the
// board that runs, not "no board"; a board's folder still speaks for its
// own board alone.
TEST_F(PelmctlStatus, OutsideABoardsFolderEveryBoardOfThisUserCounts) {
    writeLocal(boardStatus(boardFolder(), 300));
    TempFolder elsewhere, idleBoard;
    idleBoard.write("PelmDp.ini", "[Env]\r\n");
    const struct {
        const TempFolder& folder;
        int exit;
        const char* says;
    } cases[] = {{elsewhere, 0, "kiosk-1"}, {idleBoard, 3, "No board runs in"}};
    for (const auto& c : cases) {
        const Outcome outcome = pelmctlIn(c.folder, "status");
        EXPECT_EQ(outcome.status, c.exit) << outcome.output;
        EXPECT_NE(outcome.output.find(c.says), std::string::npos) << outcome.output;
    }
    const QJsonDocument all = QJsonDocument::fromJson(
        QByteArray::fromStdString(pelmctlIn(elsewhere, "status --json").output));
    EXPECT_EQ(all["boards"].toArray().size(), 1);
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

// Boards on other PCs, as their copies in a shared folder show them: a
// copy that keeps changing is a board that runs, whatever its clock says;
// one that does not change while pelmctl watches is not answering.
class LiveCopies {
public:
    explicit LiveCopies(TempFolder& venue) : venue_(venue) {}
    ~LiveCopies() {
        stop_ = true;
        if (writer_.joinable()) writer_.join();
    }
    // A copy rewritten every 200 ms with a fresh refresh time, `offsetMs`
    // off this PC's clock; or written once with `live` false.
    void add(BoardStatus status, qint64 offsetMs, bool live) {
        write(status, offsetMs);
        if (live) copies_.push_back({std::move(status), offsetMs});
    }
    void start() {
        writer_ = std::thread([this] {
            while (!stop_) {
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                for (const auto& [status, offset] : copies_) write(status, offset);
            }
        });
    }

private:
    void write(BoardStatus status, qint64 offsetMs) {
        const QDateTime board = QDateTime::currentDateTimeUtc().addMSecs(offsetMs);
        status.lastRefreshAt = status.writtenAt = board;
        const std::string name =
            venueStatusName(status.host, boardKey(status.workingFolder)).toStdString();
        venue_.write("." + name, statusJson(status).toStdString());
        std::filesystem::rename(venue_ / ("." + name), venue_ / name);
    }

    TempFolder& venue_;
    std::vector<std::pair<BoardStatus, qint64>> copies_;
    std::thread writer_;
    std::atomic<bool> stop_{false};
};

TEST_F(PelmctlStatus, VenueJudgesBoardsByTheirCopiesChangingNotByTheirClocks) {
    TempFolder venue;
    LiveCopies copies(venue);
    auto board = [](const char* host) {
        BoardStatus status = boardStatus(QString("/home/pelm/") + host, 0, 1);
        status.host = host;
        return status;
    };
    BoardStatus failing = board("kiosk-d");
    failing.error = "disk full", failing.errorCount = 3;
    BoardStatus named = board("kiosk-a");
    named.name = QString::fromUtf8("パドック");
    copies.add(named, 0, true);
    copies.add(board("kiosk-b"), 3600'000, true);  // an hour ahead, and running
    copies.add(board("kiosk-c"), 0, false);        // a fresh time, but no longer written
    copies.add(failing, 0, true);
    venue.write("kiosk-e-cut.json", "{\"pid\": 7, \"state\": ");  // no status
    venue.write("expected-boards.txt", "# the venue's screens\nパドック\n記者室\n");
    copies.start();
    const std::string listing = "status --venue '" + venue.path().string() + "'";

    const Outcome outcome = pelmctl(listing);
    EXPECT_EQ(outcome.status, 1);
    for (const char* line :
         {"kiosk-d (kiosk-d, /home/pelm/kiosk-d): error, running", "  error: disk full (3 times)",
          "kiosk-c (kiosk-c, /home/pelm/kiosk-c): not answering, running, changed not while "
          "watched",
          "記者室: missing", "パドック (kiosk-a, /home/pelm/kiosk-a): fine, running, changed ",
          "kiosk-b (kiosk-b, /home/pelm/kiosk-b): fine, running",
          "  clock: 3600 s ahead of this PC's", "kiosk-e-cut.json: damaged"})
        EXPECT_NE(outcome.output.find(line), std::string::npos) << line << "\n" << outcome.output;

    QStringList verdicts;
    for (const QJsonValue& board : json(listing + " --json")["boards"].toArray())
        verdicts << board["name"].toString() + " " + board["verdict"].toString();
    EXPECT_EQ(verdicts, (QStringList{"kiosk-d error", "kiosk-c not answering", "記者室 missing",
                                     "kiosk-b fine", "パドック fine"}));
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
