// /venue.json, which every open page fetches every 2 seconds, keeps a bound
// of its own whatever the copies hold, and says when it cut.

#include "venue/venue_json.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace pelm::venue {
namespace {

// A status as large as a copy may be: every row's title long, in
// characters of three bytes each.
BoardStatus largest(int board) {
    BoardStatus status;
    status.pid = board;
    status.state = BoardState::Running;
    status.host = QStringLiteral("pc-%1").arg(board);
    status.workingFolder = "/home/board/pelm";
    for (int row = 0; row < kRowsInSight; ++row)
        status.rows.append({"10:00:00", "10:20:00", QString(500, QChar(0x30EC))});
    status.error = QString(900, QLatin1Char('x'));
    return status;
}

VenueView venueOf(int boards, const std::function<BoardStatus(int)>& status) {
    VenueView view;
    view.answering = true;
    for (int board = 0; board < boards; ++board) {
        VenueBoard shown;
        shown.verdict = board == 0 ? Verdict::Error : Verdict::Fine;
        shown.status = status(board);
        shown.name = shown.status->host;
        shown.id = QString::number(board);
        view.boards.push_back(shown);
    }
    return view;
}

QJsonObject parsed(const QByteArray& json) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    return document.object();
}

TEST(VenueJson, FiveHundredLargestCopiesKeepTheBoundTrimmedTheWorstBoardsFirst) {
    ASSERT_GT(statusJson(largest(0)).size(), 15000);
    ASSERT_LE(statusJson(largest(0)).size(), kMaxStatusBytes);
    const QByteArray json = venueJson(venueOf(500, largest), QDateTime::currentDateTimeUtc());
    EXPECT_LE(json.size(), kMaxVenueJsonBytes);
    const QJsonObject venue = parsed(json);
    const QJsonArray boards = venue["boards"].toArray();
    ASSERT_FALSE(boards.isEmpty());
    EXPECT_EQ(boards.size() + venue["leftOut"].toInt(), 500);
    const QJsonObject worst = boards[0].toObject();
    EXPECT_EQ(worst["verdict"], "error");
    EXPECT_TRUE(worst["trimmed"].toBool());
    EXPECT_EQ(worst["rows"].toArray().size(), 1) << "the race shown as Now";
    EXPECT_EQ(worst["error"].toString().size(), kTrimmedTextChars);
    EXPECT_TRUE(worst["error"].toString().endsWith(QChar(0x2026)));
}

TEST(VenueJson, AnOrdinaryVenueGoesWhole) {
    const auto ordinary = [](int board) {
        BoardStatus status = largest(board);
        status.rows = {{"10:00:00", "10:20:00", QString::fromUtf8("第1レース")}};
        status.error.reset();
        return status;
    };
    const QJsonObject venue =
        parsed(venueJson(venueOf(24, ordinary), QDateTime::currentDateTimeUtc()));
    EXPECT_EQ(venue["boards"].toArray().size(), 24);
    EXPECT_EQ(venue["leftOut"].toInt(), 0);
    EXPECT_FALSE(venue["boards"].toArray()[3].toObject().contains("trimmed"));
}

}  // namespace
}  // namespace pelm::venue
