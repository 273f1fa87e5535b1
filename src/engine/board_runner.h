#pragma once
// The board's life between its first showing and its close: the start-up
// step (connect, heal a damaged race table, empty it, ready the board),
// tried again every second until it succeeds, then a refresh on every beat
// of the 250 ms timer. A failure never outlives its cause: a table file that
// breaks under a running board sends it back through the start-up step.

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "engine/board.h"
#include "engine/board_settings.h"
#include "engine/clock.h"
#include "engine/data_file_reader.h"
#include "engine/race_table_place.h"
#include "engine/refresh_cycle.h"
#include "platform/cp932.h"
#include "platform/folder_lock.h"
#include "platform/paths.h"
#include "sqlengine/database.h"

namespace pelm {

/// What the runner tells beyond the board: the window turns it into boxes,
/// the journal into lines. Messages are CP932. Each listener takes what it
/// needs; the rest goes unheard.
class RunnerEvents {
public:
    virtual ~RunnerEvents() = default;
    /// The start-up step failed; `connection` when no database could be
    /// opened at all. Said once per distinct failure, not at every retry.
    virtual void startFailed(const Cp932& /*message*/, bool /*connection*/) {}
    virtual void started() {}
    /// The race table file was damaged; it went to `aside` and a fresh one
    /// took its place.
    virtual void tableReplaced(const Cp932& /*damage*/, const std::string& /*aside*/) {}
    /// The race table file at `path` went away under the board; a fresh one
    /// took its place.
    virtual void tableMadeAfresh(const std::string& /*path*/) {}
    /// The settings' race table folder may stall; the table is kept in
    /// `place.folder` instead (place.instead says why).
    virtual void tableMovedOff(const RaceTablePlace& /*place*/) {}
    /// The table file broke under a running board; it starts again.
    virtual void connectionLost(const Cp932& /*message*/) {}
    /// A refresh ended at an error; what the board showed stays.
    virtual void refreshFailed(const Cp932& /*message*/) {}
    /// A refresh of `cycle` completed; `problem` names a schedule line it
    /// left out.
    virtual void refreshed(const RefreshCycle& /*cycle*/, BoardState /*state*/,
                           const std::optional<Cp932>& /*problem*/) {}
};

/// Whether a runner owns the race table file of its table folder.
enum class TableUse {
    /// A board: it holds the folder's lock while it runs, so a second board
    /// on the same table is refused, and replaces a damaged table file.
    Held,
    /// A look from outside (pelmctl show): the Connect function gives a
    /// private database, and nothing in the table folder is touched.
    Private,
};

class BoardRunner {
public:
    /// Opens the database whose PATH is `tableFolder` (a board path: the
    /// race table's place, raceTablePlace).
    using Connect = std::function<std::unique_ptr<Database>(const Cp932& tableFolder)>;

    /// Beats between two start-up attempts: one second of the 250 ms timer.
    static constexpr int kRetryBeats = 4;
    /// How long a statement waits for another process's lock: short, since
    /// the wait holds the window's thread and the next beat tries again.
    static constexpr int kBoardBusyTimeoutMs = 100;

    /// Everything given must outlive the runner; the settings are read at
    /// every start and refresh. `boardFolder` (a board path) is the folder
    /// of the board's settings, where its race table goes when the
    /// settings' folder for it may stall; `dataWorker` gives the worker
    /// the schedule and notice are read through.
    BoardRunner(const BoardSettings& settings, const Clock& clock, Board& board,
                RunnerEvents& events, Connect connect, TableUse use = TableUse::Held,
                Cp932 boardFolder = currentDirectory(),
                WorkerFor dataWorker = ShareWorker::forFolder);
    ~BoardRunner();

    /// One beat of the refresh timer: a refresh while the board runs, with
    /// the data files as last read (a read goes on meanwhile, off this
    /// thread); otherwise the not-connected text, and the start-up step
    /// once a second.
    void tick();
    /// Waits at most `wait` for the data files' read in flight, so the
    /// next tick shows them: for a look from outside, which has no next
    /// beat. True when the read answered.
    bool settle(std::chrono::milliseconds wait) { return reader_.settle(wait); }

    /// The start-up step, now. True when the board runs.
    bool start();

    bool running() const { return cycle_ != nullptr; }
    /// Where the race table is kept, as the last start-up found it.
    const RaceTablePlace& tablePlace() const { return place_; }
    /// How long the data folder's reads took.
    ReadTimes readTimes() const { return reader_.times(); }

private:
    void refresh();
    void takeFiles();
    void refreshWith(const DataFiles& files);
    void connect();
    void placeRaceTable();
    void holdTableFolder();
    void healRaceTable();
    std::optional<std::string> ownTableFolder() const;
    void failStart(const Cp932& message, bool connection);
    void stop();

    const BoardSettings& settings_;
    const Clock& clock_;
    Board& board_;
    RunnerEvents& events_;
    Connect connect_;
    TableUse use_;
    std::optional<FolderLock> lock_;
    std::unique_ptr<Database> database_;
    std::unique_ptr<RefreshCycle> cycle_;
    DataFileReader reader_;
    std::optional<DataFiles> files_;  // as last read; nothing before the first answer
    std::optional<Cp932> shortage_;   // why the last read could not be made
    int beatsUntilRetry_ = 0;
    Cp932 boardFolder_;
    RaceTablePlace place_;
    bool tableSeen_ = false;  // this board has run on its table file
    Cp932 lastStartFailure_;
};

}  // namespace pelm
