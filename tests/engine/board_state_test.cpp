#include "engine/board_state.h"

#include <gtest/gtest.h>

#include "support/journal_capture.h"

namespace pelm {
namespace {

using testing::JournalCapture;
using Lines = std::vector<std::string>;
using enum BoardState;

TEST(BoardStateJournal, OneLinePerChangeNoneWhileTheStateStays) {
    JournalCapture journal;
    BoardStateJournal states;
    const BoardState sequence[] = {Starting, Starting,     Running,      Running, Running, Waiting,
                                   Waiting,  NotConnected, NotConnected, Running, Stopped};
    int changes = 0;
    for (BoardState state : sequence) changes += states.enter(state);
    EXPECT_EQ(changes, 6);
    EXPECT_EQ(journal.take(),
              (Lines{"<6>starting", "<6>connected, running", "<6>waiting: the schedule is empty",
                     "<4>not connected: the schedule cannot be read", "<6>running", "<6>stopped"}));
}

TEST(BoardStateJournal, TheFirstRefreshAfterStartingSaysConnectedWhateverItFinds) {
    JournalCapture journal;
    BoardStateJournal states;
    states.enter(Starting);
    states.enter(NotConnected);
    states.enter(Starting);  // the board was started again
    states.enter(Waiting);
    EXPECT_EQ(journal.take(),
              (Lines{"<6>starting", "<4>connected, not connected: the schedule cannot be read",
                     "<6>starting", "<6>connected, waiting: the schedule is empty"}));
}

TEST(BoardState, NamesReadBack) {
    for (BoardState state : {Starting, NotConnected, Waiting, Running, Stopped})
        EXPECT_EQ(stateNamed(stateName(state)), state);
    EXPECT_EQ(stateNamed("Running"), std::nullopt);
    EXPECT_EQ(stateNamed(""), std::nullopt);
}

}  // namespace
}  // namespace pelm
