// A board whose system clock is not synchronised, as its status file and
// `pelmctl status` tell the operator: the board's own health keeping writes
// the files, with the synchronisation read through a source the test sets.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QJsonDocument>
#include <QJsonObject>

#include "engine/board_health.h"
#include "engine/clock_sync_watch.h"
#include "support/manual_clock.h"
#include "support/run_program.h"
#include "support/temp_folder.h"

namespace pelm {
namespace {

using testing::Outcome;
using testing::TempFolder;

class ToldClockSync : public ClockSyncSource {
public:
    std::optional<ClockSync> read() const override { return ClockSync{false, 16000}; }
};

QString text(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

TEST(PelmctlStatusClock, AClockNotSynchronisedIsSaidForThisBoardAndForTheVenue) {
    TempFolder board, runtime, venue;
    ASSERT_EQ(mkdir((runtime / "pelm").c_str(), 0700), 0);
    ManualClock time(QDateTime::currentMSecsSinceEpoch());
    ToldClockSync source;
    ClockSyncWatch watch(source, time);
    BoardHealth health(
        time, {text(board.path()), "1.3.0", text(venue.path()), text(runtime / "pelm"), {}, {}});
    health.started();
    ASSERT_TRUE(watch.check());
    health.clockChecked(watch.current());
    health.refreshed(BoardState::Running);
    ASSERT_TRUE(health.waitForVenueCopy(5000));

    const std::string pelmctl =
        "XDG_RUNTIME_DIR='" + runtime.path().string() + "' '" PELMCTL_PATH "' status";
    const Outcome local = testing::runProgram(pelmctl, board.path());
    EXPECT_NE(local.output.find("not synchronised"), std::string::npos) << local.output;
    const Outcome json = testing::runProgram(pelmctl + " --json", board.path());
    EXPECT_EQ(QJsonDocument::fromJson(QByteArray::fromStdString(json.output))
                  .object()["clockSynchronised"],
              false)
        << json.output;
    const Outcome overview =
        testing::runProgram(pelmctl + " --venue '" + venue.path().string() + "'", board.path());
    EXPECT_NE(overview.output.find("not synchronised"), std::string::npos) << overview.output;
}

}  // namespace
}  // namespace pelm
