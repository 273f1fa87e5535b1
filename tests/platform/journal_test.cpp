#include "platform/journal.h"

#include <gtest/gtest.h>

#include <QFile>

#include "support/journal_capture.h"

namespace pelm {
namespace {

using testing::JournalCapture;
using Lines = std::vector<std::string>;

struct LineCase {
    QtMsgType type;
    QString message;
    std::string line;
};

TEST(JournalLine, PrefixesThePriorityAndKeepsEachMessageOnOneLine) {
    const LineCase cases[] = {
        {QtFatalMsg, "gone", "<3>gone\n"},
        {QtCriticalMsg, "broken", "<3>broken\n"},
        {QtWarningMsg, "odd", "<4>odd\n"},
        {QtInfoMsg, "fine", "<6>fine\n"},
        {QtDebugMsg, "detail", "<6>detail\n"},
        {QtCriticalMsg, "a\nb", "<3>a / b\n"},
        {QtCriticalMsg, "a\r\nb\rc\n", "<3>a / b / c / \n"},
        {QtInfoMsg, QString::fromUtf8("第1レース\n未接続"), "<6>第1レース / 未接続\n"},
    };
    for (const LineCase& c : cases) EXPECT_EQ(journalLine(c.type, c.message), c.line) << c.line;
}

TEST(Journal, BoardLinesAndQtsOwnWarningsGoThroughTheHandlerDebugStaysOff) {
    JournalCapture journal;
    qCInfo(lcBoard) << "running";
    qCWarning(lcBoard).noquote() << "not connected";
    qCDebug(lcBoard) << "every tick";
    QFile unnamed;
    unnamed.open(QIODevice::ReadOnly);  // Qt warns: no file name
    const Lines lines = journal.take();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "<6>running");
    EXPECT_EQ(lines[1], "<4>not connected");
    EXPECT_EQ(lines[2].substr(0, 3), "<4>");
    EXPECT_NE(lines[2].find("file name"), std::string::npos) << lines[2];
}

TEST(Journal, PuttingTheSinkBackStopsTheCapture) {
    std::vector<std::string> outer;
    JournalSink previous = setJournalSink([&](std::string_view line) { outer.emplace_back(line); });
    {
        JournalCapture inner;
        qCInfo(lcBoard) << "inner";
        EXPECT_EQ(inner.take().size(), 1u);
    }
    qCInfo(lcBoard).noquote() << "outer";
    setJournalSink(std::move(previous));
    EXPECT_EQ(outer, Lines{"<6>outer\n"});
}

}  // namespace
}  // namespace pelm
