#include "engine/board_health.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QSysInfo>
#include <filesystem>

#include "platform/codepage.h"
#include "platform/local_status_folder.h"
#include "support/journal_capture.h"
#include "support/manual_clock.h"
#include "support/temp_folder.h"

namespace pelm {
namespace {

using testing::JournalCapture;
using testing::TempFolder;
using Lines = std::vector<std::string>;
using enum BoardState;

std::shared_ptr<const ResultSet> races(std::vector<std::string> titles) {
    auto set = std::make_shared<ResultSet>();
    set->columns = {"btime", "kara", "etime", "rmenu"};
    for (const std::string& title : titles)
        set->rows.push_back(
            {cp932Ascii("10:40:00"), cp932Ascii("-"), cp932Ascii("10:45:00"), utf8ToCp932(title)});
    return set;
}

class BoardHealthTest : public ::testing::Test {
protected:
    BoardHealthConfig config(QString venue = {}) const {
        return {QString::fromStdString(board.path().string()),
                "1.3.0",
                std::move(venue),
                QString::fromStdString(localStatusFolder.path().string()),
                {},
                {}};
    }

    BoardStatus fileStatus(const QString& path) const {
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
        auto status = parseStatus(file.readAll());
        EXPECT_TRUE(status) << path.toStdString();
        return status.value_or(BoardStatus{});
    }
    // The board's own status file, in the status folder it was given.
    QString localStatusFile() const {
        return QString::fromStdString(localStatusFolder.path().string()) + "/" +
               localStatusName(boardKey(QString::fromStdString(board.path().string())));
    }
    BoardStatus onFile() const { return fileStatus(localStatusFile()); }
    // The copy a board of this folder keeps in `venue`.
    QString venueCopy(const std::filesystem::path& venue) const {
        return QString::fromStdString(venue.string()) + "/" +
               venueStatusName(QSysInfo::machineHostName(),
                               boardKey(QString::fromStdString(board.path().string())));
    }
    qint64 lastRefreshOnFile() const { return onFile().lastRefreshAt.toMSecsSinceEpoch(); }

    void refresh(BoardState state = Running) {
        health.showingUpcoming(races({"1R", "2R"}));
        health.showingPreviousRace(utf8ToCp932("開会式"));
        health.refreshed(state);
    }

