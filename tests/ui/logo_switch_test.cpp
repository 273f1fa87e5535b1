#include "ui/logo_switch.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFile>
#include <QTemporaryDir>

#include "platform/codepage.h"

namespace pelm {
namespace {

class LogoSwitch : public ::testing::Test {
protected:
    // A picture unlike the built-in one, so the two cannot be confused.
    QString writePicture(const QString& name, const char* format) {
        QImage picture(40, 20, QImage::Format_RGB32);
        picture.fill(Qt::green);
        QString path = dir_.filePath(name);
        EXPECT_TRUE(picture.save(path, format));
        return path;
    }

    QTemporaryDir dir_;
    QImage builtIn_ = [] {
        QImage image(220, 106, QImage::Format_RGB32);
        image.fill(Qt::blue);
        return image;
    }();
};

TEST_F(LogoSwitch, OnExactlyShowsTheBuiltInPicture) {
    LogoChoice choice = chooseLogo(cp932Ascii("on"), builtIn_);
    EXPECT_EQ(choice.kind, LogoKind::BuiltIn);
    EXPECT_EQ(choice.picture, builtIn_);
}

TEST_F(LogoSwitch, AnyOtherWordHidesTheLogo) {
    for (const char* setting : {"off", "On", "ON", " on", "on ", ""}) {
        LogoChoice choice = chooseLogo(utf8ToCp932(setting), builtIn_);
        EXPECT_EQ(choice.kind, LogoKind::Hidden) << '"' << setting << '"';
        EXPECT_TRUE(choice.picture.isNull()) << '"' << setting << '"';
    }
}

TEST_F(LogoSwitch, AReadablePictureFileIsShown) {
    for (auto [name, format] :
         {std::pair{"logo.bmp", "BMP"}, {"logo.jpg", "JPG"}, {"logo.png", "PNG"}}) {
        QString path = writePicture(name, format);
        LogoChoice choice = chooseLogo(toCp932(path), builtIn_);
        EXPECT_EQ(choice.kind, LogoKind::Picture) << name;
        EXPECT_EQ(choice.picture.size(), QSize(40, 20)) << name;
    }
}

TEST_F(LogoSwitch, APictureNamedTheBoardsWayIsShown) {
    // Japanese file name in CP932 bytes, written with backslashes.
    QString path = writePicture(QStringLiteral("表ロゴ.bmp"), "BMP");
    const Cp932 setting = toCp932(QString(path).replace('/', '\\'));
    EXPECT_EQ(chooseLogo(setting, builtIn_).kind, LogoKind::Picture);
}

TEST_F(LogoSwitch, AMissingOrUnreadablePictureHidesTheLogo) {
    QString broken = dir_.filePath("broken.bmp");
    QFile file(broken);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("BM not a bitmap at all");
    file.close();
    // A FIFO must not hang the board waiting for a writer that never comes.
    const QString fifo = dir_.filePath("fifo.bmp");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    for (const QString& path : {dir_.filePath("missing.bmp"), broken, dir_.path(),
                                QStringLiteral("C:\\logo.bmp"), fifo}) {
        LogoChoice choice = chooseLogo(toCp932(path), builtIn_);
        EXPECT_EQ(choice.kind, LogoKind::Hidden) << path.toStdString();
        EXPECT_TRUE(choice.picture.isNull()) << path.toStdString();
    }
}

TEST(UnreadablePicture, TheMessageIsTheWholeSentenceInShiftJis) {
    const QString path = QStringLiteral("/srv/ロゴ/broken.bmp");
    EXPECT_EQ(fromCp932(unreadablePictureMessage(path)),
              QStringLiteral("/srv/ロゴ/broken.bmp は画像として読めません"));
}

TEST_F(LogoSwitch, AJpegUnderAnotherSuffixStillReads) {
    QString path = writePicture("logo.bmp", "JPG");
    EXPECT_EQ(readLogoPicture(path).size(), QSize(40, 20));
}

}  // namespace
}  // namespace pelm
