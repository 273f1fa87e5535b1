#include "engine/board_status.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "engine/strict_json.h"
#include "platform/codepage.h"

namespace pelm {
namespace {

QString isoMs(const QDateTime& time) {
    return time.isValid() ? time.toUTC().toString(Qt::ISODateWithMs) : QString();
}

QDateTime timeOf(const QJsonValue& value) {
    QDateTime time = QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
    return time.isValid() ? time.toUTC() : QDateTime();
}

QJsonValue optionalText(const std::optional<QString>& text) {
    return text ? QJsonValue(*text) : QJsonValue(QJsonValue::Null);
}

QJsonArray rowsJson(const QList<ShownRace>& rows) {
    QJsonArray array;
    for (const ShownRace& row : rows)
        array.append(QJsonObject{{"start", row.start}, {"end", row.end}, {"title", row.title}});
    return array;
}

QList<ShownRace> rowsOf(const QJsonArray& array) {
    QList<ShownRace> rows;
    for (const QJsonValue& value : array) {
        const QJsonObject row = value.toObject();
        rows.append({row["start"].toString(), row["end"].toString(), row["title"].toString()});
    }
    return rows;
}

QJsonArray foldersJson(const QList<FolderUse>& folders) {
    QJsonArray array;
    for (const FolderUse& folder : folders) {
        QJsonObject object{{"role", folder.role},
                           {"path", folder.path},
                           {"fileSystem", folder.fileSystem},
                           {"mayStall", folder.mayStall}};
        if (!folder.note.isEmpty()) object["note"] = folder.note;
        array.append(object);
    }
    return array;
}

QList<FolderUse> foldersOf(const QJsonArray& array) {
    QList<FolderUse> folders;
    for (const QJsonValue& value : array) {
        const QJsonObject folder = value.toObject();
        folders.append({folder["role"].toString(), folder["path"].toString(),
                        folder["fileSystem"].toString(), folder["mayStall"].toBool(),
                        folder["note"].toString()});
    }
    return folders;
}

std::optional<qint64> optionalMs(const QJsonValue& value) {
    return value.isDouble() ? std::optional(value.toInteger()) : std::nullopt;
}

std::optional<BoardStatus> refuse(QString* problem, const QString& why) {
    if (problem) *problem = why;
    return std::nullopt;
}

// Whether every text of the status keeps its bound.
bool withinBounds(const BoardStatus& status) {
    const auto fits = [](const QString& text, int limit = kMaxFieldChars) {
        return text.size() <= limit;
    };
    if (status.rows.size() > kRowsInSight || status.folders.size() > kMaxFolders) return false;
    for (const FolderUse& folder : status.folders) {
        if (!fits(folder.role) || !fits(folder.path) || !fits(folder.fileSystem) ||
            !fits(folder.note, kMaxErrorChars))
            return false;
    }
    for (const ShownRace& row : status.rows) {
        if (!fits(row.start) || !fits(row.end) || !fits(row.title)) return false;
    }
    return fits(status.previousRace) && fits(status.error.value_or(QString()), kMaxErrorChars) &&
           fits(status.host) && fits(status.workingFolder) && fits(status.version) &&
           fits(status.picture) && fits(status.name, kMaxNameChars);
}

}  // namespace

QList<ShownRace> shownRaces(const ResultSet& upcoming, int limit) {
    const int start = upcoming.columnIndex("btime");
    const int end = upcoming.columnIndex("etime");
    const int title = upcoming.columnIndex("rmenu");
    auto field = [&](size_t row, int column) {
        return column < 0 ? QString() : fromCp932(upcoming.text(row, static_cast<size_t>(column)));
    };
    QList<ShownRace> rows;
    for (size_t row = 0; row < upcoming.rows.size() && rows.size() < limit; ++row)
        rows.append({field(row, start), field(row, end), field(row, title)});
    return rows;
}

QByteArray statusJson(const BoardStatus& status) {
    return QJsonDocument(statusObject(status)).toJson(QJsonDocument::Compact) + "\n";
}

QJsonObject statusObject(const BoardStatus& status) {
    QJsonObject object{
        {"pid", status.pid},
        {"startedAt", status.startedAt.toUTC().toString(Qt::ISODate)},
        {"lastRefreshAt", status.lastRefreshAt.isValid() ? QJsonValue(isoMs(status.lastRefreshAt))
                                                         : QJsonValue(QJsonValue::Null)},
        {"refreshesLastMinute", status.refreshesLastMinute},
        {"state", stateName(status.state)},
        {"rows", rowsJson(status.rows)},
        {"previousRace", status.previousRace},
        {"error", optionalText(status.error)},
        {"errorCount", status.errorCount},
        {"host", status.host},
        {"workingFolder", status.workingFolder},
        {"version", status.version},
    };
    // JSON numbers are doubles; the start time is kept as text so no digit is lost.
    if (status.pidStartTicks) object["pidStartTicks"] = QString::number(*status.pidStartTicks);
    object["clockSynchronised"] = status.clockSynchronised ? QJsonValue(*status.clockSynchronised)
                                                           : QJsonValue(QJsonValue::Null);
    object["clockMaxErrorMs"] =
        status.clockMaxErrorMs ? QJsonValue(*status.clockMaxErrorMs) : QJsonValue(QJsonValue::Null);
    if (!status.picture.isEmpty()) object["picture"] = status.picture;
    if (status.pictureTakenAt.isValid()) object["pictureTakenAt"] = isoMs(status.pictureTakenAt);
    if (!status.name.isEmpty()) object["name"] = status.name;
    if (status.writtenAt.isValid()) object["writtenAt"] = isoMs(status.writtenAt);
    if (status.dataReadMs) object["dataReadMs"] = *status.dataReadMs;
    if (status.dataReadSlowestMs) object["dataReadSlowestMs"] = *status.dataReadSlowestMs;
    if (!status.folders.isEmpty()) object["folders"] = foldersJson(status.folders);
    return object;
}

std::optional<BoardStatus> parseStatus(const QByteArray& json, QString* problem) {
    if (json.size() > kMaxStatusBytes) return refuse(problem, QStringLiteral("too large"));
    const std::optional<QJsonDocument> document = parseStrictJson(json, problem);
    if (!document) return std::nullopt;
    const QJsonObject object = document->object();
    const auto state = stateNamed(object["state"].toString());
    if (!document->isObject() || !state || !object["pid"].isDouble())
        return refuse(problem, QStringLiteral("no board status"));
    BoardStatus status;
    status.pid = object["pid"].toInteger();
    bool ticksRead = false;
    const qulonglong ticks = object["pidStartTicks"].toString().toULongLong(&ticksRead);
    if (ticksRead) status.pidStartTicks = ticks;
    status.startedAt = timeOf(object["startedAt"]);
    status.lastRefreshAt = timeOf(object["lastRefreshAt"]);
    status.refreshesLastMinute = object["refreshesLastMinute"].toInt();
    status.state = *state;
    status.rows = rowsOf(object["rows"].toArray());
    status.previousRace = object["previousRace"].toString();
    if (object["error"].isString()) status.error = object["error"].toString();
    status.errorCount = object["errorCount"].toInteger();
    status.host = object["host"].toString();
    status.workingFolder = object["workingFolder"].toString();
    status.version = object["version"].toString();
    if (object["clockSynchronised"].isBool())
        status.clockSynchronised = object["clockSynchronised"].toBool();
    if (object["clockMaxErrorMs"].isDouble())
        status.clockMaxErrorMs = object["clockMaxErrorMs"].toInteger();
    status.picture = object["picture"].toString();
    status.pictureTakenAt = timeOf(object["pictureTakenAt"]);
    status.name = object["name"].toString();
    status.writtenAt = timeOf(object["writtenAt"]);
    status.dataReadMs = optionalMs(object["dataReadMs"]);
    status.dataReadSlowestMs = optionalMs(object["dataReadSlowestMs"]);
    status.folders = foldersOf(object["folders"].toArray());
    if (!withinBounds(status)) return refuse(problem, QStringLiteral("a field past its bound"));
    return status;
}

QString cutToFit(const QString& text, int limit) {
    if (text.size() <= limit) return text;
    qsizetype keep = limit - 1;
    if (keep > 0 && text.at(keep - 1).isHighSurrogate()) --keep;  // never half a character
    return text.left(keep) + QChar(0x2026);
}

QString localStatusName(const QString& key) {
    return QStringLiteral("board-%1.json").arg(key);
}

QString venueBaseName(const QString& host, const QString& key) {
    QString safeHost = host.isEmpty() ? QStringLiteral("unknown-host") : host;
    safeHost.replace(QLatin1Char('/'), QLatin1Char('_'));
    return QStringLiteral("%1-%2").arg(safeHost, key);
}

QString venueStatusName(const QString& host, const QString& key) {
    return venueBaseName(host, key) + QStringLiteral(".json");
}

}  // namespace pelm
