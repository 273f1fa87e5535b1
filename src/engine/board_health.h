#pragma once
// The board's health for operators: it journals state changes, errors (with
// their repeats summarised) and recoveries, and keeps the status file that
// `pelmctl status` reads, plus an optional copy in a venue folder.
//
// Called from the start-up step and from every refresh, four times a
// second, so a call that changes nothing costs a few comparisons: the JSON
// is formed only when a write is due (a change of state or of the current
// error at once, otherwise at most once a second).

#include <QString>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "engine/board_state.h"
#include "engine/board_status.h"
#include "engine/clock.h"
#include "engine/data_file_reader.h"
#include "engine/repeated_errors.h"
#include "engine/venue_status_writer.h"
#include "platform/clock_sync.h"
#include "platform/cp932.h"

namespace pelm {

struct BoardHealthConfig {
    QString workingFolder;  // the board's folder; keys its status file
    QString version;
    QString venueFolder;        // [Env] StatusDir; empty: no status copy
    QString localStatusFolder;  // empty: the user's own, made private (local_status_folder.h)
    QString name;               // [Env] Name; empty: none
    QString venueKey;  // [Env] VenueKey, the file of the key copies are signed with; empty: none
};

class BoardHealth {
public:
    static constexpr qint64 kWriteIntervalMs = 1000;

    /// `time` must outlive this object.
    BoardHealth(const Clock& time, BoardHealthConfig config);
    /// Marks the board stopped if stopped() was not called.
    ~BoardHealth();
    BoardHealth(const BoardHealth&) = delete;
    BoardHealth& operator=(const BoardHealth&) = delete;

    /// The board process has started; its start-up step is about to run.
    void started();
    /// A refresh completed without raising an error, leaving the board in
    /// `state`. `leftOut` (CP932) names a schedule line the refresh had to
    /// leave out: it is the current error, counted like any repeat; without
    /// one the current error clears.
    void refreshed(BoardState state, const std::optional<Cp932>& leftOut = std::nullopt);
    /// What the screen shows now: the grid's rows (may be null) and the
    /// previous race (CP932) above them, as they go up (see ReportingBoard).
    void showingUpcoming(std::shared_ptr<const ResultSet> upcoming);
    void showingPreviousRace(const Cp932& title);
    /// A refresh or the start-up step raised `message` (CP932).
    void failed(const Cp932& message);
    /// The current error has gone without a refresh (the start-up step got
    /// through, say).
    void cleared();
    /// The board closes: the status files say "stopped".
    void stopped();
    /// The system clock's synchronisation as last read (nullopt: unknown);
    /// a change of the synchronised state is written at once.
    void clockChecked(const std::optional<ClockSync>& sync);

    /// How long the data folder's reads took; written with the next write.
    void dataRead(const ReadTimes& times) { readTimes_ = times; }
    /// The folders the board works on (board_folders.h); a change is
    /// written at once.
    void setFolders(const QList<FolderUse>& folders);

    /// How many of the grid's rows the window shows now (a notice covers
    /// the lower ones): the status file lists those and no more.
    void setRowsInSight(int rows);

    /// The venue's settings as the settings file has them now: a copy to
    /// another folder starts there at once (the old folder is told the board
    /// stopped reporting to it), a new name shows with the next write, and
    /// a new key signs from the next write on.
    void followVenue(const QString& venueFolder, const QString& name, const QString& venueKey = {});

    BoardState state() const { return state_; }

    /// Whether a picture of the screen goes beside the status copy.
    bool publishesPicture() const { return venue_ != nullptr; }
    /// Hands a picture (PNG) of the screen to be written beside the status copy.
    void publishPicture(QByteArray png);
    /// Waits up to `timeoutMs` for the status copy's pending write.
    bool waitForVenueCopy(int timeoutMs) { return !venue_ || venue_->waitIdle(timeoutMs); }

private:
    void markActivity(qint64 now);
    void enter(BoardState state);
    void writeIfDue(bool urgent);
    BoardStatus snapshot() const;
    std::unique_ptr<VenueStatusWriter> venueWriter() const;

    const Clock& time_;
    BoardHealthConfig config_;
    QString key_;
    QString host_;
    QString localPath_;
    std::unique_ptr<VenueStatusWriter> venue_;

    BoardStateJournal states_;
    RepeatedErrors errors_;
    BoardState state_ = BoardState::Starting;
    bool started_ = false;
    qint64 startedMs_ = 0;
    std::optional<qint64> lastActivityMs_;
    std::deque<qint64> recentMs_;  // refreshes and attempts of the last minute
    std::shared_ptr<const ResultSet> upcoming_;
    Cp932 previousRace_;
    std::optional<qint64> lastWriteMs_;
    RepeatedErrors localFailures_;
    std::optional<ClockSync> clock_;
    int rowsInSight_ = kRowsInSight;
    std::optional<qint64> pictureTakenMs_;
    ReadTimes readTimes_;
    QList<FolderUse> folders_;
};

}  // namespace pelm
