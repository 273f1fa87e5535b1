// The first showing (settings, connection, empty table, curtain, timer) and
// the closing (settings saved, or the window kept open when they cannot be).

#include <QAbstractButton>
#include <QKeyEvent>
#include <filesystem>

#include "board_fixture.h"
#include "engine/error_text.h"

namespace pelm::testing {
namespace {

class FormShow : public BoardTest {};

// The notice is said once, the not-connected text replaces the design's
// clock at once, and both go by themselves when the alias comes back.
TEST_F(FormShow, WithoutTheAliasShowsTheConnectionNoticeUntilTheAliasIsBack) {
    writeSettings();
    writeSchedule("10:30:00,11:00:00,A\r\n");
    const std::string good = folder.root().read("dbengine.ini");
    folder.root().write("dbengine.ini",
                        "[Other]\r\nDEFAULT DRIVER=PARADOX\r\nPATH=" + folder.dataPath() + "\r\n");
    TForm1& board = showBoard();
    ASSERT_EQ(openBoxes().size(), 1);
    QMessageBox& box = *openBoxes().front();
    EXPECT_EQ(box.text(), "データベースに接続できませんでした。");
    EXPECT_EQ(box.icon(), QMessageBox::NoIcon);
    EXPECT_EQ(box.windowTitle(), programTitle(QCoreApplication::applicationFilePath()));
    ASSERT_EQ(box.buttons().size(), 1);
    EXPECT_EQ(box.buttons().front()->text(), "OK");
    EXPECT_TRUE(component<QTimer>(board, "Timer1").isActive());
    EXPECT_EQ(clockText(board), "未接続");
    for (int beat = 0; beat < 8; ++beat) board.Timer1Timer();
    EXPECT_EQ(openBoxes().size(), 1) << "said once, not at every retry";
    EXPECT_EQ(clockText(board), "未接続");

    folder.root().write("dbengine.ini", good);
    for (int beat = 0; beat < 4 && clockText(board) != "10:40:00"; ++beat) board.Timer1Timer();
    settle();
    EXPECT_TRUE(openBoxes().isEmpty());
    EXPECT_EQ(clockText(board), "10:40:00");
    EXPECT_EQ(gridRows(board).rowCount(), 1);
}

TEST_F(FormShow, ConnectionNoticeAnswersEnterAndEscape) {
    folder.root().write("PelmDp.ini", "[Env]\r\nDataDir=/nonexistent/pelm\r\n");
    showBoard();
    for (Qt::Key key : {Qt::Key_Escape, Qt::Key_Return}) {
        ASSERT_EQ(openBoxes().size(), 1);
        QMessageBox* box = openBoxes().front();
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(box, &press);
        settle();
        EXPECT_TRUE(openBoxes().isEmpty()) << key;
        reporter(*form).inform("again");
    }
}

// A start-up that fails another way takes the place of what was said.
TEST_F(FormShow, AnotherStartUpFailureReplacesTheConnectionNotice) {
    writeSettings();
    const std::string good = folder.root().read("dbengine.ini");
    folder.root().write("dbengine.ini", "[Other]\r\nDEFAULT DRIVER=PARADOX\r\n");
    TForm1& board = showBoard();
    ASSERT_EQ(openBoxes().size(), 1);
    EXPECT_EQ(openBoxes().front()->icon(), QMessageBox::NoIcon);

    folder.root().write("dbengine.ini", good);
    std::filesystem::remove(raceTableFilePath(folder.dataPath()));
    for (int beat = 0; beat < 4; ++beat) board.Timer1Timer();
    settle();
    ASSERT_EQ(openBoxes().size(), 1);
    EXPECT_EQ(openBoxes().front()->icon(), QMessageBox::Critical);
    EXPECT_TRUE(openBoxes().front()->text().contains("rmenutxt"));
}

TEST_F(FormShow, MissingRaceTableIsReportedUntilItIsMade) {
    writeSettings();
    writeSchedule("10:30:00,11:00:00,A\r\n");
    std::filesystem::remove(raceTableFilePath(folder.dataPath()));
    TForm1& board = showBoard();
    ASSERT_EQ(openBoxes().size(), 1);
    QMessageBox& box = *openBoxes().front();
    EXPECT_EQ(box.icon(), QMessageBox::Critical);
    EXPECT_TRUE(box.text().contains("rmenutxt")) << box.text().toStdString();
    EXPECT_FALSE(curtainShown(board));  // the curtain step never ran
    EXPECT_EQ(clockText(board), "未接続");

    createRaceTableFile(folder.dataPath());
    for (int beat = 0; beat < 4 && clockText(board) != "10:40:00"; ++beat) board.Timer1Timer();
    settle();
    EXPECT_TRUE(openBoxes().isEmpty());
    EXPECT_EQ(gridRows(board).rowCount(), 1);
}

TEST_F(FormShow, GoodFolderStartsTheTimerBehindTheCurtainUntilTheFirstRefresh) {
    writeSettings();
    writeSchedule("10:30:00,11:00:00,第1レース\r\n11:00:00,11:30:00,第2レース\r\n");
    TForm1& board = showBoard();
    EXPECT_TRUE(openBoxes().isEmpty());
    const QTimer& timer = component<QTimer>(board, "Timer1");
    EXPECT_TRUE(timer.isActive());
    // Beats fall on the wall clock's quarter seconds, each timed afresh.
    EXPECT_TRUE(timer.isSingleShot());
    EXPECT_EQ(timer.timerType(), Qt::PreciseTimer);
    EXPECT_LE(timer.interval(), 260);
    EXPECT_TRUE(curtainShown(board));
    board.Timer1Timer();
    EXPECT_FALSE(curtainShown(board));
    EXPECT_EQ(clockText(board), "10:40:00");
    EXPECT_EQ(gridRows(board).rowCount(), 2);
}

TEST_F(FormShow, EmptyScheduleShowsTheWaitingTextBehindTheCurtain) {
    writeSettings();
    writeSchedule("");
    TForm1& board = showAndRefresh();
    EXPECT_EQ(clockText(board), "待機中");
    EXPECT_TRUE(curtainShown(board));
    EXPECT_FALSE(component(board, "Panel3").isHidden());
}

TEST_F(FormShow, NoticeEnlargesTheNoticeAreaAndItsRemovalShrinksIt) {
    writeSettings();
    writeSchedule("10:30:00,11:00:00,A\r\n");
    writeNotice("お知らせ\r\n");
    TForm1& board = showAndRefresh();
    EXPECT_EQ(upperAreaHeight(board), 480);
    EXPECT_EQ(noticeText(board), "お知らせ\n");
    writeNotice("");
    board.Timer1Timer();
    EXPECT_EQ(upperAreaHeight(board), 676);
}

class FormClose : public BoardTest {};

TEST_F(FormClose, BySignalEndsEvenWhenTheSettingsCannotBeSaved) {
    writeSettings("Logo=off\r\n");
    TForm1& board = showBoard();
    namespace fs = std::filesystem;
    fs::permissions(folder.root().path() / "PelmDp.ini", fs::perms::owner_read);
    int status = -1;
    QObject::connect(&board, &TForm1::closed, [&](int exitStatus) { status = exitStatus; });
    board.closeBySignal();
    settle();
    EXPECT_EQ(status, 1);
    EXPECT_FALSE(board.isVisible());
    EXPECT_TRUE(openBoxes().isEmpty()) << "nobody is there to answer a box";
}

TEST_F(FormClose, UnwritableSettingsKeepTheWindowOpenUntilTheyCanBeSaved) {
    writeSettings("Logo=off\r\n");
    TForm1& board = showBoard();
    namespace fs = std::filesystem;
    const fs::path settings = folder.root().path() / "PelmDp.ini";
    fs::permissions(settings, fs::perms::owner_read | fs::perms::group_read);
    bool closed = false;
    QObject::connect(&board, &TForm1::closed, [&] { closed = true; });

    EXPECT_FALSE(board.close());
    EXPECT_TRUE(board.isVisible());
    EXPECT_FALSE(closed);
    ASSERT_EQ(openBoxes().size(), 1);
    EXPECT_TRUE(openBoxes().front()->text().endsWith("に書き込めません."));
    openBoxes().front()->accept();
    settle();

    fs::permissions(settings, fs::perms::owner_write, fs::perm_options::add);
    EXPECT_TRUE(board.close());
    EXPECT_TRUE(closed);
    EXPECT_FALSE(component<QTimer>(board, "Timer1").isActive());
    const std::string saved = folder.root().read("PelmDp.ini");
    EXPECT_NE(saved.find("DataDir=" + folder.dataDir()), std::string::npos);
    EXPECT_NE(saved.find("Logo=off"), std::string::npos);
    EXPECT_NE(saved.find("Size=100"), std::string::npos);
}

}  // namespace
}  // namespace pelm::testing
