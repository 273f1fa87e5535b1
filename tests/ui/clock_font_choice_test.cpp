// The clock's pop-up menu and font choice on the running board, and the
// large logo: its switch at start and its picture command. The font dialog
// is driven from inside its own modal loop, as the operator would.

#include <QAction>
#include <QMenu>
#include <QTimer>
#include <functional>

#include "board_fixture.h"
#include "support/cp932_bytes.h"
#include "ui/clock_font.h"
#include "ui/color_ref.h"
#include "ui/logo_pictures.h"

using pelm::testing::cp932Bytes;

namespace pelm::testing {
namespace {

const QColor kRed(255, 0, 0);
const QColor kClockBlue = colorFromRef(15429970);

class ClockFontChoice : public BoardTest {
protected:
    void SetUp() override {
        writeSettings("Logo=on\r\nSetuzoku=接続なし\r\nTaiki=準備中\r\n");
        showBoard();
    }

    ClockFace& clockLabel() const { return component<ClockFace>(*form, "Labtime"); }
    QMenu& clockMenu() const { return component<QMenu>(*form, "PopupMenu2"); }

    /// Picks the clock menu's one item while `operate` works the dialog.
    void chooseFont(const std::function<void(ClockFontDialog&)>& operate) {
        QTimer::singleShot(0, form.get(),
                           [this, operate] { operate(component<ClockFontDialog>(*form, "FD1")); });
        ASSERT_EQ(clockMenu().actions().size(), 1);
        clockMenu().actions().front()->trigger();
    }
};

TEST_F(ClockFontChoice, TheClockOffersTheDialogStartingFromItsOwnFont) {
    EXPECT_EQ(clockMenu().actions().value(0)->text(), QStringLiteral("フォント"));
    emit clockLabel().customContextMenuRequested(QPoint(10, 10));
    EXPECT_TRUE(clockMenu().isVisible());
    clockMenu().hide();
    chooseFont([](ClockFontDialog& dialog) {
        EXPECT_EQ(dialog.font().family(), QStringLiteral("ＭＳ Ｐ明朝"));
        EXPECT_EQ(dialog.font().pointSize(), 100);
        EXPECT_EQ(dialog.color(), kClockBlue);
        QStringList preview;  // as the operator reads it, a line a text
        for (const QLabel* line : dialog.findChildren<QLabel*>(QStringLiteral("previewLine")))
            preview << line->text();
        EXPECT_EQ(preview, QStringList({QStringLiteral("10:40:00"), QStringLiteral("接続なし"),
                                        QStringLiteral("準備中")}));
        dialog.reject();
    });
}

TEST_F(ClockFontChoice, CancelLeavesClockAndSettingsUnchanged) {
    const QFont font = clockLabel().font();
    const QRect place = clockLabel().geometry();
    chooseFont([](ClockFontDialog& dialog) {
        dialog.chooseFamily(QStringLiteral("IPAPGothic"));
        dialog.choosePointSize(72);
        dialog.chooseColor(kRed);
        dialog.reject();
    });
    EXPECT_EQ(clockLabel().font(), font);
    EXPECT_EQ(clockColor(clockLabel()), kClockBlue);
    EXPECT_EQ(clockLabel().geometry(), place);
    EXPECT_EQ(form->settings().font, toCp932(QStringLiteral("ＭＳ Ｐ明朝")));
    EXPECT_EQ(form->settings().size, 100);
    EXPECT_EQ(form->settings().color, 15429970);
}

TEST_F(ClockFontChoice, AnotherFaceAt72PointsInRedShowsAtOnceAndAfterARestart) {
    chooseFont([](ClockFontDialog& dialog) {
        dialog.chooseFamily(QStringLiteral("IPAPGothic"));
        dialog.chooseStyle(FontStyle::Bold);
        dialog.choosePointSize(72);
        dialog.chooseColor(kRed);
        dialog.accept();
    });
    const int liveStretch = clockLabel().font().stretch();
    for (bool restarted : {false, true}) {
        if (restarted) {
            ASSERT_TRUE(form->close());
            form.reset();
            showBoard();
        }
        const ClockFace& clock = clockLabel();
        EXPECT_EQ(clock.font().family(), QStringLiteral("IPAPGothic")) << restarted;
        EXPECT_EQ(clockPoints(clock.font()), 72) << restarted;
        EXPECT_EQ(clockColor(clock), kRed) << restarted;
        EXPECT_EQ(clock.font().stretch(), liveStretch) << restarted;
        // The style shows until the board closes; the settings do not keep it.
        EXPECT_EQ(clock.font().bold(), !restarted);
    }
}

TEST_F(ClockFontChoice, ASizeAloneMovesOnlyTheClocksRightAndBottomEdges) {
    const QSize before = clockLabel().size();
    for (int points : {112, 36}) {
        chooseFont([points](ClockFontDialog& dialog) {
            dialog.choosePointSize(points);
            dialog.accept();
        });
        EXPECT_EQ(clockLabel().pos(), QPoint(232, 0)) << points;
        EXPECT_EQ(clockLabel().width() > before.width(), points > 100) << points;
        EXPECT_EQ(clockLabel().height() > before.height(), points > 100) << points;
        EXPECT_EQ(clockColor(clockLabel()), kClockBlue) << points;
        EXPECT_EQ(form->settings().color, 15429970) << points;
    }
}

class LargeLogo : public BoardTest {
protected:
    // A picture unlike the built-in logo, so the two cannot be confused.
    std::string writePicture(const char* name, const char* format) {
        QImage picture(60, 30, QImage::Format_RGB32);
        picture.fill(Qt::green);
        const std::string path = folder.root() / name;
        EXPECT_TRUE(picture.save(QString::fromStdString(path), format));
        return path;
    }
    void showWithLogo(const std::string& value) {
        form.reset();
        writeSettings("Logo=" + value + "\r\n");
        showBoard();
    }
    QMenu& logoMenu() const { return component<QMenu>(*form, "PopupMenu1"); }
    QSize largeLogoSize() const {
        return largeLogoShown(*form) ? component<QLabel>(*form, "Image2").pixmap().size() : QSize();
    }
};

TEST_F(LargeLogo, TheSettingChoosesTheLargeLogoAtStart) {
    const struct {
        std::string value;
        QSize shown;  // invalid: hidden
    } cases[] = {
        {"on", largeLogo().size()},
        {"off", {}},
        {"On", {}},
        {writePicture("ロゴ.jpg", "JPG"), {60, 30}},
        {folder.root() / "gone.bmp", {}},
    };
    for (const auto& test : cases) {
        showWithLogo(test.value);
        EXPECT_EQ(largeLogoSize(), test.shown) << test.value;
        EXPECT_EQ(component(*form, "Panel9").x(), test.shown.isValid() ? 776 : 8) << test.value;
        EXPECT_TRUE(openBoxes().isEmpty()) << test.value;
    }
}

TEST_F(LargeLogo, APictureChosenFromItsMenuShowsAtOnceAndAfterARestart) {
    showWithLogo("on");
    ASSERT_EQ(logoMenu().actions().size(), 1);
    EXPECT_EQ(logoMenu().actions().front()->text(), QStringLiteral("選択"));
    emit component<QLabel>(*form, "Image2").customContextMenuRequested(QPoint(5, 5));
    EXPECT_TRUE(logoMenu().isVisible());
    logoMenu().hide();
    const std::string path = writePicture("logo.bmp", "BMP");
    ASSERT_TRUE(form->loadLargeLogo(QString::fromStdString(path)));
    EXPECT_EQ(largeLogoSize(), QSize(60, 30));
    EXPECT_EQ(form->settings().logo, utf8ToCp932(path));
    ASSERT_TRUE(form->close());
    form.reset();
    showBoard();
    EXPECT_EQ(largeLogoSize(), QSize(60, 30));
}

TEST_F(LargeLogo, AnUnreadablePictureIsReportedAndChangesNothing) {
    showWithLogo("on");
    folder.root().write("broken.bmp", "BM but no picture");
    const QString broken = QString::fromStdString(folder.root() / "broken.bmp");
    EXPECT_FALSE(form->loadLargeLogo(broken));
    ASSERT_EQ(openBoxes().size(), 1);
    EXPECT_EQ(openBoxes().front()->text().toStdString(),
              (broken + QStringLiteral(" は画像として読めません.")).toStdString());
    EXPECT_EQ(largeLogoSize(), largeLogo().size());
    EXPECT_EQ(form->settings().logo, cp932Ascii("on"));
}

}  // namespace
}  // namespace pelm::testing
