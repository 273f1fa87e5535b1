#pragma once
// A board on a working folder, at a fixed time: the settings file, the
// schedule and the notice are written in CP932, the window is created and
// shown, and refreshes are run by hand.

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMessageBox>
#include <memory>
#include <stdexcept>
#include <string>

#include "engine/clock.h"
#include "platform/codepage.h"
#include "support/board_folder.h"
#include "support/cp932_bytes.h"
#include "support/time_of_day.h"
#include "ui/Umain.h"

using pelm::testing::cp932Bytes;

namespace pelm::testing {

/// One of the window's components (a QObject child of any depth) by its
/// design name; a missing one fails the test.
template <class T = QWidget>
T& component(const TForm1& form, const char* name) {
    T* found = form.findChild<T*>(QString::fromLatin1(name));
    if (!found) throw std::logic_error(std::string("the window has no ") + name);
    return *found;
}

// What the board shows now, read off its components.
inline QString clockText(const TForm1& form) {
    return component<ClockFace>(form, "Labtime").text();
}
inline QString noticeText(const TForm1& form) {
    return component<QPlainTextEdit>(form, "DBMemo1").toPlainText();
}
inline bool curtainShown(const TForm1& form) {
    return !component(form, "Panel6").isHidden();
}
inline bool largeLogoShown(const TForm1& form) {
    return !component(form, "Panel7").isHidden();
}
inline int upperAreaHeight(const TForm1& form) {
    return component(form, "Panel10").height();
}
inline const RaceGridModel& gridRows(const TForm1& form) {
    return component<RaceGridModel>(form, "DSmenu");
}

/// The window's message boxes: it keeps one reporter, which has no design name.
inline ErrorReporter& reporter(const TForm1& form) {
    auto* found = form.findChild<ErrorReporter*>(QString(), Qt::FindDirectChildrenOnly);
    if (!found) throw std::logic_error("the window has no error reporter");
    return *found;
}

/// The message boxes on screen.
inline QList<QMessageBox*> openBoxes() {
    QList<QMessageBox*> boxes;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (box && box->isVisible()) boxes.append(box);
    }
    return boxes;
}

/// Lets queued work (deferred deletes, socket notifiers) run.
inline void settle() {
    for (int round = 0; round < 5; ++round) QApplication::processEvents();
}

class BoardTest : public ::testing::Test {
protected:
    /// PelmDp.ini naming the data folder, followed by more lines (UTF-8).
    void writeSettings(const std::string& moreLines = "Logo=on\r\n") {
        folder.root().write(
            "PelmDp.ini", "[Env]\r\nDataDir=" + folder.dataDir() + "\r\n" + cp932Bytes(moreLines));
    }
    void writeSchedule(const std::string& utf8Lines) {
        folder.writeSchedule(cp932Bytes(utf8Lines));
    }
    void writeNotice(const std::string& utf8Lines) { folder.writeNotice(cp932Bytes(utf8Lines)); }

    /// Creates Form1 and shows it, which runs its first showing. The tests
    /// refresh by hand: the window's own beat still runs but refreshes
    /// nothing, since on a loaded machine a beat of the real clock would
    /// land in a nested event loop in the middle of a test.
    TForm1& showBoard() {
        form.reset();  // a board shown again is a fresh start, as a restart is
        life = std::make_unique<BoardLife>(clock);
        form = std::make_unique<TForm1>(*life);
        form->show();
        QObject::disconnect(&component<QTimer>(*form, "Timer1"), &QTimer::timeout, form.get(),
                            &TForm1::Timer1Timer);
        return *form;
    }

    /// Shows the board and runs one refresh.
    TForm1& showAndRefresh() {
        showBoard();
        form->Timer1Timer();
        return *form;
    }

    /// The upper area as the screen shows it.
    QImage upperArea() const { return component(*form, "Panel10").grab().toImage(); }

    void TearDown() override {
        form.reset();
        life.reset();
        settle();
    }

    BoardFolder folder;
    FixedClock clock{at(10, 40, 0)};
    std::unique_ptr<BoardLife> life;
    std::unique_ptr<TForm1> form;
};

}  // namespace pelm::testing
