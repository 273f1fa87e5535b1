#include "venue/venue_json.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace pelm::venue {
namespace {

QJsonValue optionalNumber(const std::optional<double>& number) {
    return number ? QJsonValue(*number) : QJsonValue(QJsonValue::Null);
}

QJsonValue optionalText(const QString& text) {
    return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
}

QString iso(const QDateTime& time) {
    return time.toUTC().toString(Qt::ISODateWithMs);
}

// The status with every text cut to kTrimmedTextChars and only the race
// shown as "Now": what a card shows of it.
BoardStatus trimmed(BoardStatus status) {
    const auto cut = [](QString& text) { text = cutToFit(text, kTrimmedTextChars); };
    status.rows = status.rows.mid(0, 1);
    for (ShownRace& row : status.rows) {
        cut(row.start);
        cut(row.end);
        cut(row.title);
    }
    for (QString* text : {&status.previousRace, &status.host, &status.workingFolder,
                          &status.version, &status.picture, &status.name})
        cut(*text);
    if (status.error) cut(*status.error);
    return status;
}

QJsonArray duplicatesArray(const QList<OtherCopy>& duplicates) {
    QJsonArray array;
    for (const OtherCopy& other : duplicates)
        array.append(QJsonObject{{"copy", other.copy},
                                 {"owner", optionalText(other.owner)},
                                 {"verdict", verdictWord(other.verdict)}});
    return array;
}

QByteArray boardJson(const VenueBoard& board, bool trim) {
    QJsonObject object;
    if (board.status) object = statusObject(trim ? trimmed(*board.status) : *board.status);
    object["name"] = trim ? cutToFit(board.name, kTrimmedTextChars) : board.name;
    object["id"] = board.id;
    object["verdict"] = verdictWord(board.verdict);
    object["trouble"] = board.trouble();
    object["copy"] = optionalText(board.copy);
    object["owner"] = optionalText(board.owner);
    object["forgery"] = optionalText(forgeryWord(board.forgery));
    object["expectedOwner"] = optionalText(board.expectedOwner);
    object["duplicates"] = duplicatesArray(board.duplicates);
    object["conflict"] = board.conflict;
    object["secondsSinceChange"] = optionalNumber(board.secondsSinceChange);
    object["secondsNotRead"] = optionalNumber(board.secondsNotRead);
    object["clockOffsetSeconds"] = optionalNumber(board.clockOffsetSeconds);
    object["picture"] = optionalText(board.picture);
    object["pictureVersion"] = optionalText(board.pictureVersion);
    object["pictureAgeSeconds"] = optionalNumber(board.pictureAgeSeconds);
    object["pictureDamaged"] = board.pictureDamaged;
    if (trim) object["trimmed"] = true;
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QJsonObject copiesObject(const CopyCounts& copies) {
    return {{"listed", copies.listed},   {"read", copies.read},       {"unread", copies.unread},
            {"notRead", copies.notRead}, {"damaged", copies.damaged}, {"forged", copies.forged}};
}

// Everything but the boards, with an empty list where they go.
QByteArray frameJson(const VenueView& view, const QDateTime& readerTime, int leftOut) {
    const QJsonObject object{
        {"folder", view.folder},
        {"answering", view.answering},
        {"failure", optionalText(view.failure)},
        {"secondsSinceRead", optionalNumber(view.secondsSinceRead)},
        {"notAnsweringSince", view.notAnsweringSince.isValid()
                                  ? QJsonValue(iso(view.notAnsweringSince))
                                  : QJsonValue(QJsonValue::Null)},
        {"readerTime", iso(readerTime)},
        {"inTrouble", view.inTroubleCount()},
        {"boards", QJsonArray()},
        {"leftOut", leftOut},
        {"copies", copiesObject(view.copies)},
        {"unanswered", QJsonArray::fromStringList(view.unanswered)},
        {"damaged", QJsonArray::fromStringList(view.damaged)},
        {"tooMany", view.copies.unread > 0},
        {"expectedProblem", optionalText(view.expectedProblem)},
        {"keyed", view.keyed},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// The boards' entries while they fit in `room` bytes (a comma each); the
// first that does not ends the list, and the rest are left out.
std::vector<QByteArray> boardsJson(const VenueView& view, bool trim, qsizetype room) {
    std::vector<QByteArray> boards;
    for (const VenueBoard& board : view.boards) {
        QByteArray entry = boardJson(board, trim);
        room -= entry.size() + 1;
        if (room < 0) break;
        boards.push_back(std::move(entry));
    }
    return boards;
}

}  // namespace

QByteArray venueJson(const VenueView& view, const QDateTime& readerTime) {
    // The frame with the largest count it may carry: the bound holds
    // whatever number goes in.
    const qsizetype room =
        kMaxVenueJsonBytes - frameJson(view, readerTime, int(view.boards.size())).size() - 1;
    std::vector<QByteArray> boards = boardsJson(view, false, room);
    if (boards.size() < view.boards.size()) boards = boardsJson(view, true, room);
    QByteArray list;
    for (const QByteArray& board : boards) list += (list.isEmpty() ? "" : ",") + board;
    const int leftOut = static_cast<int>(view.boards.size() - boards.size());
    QByteArray json = frameJson(view, readerTime, leftOut);
    const qsizetype at = json.indexOf("\"boards\":[]") + qsizetype(sizeof "\"boards\":[") - 1;
    return json.insert(at, list) + "\n";
}

}  // namespace pelm::venue