    JournalCapture journal;
    TempFolder board, localStatusFolder;
    ManualClock time;
    BoardHealth health{time, config()};
};

TEST_F(BoardHealthTest, StartingWritesWhoWhereAndWhenAtOnce) {
    health.started();
    const BoardStatus status = onFile();
    EXPECT_EQ(status.state, Starting);
    EXPECT_EQ(status.pid, getpid());
    EXPECT_EQ(status.startedAt.toMSecsSinceEpoch(), time.nowMs());
    EXPECT_EQ(status.workingFolder, canonicalFolder(QString::fromStdString(board.path().string())));
    EXPECT_EQ(status.version, "1.3.0");
    EXPECT_FALSE(status.lastRefreshAt.isValid());
}

TEST_F(BoardHealthTest, RefreshesWithinASecondWriteOnceAStateChangeWritesAtOnce) {
    health.started();
    refresh();  // a change: written
    const qint64 first = time.nowMs();
    EXPECT_EQ(lastRefreshOnFile(), first);
    time.advanceMs(250);
    refresh();
    time.advanceMs(250);
    refresh();
    EXPECT_EQ(lastRefreshOnFile(), first);  // throttled
    time.advanceMs(500);
    refresh();
    EXPECT_EQ(lastRefreshOnFile(), first + 1000);
    time.advanceMs(250);
    health.refreshed(Waiting);
    EXPECT_EQ(onFile().state, Waiting);
    EXPECT_EQ(lastRefreshOnFile(), first + 1250);
}

TEST_F(BoardHealthTest, TheFileHoldsTheRowsThePreviousRaceAndTheRefreshesOfTheLastMinute) {
    health.started();
    for (int tick = 0; tick < 8; ++tick, time.advanceMs(250)) refresh();
    time.advanceMs(60'000);
    refresh();
    time.advanceMs(1000);
    refresh();
    const BoardStatus status = onFile();
    EXPECT_EQ(status.refreshesLastMinute, 2);
    ASSERT_EQ(status.rows.size(), 2);
    EXPECT_EQ(status.rows[0], (ShownRace{"10:40:00", "10:45:00", "1R"}));
    EXPECT_EQ(status.previousRace, QString::fromUtf8("開会式"));
}

TEST_F(BoardHealthTest, AnErrorIsWrittenAtOnceCountedAndClearedByTheNextCleanRefresh) {
    health.started();
    refresh();
    journal.take();
    for (int tick = 0; tick < 5; ++tick, time.advanceMs(250))
        health.failed(utf8ToCp932("表が使用中です"));
    EXPECT_EQ(onFile().error, QString::fromUtf8("表が使用中です"));
    time.advanceMs(1000);
    health.failed(utf8ToCp932("表が使用中です"));
    EXPECT_EQ(onFile().errorCount, 6);
    refresh();
    EXPECT_EQ(onFile().error, std::nullopt);
    EXPECT_EQ(journal.take(), (Lines{"<3>表が使用中です",
                                     "<6>recovered after 2 s, occurred 6 times: 表が使用中です"}));
}

// A line left out of every refresh is one lasting error, not a new error
// and a recovery four times a second.
TEST_F(BoardHealthTest, ALineLeftOutAtEveryRefreshIsOneErrorCountedUntilAFixedScheduleClearsIt) {
    health.started();
    refresh();
    journal.take();
    const std::optional<Cp932> leftOut = utf8ToCp932("'2x:00:00' は時刻ではありません");
    for (int tick = 0; tick < 8; ++tick, time.advanceMs(250)) health.refreshed(Running, leftOut);
    EXPECT_EQ(onFile().error, QString::fromUtf8("'2x:00:00' は時刻ではありません"));
    time.advanceMs(1000);  // past the write throttle
    health.refreshed(Running, leftOut);
    EXPECT_EQ(onFile().errorCount, 9);
    EXPECT_EQ(onFile().refreshesLastMinute, 10);
    refresh();
    EXPECT_EQ(onFile().error, std::nullopt);
    EXPECT_EQ(journal.take(),
              (Lines{"<3>'2x:00:00' は時刻ではありません",
                     "<6>recovered after 3 s, occurred 9 times: '2x:00:00' は時刻ではありません"}));
}

TEST_F(BoardHealthTest, EachWriteReplacesTheFileLeavingNothingElseBehind) {
    health.started();
    struct stat before {
    }, after{};
    stat(QFile::encodeName(localStatusFile()).constData(), &before);
    refresh();
    stat(QFile::encodeName(localStatusFile()).constData(), &after);
    EXPECT_NE(before.st_ino, after.st_ino);  // a new file renamed over the old one
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(localStatusFolder.path()), {}), 1);
}

TEST_F(BoardHealthTest, StoppingMarksTheFileStoppedAndSaysSo) {
    health.started();
    refresh();
    health.stopped();
    EXPECT_EQ(onFile().state, Stopped);
    EXPECT_EQ(journal.take().back(), "<6>stopped");
}

TEST_F(BoardHealthTest, AVenueCopyIsNamedByHostAndFolderAndMatchesTheLocalFile) {
    TempFolder venue;
    BoardHealth copied(time, config(QString::fromStdString(venue.path().string())));
    copied.started();
    copied.refreshed(Running);
    ASSERT_TRUE(copied.waitForVenueCopy(5000));
    EXPECT_EQ(fileStatus(venueCopy(venue.path())), fileStatus(localStatusFile()));
}

// A venue deploys a new StatusDir or Name while the board runs: the copy
// goes to the new folder at once, under the new name, and the old folder
// is told the board stopped reporting there.
TEST_F(BoardHealthTest, FollowingTheVenueMovesTheCopyAndLeavesStoppedBehind) {
    TempFolder first, second;
    BoardHealth copied(time, config(QString::fromStdString(first.path().string())));
    copied.started();
    copied.refreshed(Running);
    copied.followVenue(QString::fromStdString(second.path().string()), "パドック");
    ASSERT_TRUE(copied.waitForVenueCopy(5000));
    EXPECT_EQ(fileStatus(venueCopy(first.path())).state, Stopped);
    const BoardStatus moved = fileStatus(venueCopy(second.path()));
    EXPECT_EQ(moved.state, Running);
    EXPECT_EQ(moved.name, "パドック");
}

TEST_F(BoardHealthTest, AVenueFolderThatIsGoneIsOneWarningNotAnErrorAndItsReturnIsNoted) {
    TempFolder venue;
    const QString gone = QString::fromStdString(venue / "share");
    BoardHealth copied(time, config(gone));
    copied.started();
    for (int tick = 0; tick < 3; ++tick) {
        time.advanceMs(1000);
        copied.refreshed(Running);
        ASSERT_TRUE(copied.waitForVenueCopy(5000));
    }
    std::filesystem::create_directory(venue / "share");
    time.advanceMs(1000);
    copied.refreshed(Running);
    ASSERT_TRUE(copied.waitForVenueCopy(5000));
    Lines warnings;
    for (const std::string& line : journal.take())
        if (line.find("status copy") != std::string::npos) warnings.push_back(line.substr(0, 13));
    EXPECT_EQ(warnings, (Lines{"<4>status cop", "<6>recovered "}));
    EXPECT_TRUE(QFile::exists(venueCopy(venue / "share")));
}

}  // namespace
}  // namespace pelm
