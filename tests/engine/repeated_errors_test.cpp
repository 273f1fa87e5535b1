#include "engine/repeated_errors.h"

#include <gtest/gtest.h>

#include "platform/codepage.h"
#include "support/cp932_bytes.h"
#include "support/journal_capture.h"
#include "support/manual_clock.h"

using pelm::testing::cp932Bytes;

namespace pelm {
namespace {

using testing::JournalCapture;
using Lines = std::vector<std::string>;

constexpr qint64 kTick = 250;  // a refresh

class RepeatedErrorsTest : public ::testing::Test {
protected:
    // The error on `ticks` refreshes in a row, one tick apart.
    void repeat(const QString& message, int ticks) {
        for (int i = 0; i < ticks; ++i) {
            errors.occurred(message);
            time.advanceMs(kTick);
        }
    }

    JournalCapture journal;
    ManualClock time;
    RepeatedErrors errors{time, QtCriticalMsg};
};

TEST_F(RepeatedErrorsTest, FirstOccurrenceIsLoggedAtOnceRepeatsAreCountedSilently) {
    repeat("table locked", 100);
    EXPECT_EQ(journal.take(), Lines{"<3>table locked"});
    EXPECT_TRUE(errors.active());
    EXPECT_EQ(errors.count(), 100);
}

TEST_F(RepeatedErrorsTest, AnErrorStillRepeatingIsLoggedAgainEveryTenMinutesWithItsCount) {
    const int perTenMinutes = RepeatedErrors::kReportIntervalMs / kTick;
    repeat("table locked", 2 * perTenMinutes + 1);
    EXPECT_EQ(
        journal.take(),
        (Lines{"<3>table locked",
               "<3>table locked (repeated 2400 times in the last 10 min, 2401 times in all)",
               "<3>table locked (repeated 2400 times in the last 10 min, 4801 times in all)"}));
}

TEST_F(RepeatedErrorsTest, ClearingSaysHowOftenAndHowLongThenForgets) {
    repeat("table locked", 3);
    time.advanceMs(90'000 - 3 * kTick);
    errors.cleared();
    errors.cleared();
    EXPECT_EQ(journal.take(), (Lines{"<3>table locked",
                                     "<6>recovered after 90 s, occurred 3 times: table locked"}));
    EXPECT_FALSE(errors.active());
    EXPECT_EQ(errors.count(), 0);

    repeat("table locked", 1);  // back again: a new first occurrence
    errors.cleared();
    EXPECT_EQ(journal.take(),
              (Lines{"<3>table locked", "<6>recovered after 0 s, occurred once: table locked"}));
}

TEST_F(RepeatedErrorsTest, ADifferentErrorIsLoggedAtOnceAndIsNoRecovery) {
    repeat("no space left on device", 2);
    repeat("refused", 1);
    EXPECT_EQ(journal.take(), (Lines{"<3>no space left on device", "<3>refused"}));
    EXPECT_EQ(errors.current(), "refused");
    EXPECT_EQ(errors.count(), 1);

    time.advanceMs(60'000 - 3 * kTick);
    errors.cleared();
    EXPECT_EQ(journal.take(), Lines{"<6>recovered after 60 s, occurred once: refused"})
        << "the trouble is timed from its first message";
}

TEST_F(RepeatedErrorsTest, AClockSetBackDoesNotSilenceTheError) {
    repeat("table locked", 2);
    time.advanceMs(-3'600'000);
    errors.occurred("table locked");
    const Lines lines = journal.take();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[1].find("3 times in all"), std::string::npos) << lines[1];
}

TEST_F(RepeatedErrorsTest, BoardMessagesAreDecodedAndWarningsKeepTheirLevel) {
    errors.occurredCp932(utf8ToCp932("'25:00:00' は時刻ではありません"));
    RepeatedErrors warnings(time, QtWarningMsg);
    warnings.occurred("share gone");
    EXPECT_EQ(journal.take(), (Lines{"<3>'25:00:00' は時刻ではありません", "<4>share gone"}));
}

}  // namespace
}  // namespace pelm
