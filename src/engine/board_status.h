#pragma once
// The board's status file: a small JSON object a running board replaces
// now and then, for `pelmctl status` and for a venue's overview. Texts in it
// are UTF-8; the board's CP932 texts are converted on the way in.

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <cstdint>
#include <optional>

#include "engine/board_state.h"
#include "sqlengine/result_set.h"

namespace pelm {

/// One row of the grid: start, end and title, as shown.
struct ShownRace {
    QString start;
    QString end;
    QString title;
    bool operator==(const ShownRace&) const = default;
};

struct BoardStatus {
    qint64 pid = 0;
    std::optional<std::uint64_t> pidStartTicks;  // tells a reused pid apart
    QDateTime startedAt;                         // UTC
    QDateTime lastRefreshAt;                     // UTC; invalid before the first
    int refreshesLastMinute = 0;
    BoardState state = BoardState::Starting;
    QList<ShownRace> rows;  // the grid's rows in sight; the first is "Now"
    QString previousRace;
    std::optional<QString> error;  // the current error, if any
    long long errorCount = 0;
    QString host;
    QString workingFolder;
    QString version;
    // The system clock as the kernel sees it; nullopt when not known.
    std::optional<bool> clockSynchronised;
    std::optional<qint64> clockMaxErrorMs;
    // The file beside a venue copy that pictures the screen; empty: none.
    QString picture;

    bool operator==(const BoardStatus&) const = default;
};

/// The grid shows nine rows; those are the ones worth reporting.
constexpr int kRowsInSight = 9;

/// The first rows of an upcoming-races result (btime, etime, rmenu), decoded.
QList<ShownRace> shownRaces(const ResultSet& upcoming, int limit = kRowsInSight);

QByteArray statusJson(const BoardStatus& status);
/// Reads a status file's content; nullopt (with the reason in `problem`)
/// for anything that is no status object.
std::optional<BoardStatus> parseStatus(const QByteArray& json, QString* problem = nullptr);

/// Status file names: "board-<key>.json" in the user's status folder,
/// "<host>-<key>.json" in a venue folder.
QString localStatusName(const QString& key);
QString venueStatusName(const QString& host, const QString& key);
/// The picture of the screen beside a venue copy: "<host>-<key>.png".
QString venuePictureName(const QString& host, const QString& key);

}  // namespace pelm
