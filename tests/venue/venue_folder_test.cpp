// Which copies a look reads when a folder anyone can write holds more than
// it reads: the venue's listed boards first, then those of owners that
// wrote a good copy before, then the newest; never the first by name.

#include "venue/venue_folder.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <thread>

#include "support/temp_folder.h"
#include "venue/venue_watch.h"

namespace pelm::venue {
namespace {

using namespace std::chrono_literals;

constexpr int kJunk = kMaxCopies + 88;
constexpr uid_t kNobody = 65534;

bool read(const FolderLook& look, const std::string& name) {
    return std::any_of(look.copies.begin(), look.copies.end(),
                       [&](const CopyFile& copy) { return copy.name == name; });
}

// A running board's copy, as a board writes it.
std::string runningCopy() {
    BoardStatus board;
    board.pid = 7;
    board.state = BoardState::Running;
    return statusJson(board).toStdString();
}

class Choice : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"pc-1-key.json", "zz-key.json"}) {
            folder_.write(name, runningCopy());
            std::filesystem::last_write_time(folder_ / name,
                                             std::filesystem::file_time_type::clock::now() - 1h);
        }
        for (int junk = 0; junk < kJunk; ++junk) {  // all newer, and first by name
            const std::string name = "j" + std::to_string(1000 + junk) + ".json";
            folder_.write(name, "{}");
            if (geteuid() == 0) {
                ASSERT_EQ(chown((folder_ / name).c_str(), kNobody, kNobody), 0);
            }
        }
        reader_.emplace(QString::fromStdString(folder_.path().string()), PictureBytes::None);
    }

    FolderLook lookWith(LookHints hints) {
        reader_->waitFor(5s);  // the look before
        EXPECT_TRUE(reader_->start(std::move(hints)));
        return reader_->waitFor(5s);
    }

    testing::TempFolder folder_;
    std::optional<VenueFolder> reader_;  // made once the folder is full
};

TEST_F(Choice, WithNothingKnownTheNewestAreReadAndTheRestCounted) {
    const FolderLook look = lookWith({});
    ASSERT_TRUE(look.complete);
    EXPECT_EQ(look.copies.size(), std::size_t(kMaxCopies));
    EXPECT_EQ(look.unread, kJunk + 2 - kMaxCopies);
    EXPECT_FALSE(read(look, "pc-1-key.json"));
}

TEST_F(Choice, TheListedBoardsCopiesComeFirstThenGoodOwners) {
    LookHints hints;
    hints.expectedPrefixes = {"pc-1-"};
    FolderLook look = lookWith(hints);
    EXPECT_TRUE(read(look, "pc-1-key.json"));
    EXPECT_FALSE(read(look, "zz-key.json"));
    if (geteuid() != 0) GTEST_SKIP() << "the junk's own user needs root";
    hints.goodOwners = {0};
    look = lookWith(hints);
    EXPECT_TRUE(read(look, "pc-1-key.json"));
    EXPECT_TRUE(read(look, "zz-key.json"));
    const auto copy = std::find_if(look.copies.begin(), look.copies.end(),
                                   [](const CopyFile& c) { return c.name == "zz-key.json"; });
    EXPECT_EQ(copy->owner, 0u);
    EXPECT_TRUE(copy->checked.status) << "read for the first time, so parsed";
}

class LostLook : public ::testing::Test {
protected:
    void SetUp() override {
        folder_.write("pc-1-key - Copy.json", runningCopy());
        reader_.emplace(QString::fromStdString(folder_.path().string()), PictureBytes::None);
    }

    testing::TempFolder folder_;
    std::optional<VenueFolder> reader_;
};

// The first look ends on its own before anyone asks: a look started over it
// would throw its copies away, and the board would be missing from the
// first page a control room serves.
TEST_F(LostLook, ALookThatEndedIsTakenBeforeAnotherStarts) {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (reader_->underWayMs() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(5ms);
    ASSERT_FALSE(reader_->underWayMs()) << "the first look never ended";
    EXPECT_FALSE(reader_->start());
    const std::optional<FolderLook> first = reader_->ended();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->copies.size(), 1u);
    EXPECT_TRUE(reader_->start());
}

// A caller that drops a look it took (a look read past its deadline, say)
// never had a copy that does not change: the next look passes it over as
// unchanged, and the watch asks for it again, so the board is not left out
// for good.
TEST_F(LostLook, ACopyReadInALookTheWatchNeverTookIsReadAgain) {
    VenueWatch watch("/venue", 10000);
    reader_->waitFor(5s);  // read, and never taken
    for (int look = 0; look < 2; ++look) {
        ASSERT_TRUE(reader_->start(watch.hints()));
        watch.take(reader_->waitFor(5s), look * 1000, look * 1000);
    }
    EXPECT_EQ(watch.view(2000, 2000).boards.size(), 1u);
}

}  // namespace
}  // namespace pelm::venue
