#include "engine/board_status.h"

#include <gtest/gtest.h>

#include "platform/codepage.h"

namespace pelm {
namespace {

BoardStatus fullStatus() {
    BoardStatus status;
    status.pid = 4321;
    status.pidStartTicks = 9'007'199'254'740'993ull;  // beyond a double's exact integers
    status.startedAt = QDateTime::fromString("2026-12-07T01:00:00Z", Qt::ISODate);
    status.lastRefreshAt = QDateTime::fromString("2026-12-07T01:40:00.250Z", Qt::ISODateWithMs);
    status.refreshesLastMinute = 240;
    status.state = BoardState::Running;
    status.rows = {{"10:40:00", "10:45:00", QString::fromUtf8("第1レース \"O'Brien\"")},
                   {"11:00:00", "11:05:00", "2R"}};
    status.previousRace = QString::fromUtf8("開会式");
    status.error = QString::fromUtf8("'25:00:00' は時刻ではありません");
    status.errorCount = 12;
    status.host = "kiosk-3";
    status.workingFolder = "/home/pelm/board";
    status.version = "1.3.0";
    return status;
}

TEST(StatusJson, ReadsBackAsWrittenOnOneLine) {
    const BoardStatus written = fullStatus();
    const QByteArray json = statusJson(written);
    EXPECT_EQ(json.count('\n'), 1);
    EXPECT_TRUE(json.contains("\"lastRefreshAt\":\"2026-12-07T01:40:00.250Z\""))
        << json.toStdString();
    EXPECT_EQ(parseStatus(json), written);
}

TEST(StatusJson, NoErrorAndNoRefreshYetReadBackAsAbsent) {
    BoardStatus written = fullStatus();
    written.error.reset();
    written.errorCount = 0;
    written.lastRefreshAt = QDateTime();
    written.pidStartTicks.reset();
    written.state = BoardState::Starting;
    const QByteArray json = statusJson(written);
    EXPECT_TRUE(json.contains("\"error\":null")) << json.toStdString();
    EXPECT_EQ(parseStatus(json), written);
}

TEST(StatusJson, AnythingButAStatusObjectIsRefused) {
    const char* refused[] = {"",
                             "{",
                             "[]",
                             "{\"pid\":1}",
                             "{\"pid\":1,\"state\":\"flying\"}",
                             "{\"state\":\"running\"}"};
    for (const char* text : refused) {
        QString problem;
        EXPECT_FALSE(parseStatus(text, &problem)) << text;
        EXPECT_FALSE(problem.isEmpty()) << text;
    }
}

// What Qt's parser would take and write back larger: a copy that is no
// strict JSON is damaged, whatever its fields say.
TEST(StatusJson, NoStrictJsonIsRefusedEscapedCharactersAreRead) {
    const QByteArray json = statusJson(fullStatus());
    const auto withTitle = [&](const QByteArray& title) {
        QByteArray copy = json;
        return copy.replace("2R", title);
    };
    const std::pair<QByteArray, const char*> refused[] = {
        {withTitle("a\x01"
                   "b"),
         "a raw control character"},
        {withTitle("tab\there"), "a raw control character"},
        {withTitle("\xff\xfe"), "not UTF-8"},
        {withTitle("\xc0\xaf"), "not UTF-8"},      // an overlong "/"
        {withTitle("\xed\xa0\x80"), "not UTF-8"},  // a surrogate written as UTF-8
        {withTitle("\\ud800"), "a lone surrogate"},
        {withTitle("x\\udc00y"), "a lone surrogate"},
        {json + "\x01", "a raw control character"},
    };
    for (const auto& [bytes, why] : refused) {
        QString problem;
        EXPECT_FALSE(parseStatus(bytes, &problem)) << bytes.toStdString();
        EXPECT_EQ(problem, QString::fromLatin1(why)) << bytes.toStdString();
    }
    const auto read = parseStatus(withTitle("\\u0001 \\ud83d\\ude00 \\t"));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->rows[1].title, QString::fromUtf8("\x01 \xf0\x9f\x98\x80 \t"));
}

TEST(ShownRaces, DecodesTheFirstRowsInSightAndLeavesNullFieldsEmpty) {
    ResultSet upcoming;
    upcoming.columns = {"btime", "kara", "etime", "rmenu"};
    upcoming.rows.push_back(
        {std::nullopt, cp932Ascii("-"), cp932Ascii("0:00:00"), std::nullopt});  // waiting row
    for (int race = 1; race <= 12; ++race)
        upcoming.rows.push_back({cp932Ascii("10:00:00"), cp932Ascii("-"), cp932Ascii("10:05:00"),
                                 utf8ToCp932(std::to_string(race) + "レース")});
    const QList<ShownRace> rows = shownRaces(upcoming);
    ASSERT_EQ(rows.size(), kRowsInSight);
    EXPECT_EQ(rows[0], (ShownRace{"", "0:00:00", ""}));
    EXPECT_EQ(rows[1], (ShownRace{"10:00:00", "10:05:00", QString::fromUtf8("1レース")}));
    EXPECT_EQ(rows.last().title, QString::fromUtf8("8レース"));
}

}  // namespace
}  // namespace pelm
