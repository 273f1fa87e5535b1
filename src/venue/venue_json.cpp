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

QJsonObject boardObject(const VenueBoard& board) {
    QJsonObject object = board.status ? statusObject(*board.status) : QJsonObject();
    object["name"] = board.name;
    object["verdict"] = verdictWord(board.verdict);
    object["trouble"] = inTrouble(board.verdict);
    object["copy"] = optionalText(board.copy);
    object["duplicates"] = QJsonArray::fromStringList(board.duplicates);
    object["conflict"] = board.conflict;
    object["secondsSinceChange"] = optionalNumber(board.secondsSinceChange);
    object["clockOffsetSeconds"] = optionalNumber(board.clockOffsetSeconds);
    object["picture"] = optionalText(board.picture);
    object["pictureVersion"] = optionalText(board.pictureVersion);
    object["pictureAgeSeconds"] = optionalNumber(board.pictureAgeSeconds);
    object["pictureDamaged"] = board.pictureDamaged;
    return object;
}

}  // namespace

QByteArray venueJson(const VenueView& view, const QDateTime& readerTime) {
    QJsonArray boards;
    for (const VenueBoard& board : view.boards) boards.append(boardObject(board));
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
        {"boards", boards},
        {"unanswered", QJsonArray::fromStringList(view.unanswered)},
        {"damaged", QJsonArray::fromStringList(view.damaged)},
        {"tooMany", view.tooMany},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + "\n";
}

}  // namespace pelm::venue
