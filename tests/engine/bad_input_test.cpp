// What the schedule writer may leave behind, and what the board makes of
// it: every case ends in a board that runs, shows an error the operator can
// read, or waits; none crashes, hangs, or changes the files.

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "engine/board_connection.h"
#include "engine/schedule.h"
#include "platform/codepage.h"
#include "support/cp932_bytes.h"
#include "support/error_message.h"
#include "support/headless_board.h"

using pelm::testing::cp932Bytes;

namespace pelm {
namespace {

class BadInput : public testing::HeadlessBoard {
protected:
    BadInput() { clock.set(testing::at(10, 0)); }

    /// One refresh over `schedule`: the message of its error or of the line
    /// it left out, or "" when none.
    std::string refreshWith(const std::string& schedule) {
        folder.writeSchedule(schedule);
        std::string leftOut;
        const std::string failure =
            testing::errorMessage([&] { leftOut = refresh().problem.value_or(Cp932()).bytes(); });
        EXPECT_EQ(folder.root().read("data/RInfo.txt"), schedule) << "the board changed the file";
        return failure.empty() ? leftOut : failure;
    }

    std::size_t rowsShown() const { return board.upcoming ? board.upcoming->rows.size() : 0; }
};

TEST_F(BadInput, BinaryGarbageEndsInAReadableErrorOrAnEmptyDay) {
    std::mt19937 random(7);
    for (int attempt = 0; attempt < 20; ++attempt) {
        std::string garbage(4096, '\0');
        for (char& byte : garbage) byte = static_cast<char>(random() % 256);
        std::string message = refreshWith(garbage);
        if (!message.empty()) {
            EXPECT_TRUE(message.find(cp932Bytes("時刻ではありません")) != std::string::npos ||
                        message.find("NUL") != std::string::npos)
                << message;
        }
    }
}

TEST_F(BadInput, AOneMegabyteLineIsCutLikeAnyOther) {
    const std::string title(1 << 20, 'T');
    EXPECT_EQ(refreshWith("10:30:00,11:00:00," + title + "\r\n"), "");
    ASSERT_EQ(rowsShown(), 2u);
    EXPECT_EQ(board.upcoming->text(1, board.upcoming->columnIndex("rmenu")).bytes(),
              std::string(40, 'T'));
    EXPECT_EQ(refreshWith(std::string(1 << 20, '9') + ",11:00:00,x\r\n"),
              notATimeMessage("99999999").bytes());
}

// A writer that appends instead of replacing: the board shows the first
// part of the day, says why, and its table file shrinks back afterwards.
TEST_F(BadInput, AnOutsizedScheduleShowsItsFirstPartAndTheTableShrinksAfter) {
    std::string schedule;
    for (int race = 0; race < 100000; ++race) {
        int second = race % 3600;
        schedule += "11:" + std::to_string(second / 60 / 10) + std::to_string(second / 60 % 10) +
                    ":" + std::to_string(second % 60 / 10) + std::to_string(second % 10) +
                    ",12:00:00,Race " + std::to_string(race) + "\r\n";
    }
    EXPECT_EQ(refreshWith(schedule), scheduleCutMessage(settings.dataDir).bytes());
    EXPECT_EQ(rowsShown(), kScheduleLimits.maxLines + 1);  // and the before-first-race row
    const auto table = std::filesystem::path(folder.dataPath()) / "rmenutxt.db";
    const auto outsizedBytes = std::filesystem::file_size(table);

    EXPECT_EQ(refreshWith("11:00:00,12:00:00,One race\r\n"), "");
    EXPECT_EQ(rowsShown(), 2u);
    EXPECT_LT(std::filesystem::file_size(table) * 10, outsizedBytes);
}

TEST_F(BadInput, InvalidShiftJisAndQuotesAreStoredAsWritten) {
    const std::string title =
        "bad\x82\xFF\x81"
        "O'Brien'); --";
    EXPECT_EQ(refreshWith("10:30:00,11:00:00," + title + "\r\n"), "");
    ASSERT_EQ(rowsShown(), 2u);
    EXPECT_EQ(board.upcoming->text(1, board.upcoming->columnIndex("rmenu")).bytes(), title);
}

// A NUL ends the text, as a byte rule, but never silently: a schedule saved
// as UTF-16 would otherwise give a blank board that says all is well.
TEST_F(BadInput, ANulEndsTheScheduleAndSaysHowMuchWentUnread) {
    // What is left of the first line has two fields: skipped, an empty day.
    std::string message =
        refreshWith(std::string("10:30:00,11:00\0:00,A\r\n11:00:00,11:30:00,B\r\n", 41));
    EXPECT_FALSE(board.curtainVisible);
    EXPECT_EQ(rowsShown(), 0u);
    EXPECT_NE(message.find("RInfo.txt"), std::string::npos) << message;
    EXPECT_NE(message.find(" 27 "), std::string::npos) << "bytes from the NUL on: " << message;

    const std::string utf16 = std::string(
        "\xFF\xFE"
        "1\0"
        "0\0",
        6);
    message = refreshWith(utf16);
    EXPECT_NE(message.find(" 3 "), std::string::npos) << message;
    EXPECT_EQ(rowsShown(), 0u);

    message =
        refreshWith(std::string("\0"
                                "10:30:00,11:00:00,A\r\n",
                                22));
    EXPECT_TRUE(board.curtainVisible);  // nothing before the NUL: the board waits
    EXPECT_NE(message.find(" 22 "), std::string::npos) << message;

    EXPECT_EQ(refreshWith("10:30:00,11:00:00,A\r\n"), "") << "gone with the NUL";
}

// The data folder is one others may write: a link planted at the
// schedule's name must not put whatever it points at on the big screen.
TEST_F(BadInput, AScheduleThatIsALinkIsNotReadThroughIt) {
    folder.root().write("elsewhere.txt", "10:30:00,11:00:00,Secret\r\n");
    const std::string schedule = folder.dataPath() + "/RInfo.txt";
    std::filesystem::remove(schedule);
    std::filesystem::create_symlink(folder.root() / "elsewhere.txt", schedule);
    EXPECT_EQ(refresh().state, BoardState::NotConnected);
    EXPECT_EQ(rowsShown(), 0u);
}

TEST_F(BadInput, CrOnlyBreaksStartsAfterEndsAndShortFirstLines) {
    EXPECT_EQ(refreshWith("10:30:00,11:00:00,A\r11:00:00,11:30:00,B\r"), "");
    EXPECT_EQ(rowsShown(), 3u);
    // A race ending before it starts is stored; its end decides whether it shows.
    EXPECT_EQ(refreshWith("11:00:00,10:30:00,Backwards\r\n"), "");
    EXPECT_EQ(rowsShown(), 2u);
    EXPECT_EQ(refreshWith("10:30:00,11:00:00\r\n10:45:00,11:15:00,Second\r\n"), "");
    EXPECT_EQ(rowsShown(), 1u);  // no before-first-race row: the first line was skipped
}

TEST_F(BadInput, AHugeOrUndecodableNoticeShowsWhole) {
    const std::string notice = std::string(1 << 20, 'n') + "\r\n\x82\xFF\xFD\r\n";
    folder.writeNotice(notice);
    EXPECT_EQ(refreshWith("10:30:00,11:00:00,A\r\n"), "");
    EXPECT_TRUE(board.noticeVisible);
    EXPECT_EQ(board.notice.bytes(), notice);
    EXPECT_EQ(folder.root().read("data/RInfomem.txt"), notice);
}

TEST(BadEngineConfiguration, EachFailsTheOpenWithItsOwnMessage) {
    testing::TempFolder folder;
    std::filesystem::create_directory(folder.path() / "data");
    const std::vector<Cp932> parameters = boardConnectionParameters(utf8ToCp932(folder / "data"));
    const std::string config = folder / "dbengine.ini";
    auto openMessage = [&] {
        return testing::errorMessage([&] { Database database("Pelm", parameters, {config}); });
    };
    const std::string missing = openMessage();
    folder.write("dbengine.ini", std::string("\xFF\x00[[[\r\n=\xFE", 9));
    const std::string garbage = openMessage();
    folder.write("dbengine.ini", "[Pelm]\r\nDEFAULT DRIVER=PARADOX\r\n");
    const std::string withoutPath = openMessage();
    for (const std::string& message : {missing, garbage, withoutPath})
        EXPECT_FALSE(message.empty());
    EXPECT_NE(missing, garbage);
    EXPECT_NE(garbage, withoutPath);
    EXPECT_NE(withoutPath.find("PATH"), std::string::npos) << testing::utf8Of(withoutPath);
}

}  // namespace
}  // namespace pelm
