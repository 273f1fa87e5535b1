#pragma once
// The board's status file: a small JSON object a running board replaces
// now and then, for `pelmctl status` and for a venue's overview. Texts in it
// are UTF-8; the board's CP932 texts are converted on the way in.

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
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

/// A folder the board works on, and whether it lies where it may stall.
struct FolderUse {
    QString role;  // "data", "race table", "status copies"
    QString path;
    QString fileSystem;  // as the mount table names it
    bool mayStall = false;
    QString note;  // why it is not where the settings say, when it is not
    bool operator==(const FolderUse&) const = default;
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
    // The file beside a status copy that pictures the screen; empty: none.
    QString picture;
    QDateTime pictureTakenAt;  // UTC, by the board's clock; invalid: no picture yet
    // What the venue calls the screen ([Env] Name); empty: its host's name.
    QString name;
    // When this status was formed, by the board's clock: a reader that sees
    // it change tells from it how far the board's clock is from its own.
    QDateTime writtenAt;
    // How long the data folder's reads took (ms): the latest, and the
    // slowest of the last minute; none before the first.
    std::optional<qint64> dataReadMs;
    std::optional<qint64> dataReadSlowestMs;
    QList<FolderUse> folders;

    bool operator==(const BoardStatus&) const = default;
};

/// The grid shows nine rows; those are the ones worth reporting.
constexpr int kRowsInSight = 9;

/// The bounds of a status file. A board's own always keeps them (its error
/// text is cut to fit); a reader takes anything larger, or with a field
/// longer, as damaged: the files of a venue folder may come from anyone.
constexpr int kMaxStatusBytes = 16 * 1024;
constexpr int kMaxErrorChars = 1000;
constexpr int kMaxNameChars = 64;
constexpr int kMaxFieldChars = 4096;  // a folder's path, the longest other field
constexpr int kMaxFolders = 3;        // data, race table, status copies

/// `text` cut to at most `limit` characters, the cut marked with "…".
QString cutToFit(const QString& text, int limit);

/// The first rows of an upcoming-races result (btime, etime, rmenu), decoded.
QList<ShownRace> shownRaces(const ResultSet& upcoming, int limit = kRowsInSight);

QByteArray statusJson(const BoardStatus& status);
/// The same as an object, for a document that holds more than the status.
QJsonObject statusObject(const BoardStatus& status);
/// Reads a status file's content; nullopt (with the reason in `problem`)
/// for anything that is no status object, or one past the bounds above.
std::optional<BoardStatus> parseStatus(const QByteArray& json, QString* problem = nullptr);

/// Status file names: "board-<key>.json" in the user's status folder,
/// "<host>-<key>.json" in a venue folder, and the picture of the screen
/// beside it, "<host>-<key>.png": both are the venue base name and an
/// extension.
QString localStatusName(const QString& key);
QString venueBaseName(const QString& host, const QString& key);
QString venueStatusName(const QString& host, const QString& key);

}  // namespace pelm
