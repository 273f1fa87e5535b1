// A termination signal closes the board as the operator would: the
// settings are saved and the window reports that it has closed.

#include "ui/quit_signals.h"

#include <csignal>

#include "board_fixture.h"

namespace pelm::testing {
namespace {

class QuitSignalsTest : public BoardTest, public ::testing::WithParamInterface<int> {};

TEST_P(QuitSignalsTest, SignalClosesTheWindowAndSavesTheSettings) {
    writeSettings("Logo=off\r\n");
    TForm1& board = showBoard();
    bool closed = false;
    QObject::connect(&board, &TForm1::closed, [&] { closed = true; });
    {
        QuitSignals quit(&board, [&board] { board.closeBySignal(); });
        std::raise(GetParam());
        for (int round = 0; round < 100 && !closed; ++round) {
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        }
    }
    EXPECT_TRUE(closed);
    EXPECT_FALSE(board.isVisible());
    const std::string saved = folder.root().read("PelmDp.ini");
    EXPECT_NE(saved.find("Logo=off"), std::string::npos);
    EXPECT_NE(saved.find("[Font]"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(TermAndInt, QuitSignalsTest, ::testing::Values(SIGTERM, SIGINT));

}  // namespace
}  // namespace pelm::testing
