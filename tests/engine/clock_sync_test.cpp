// The system clock's synchronisation, read through a source the test sets,
// as the journal and the status file report it.

#include <gtest/gtest.h>

#include <QFile>

#include "engine/board_health.h"
#include "engine/clock_sync_watch.h"
#include "platform/local_status_folder.h"
#include "support/journal_capture.h"
#include "support/manual_clock.h"
#include "support/temp_folder.h"

namespace pelm {
namespace {

using testing::JournalCapture;
using testing::TempFolder;
using Lines = std::vector<std::string>;

// What the kernel would say, set by the test.
class ToldClockSync : public ClockSyncSource {
public:
    std::optional<ClockSync> read() const override { return told; }
    std::optional<ClockSync> told;
};

class ClockSyncTest : public ::testing::Test {
protected:
    // One beat of the board: the watch checks, the status file hears of it.
    void beat(qint64 afterMs) {
        time.advanceMs(afterMs);
        if (watch.check()) health.clockChecked(watch.current());
    }

    QString localStatusFile() const {
        return QString::fromStdString(localStatusFolder.path().string()) + "/" +
               localStatusName(boardKey(QString::fromStdString(board.path().string())));
    }

    BoardStatus onFile() const {
        QFile file(localStatusFile());
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        return parseStatus(file.readAll()).value_or(BoardStatus{});
    }

    // The journal's lines about the clock, without the error estimate.
    Lines clockLines() {
        Lines lines;
        for (const std::string& line : journal.take())
            if (line.find("system clock") != std::string::npos)
                lines.push_back(line.substr(0, line.find(" (")));
        return lines;
    }

    JournalCapture journal;
    TempFolder board, localStatusFolder;
    ManualClock time;
    ToldClockSync source;
    ClockSyncWatch watch{source, time};
    BoardHealth health{time,
                       {QString::fromStdString(board.path().string()),
                        "1.3.0",
                        {},
                        QString::fromStdString(localStatusFolder.path().string()),
                        {},
                        {}}};
};

TEST_F(ClockSyncTest, AnUnsynchronisedClockIsWarnedOnceFiledAndItsSynchronisationSaid) {
    source.told = ClockSync{false, 16000};
    health.started();
    beat(0);
    EXPECT_EQ(onFile().clockSynchronised, false);
    EXPECT_EQ(onFile().clockMaxErrorMs, 16000);
    for (int minute = 0; minute < 3; ++minute) beat(ClockSyncWatch::kCheckIntervalMs);
    EXPECT_EQ(clockLines(), Lines{"<4>the system clock is not synchronised"});

    source.told = ClockSync{true, 12};
    beat(1000);  // read again only a minute after the last
    EXPECT_EQ(onFile().clockSynchronised, false);
    beat(ClockSyncWatch::kCheckIntervalMs);
    EXPECT_EQ(onFile().clockSynchronised, true);
    EXPECT_EQ(onFile().clockMaxErrorMs, 12);
    EXPECT_EQ(clockLines(), Lines{"<6>the system clock is synchronised"});
}

}  // namespace
}  // namespace pelm
