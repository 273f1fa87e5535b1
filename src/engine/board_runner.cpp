#include "engine/board_runner.h"

#include <filesystem>

#include "engine/race_table_file.h"
#include "engine/time_text.h"
#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/journal.h"
#include "platform/paths.h"
#include "sqlengine/engine_error.h"
#include "sqlengine/folder_driver.h"
#include "sqlengine/table_file.h"

namespace pelm {
namespace {

// Raised by a start-up that could not open any database, so the window can
// show its connection notice instead of the error box.
class ConnectionFailure : public Error {
public:
    using Error::Error;
};

// Raised when another board holds the table folder; `folder` is a board path.
class TableHeldElsewhere : public Error {
public:
    TableHeldElsewhere(const Cp932& folder, const LockHolder& holder)
        : Error(messageFor(folder, holder)), folder(folder) {}
    Cp932 folder;

private:
    static Cp932 messageFor(const Cp932& folder, const LockHolder& holder) {
        // A file of another user says nothing trustworthy: name its owner.
        const std::string who = !holder.owner.empty() ? "ユーザー " + holder.owner
                                : holder.pid          ? "pid " + std::to_string(holder.pid)
                                                      : "pid ?";
        const std::string where =
            holder.host.empty() || !holder.owner.empty() ? "" : ", " + holder.host;
        return utf8ToCp932("フォルダ '") + folder +
               utf8ToCp932("' のレース表は別のボードが使っています (" + who + where + ")");
    }
};

// Said once per refusal, beside the box: what the venue should change.
void journalTableHint(const TableHeldElsewhere& refusal) {
    qCWarning(lcBoard).noquote()
        << "another board uses the race table in" << fromCp932(refusal.folder)
        << "; this board retries every second and takes over when it closes."
        << "Give each board its own table: pelmctl init DATA_FOLDER --table-dir LOCAL_FOLDER";
}

}  // namespace

BoardRunner::BoardRunner(const BoardSettings& settings, const Clock& clock, Board& board,
                         RunnerEvents& events, Connect connect, TableUse use, Cp932 boardFolder,
                         WorkerFor dataWorker)
    : settings_(settings),
      clock_(clock),
      board_(board),
      events_(events),
      connect_(std::move(connect)),
      use_(use),
      reader_(std::move(dataWorker)),
      boardFolder_(std::move(boardFolder)) {}

BoardRunner::~BoardRunner() {
    stop();
}

void BoardRunner::tick() {
    if (running()) return refresh();
    if (--beatsUntilRetry_ <= 0 && start()) return refresh();
    board_.setClockText(settings_.setuzoku);
}

bool BoardRunner::start() {
    beatsUntilRetry_ = kRetryBeats;
    stop();
    try {
        placeRaceTable();
        holdTableFolder();
        healRaceTable();
        connect();
        cycle_->emptyRaceTable();
    } catch (const TableHeldElsewhere& refusal) {
        const bool told = refusal.message() == lastStartFailure_;
        failStart(refusal.message(), false);
        if (!told) journalTableHint(refusal);
        return false;
    } catch (const ConnectionFailure& error) {
        failStart(error.message(), true);
        return false;
    } catch (const Error& error) {
        failStart(error.message(), false);
        return false;
    }
    lastStartFailure_ = Cp932();
    tableSeen_ = use_ == TableUse::Held;
    board_.setCurtainVisible(true);
    board_.startShowing();
    events_.started();
    return true;
}

// The clock never waits for the share: the files as last read are shown
// with the time now, and only a read gone unanswered for kLostAfter makes
// the board not connected. Before the first answer there is nothing to
// show but the time, behind the curtain.
void BoardRunner::refresh() {
    takeFiles();
    if (reader_.unanswered() >= DataFileReader::kLostAfter) {
        board_.setClockText(settings_.setuzoku);
        return events_.refreshed(*cycle_, BoardState::NotConnected, std::nullopt);
    }
    if (files_) return refreshWith(*files_);
    board_.setClockText(timeText(clock_.now()));
    if (shortage_) events_.refreshFailed(*shortage_);
}

// A read that failed for want of the board's own resources (no helper
// process, no descriptor) says nothing of the share: the files as last
// read stay shown, with the time now, and the shortage is the error.
void BoardRunner::takeFiles() {
    std::optional<DataFiles> fresh = reader_.take(settings_.dataDir);
    if (!fresh) return;
    shortage_ = fresh->failure;
    if (!shortage_) files_ = std::move(fresh);
}

void BoardRunner::refreshWith(const DataFiles& files) {
    try {
        const RefreshOutcome outcome = cycle_->refresh(files);
        events_.refreshed(*cycle_, outcome.state, shortage_ ? shortage_ : outcome.problem);
    } catch (const EngineError& error) {
        if (!error.tableFileBroken() && !error.tableMissing())
            return events_.refreshFailed(error.message());
        // Whatever is behind the connection now is not the table the
        // board opened (an emptied or replaced file): start again at the
        // next beat, which heals or reports it.
        stop();
        beatsUntilRetry_ = 1;
        board_.setClockText(settings_.setuzoku);
        events_.connectionLost(error.message());
    } catch (const Error& error) {
        events_.refreshFailed(error.message());
    }
}

void BoardRunner::connect() {
    try {
        database_ = connect_(place_.folder);
    } catch (const Error& error) {
        throw ConnectionFailure(error.message());
    }
    database_->setBusyTimeout(kBoardBusyTimeoutMs);
    cycle_ = std::make_unique<RefreshCycle>(*database_, settings_, clock_, board_);
}

// A board's own table (not a private look's) goes to a local disk when
// the settings put it on a share (race_table_place.h): said once, and made
// there when it is not yet, as pelmctl init would.
void BoardRunner::placeRaceTable() {
    const bool wasInstead = place_.instead.has_value();
    place_ = use_ == TableUse::Held ? raceTablePlace(settings_, boardFolder_)
                                    : RaceTablePlace{settings_.raceTableFolder(), std::nullopt};
    if (!place_.instead) return;
    const std::string folder = nativePath(place_.folder);
    std::error_code unmade;
    std::filesystem::create_directories(folder, unmade);
    if (raceTableFileMissing(folder)) createRaceTableFile(folder);
    if (!wasInstead) events_.tableMovedOff(place_);
}

// The native table folder this board holds and heals: none for a private
// runner, nor when the folder cannot be used (the open then says why).
std::optional<std::string> BoardRunner::ownTableFolder() const {
    if (use_ != TableUse::Held) return std::nullopt;
    try {
        return usableFolder(place_.folder);
    } catch (const Error&) {
        return std::nullopt;
    }
}

// Taken before the table is healed or opened, so two boards never rebuild
// one table file.
void BoardRunner::holdTableFolder() {
    const std::optional<std::string> folder = ownTableFolder();
    if (!folder) return;
    LockHolder holder;
    lock_ = FolderLock::tryTake(*folder, &holder);
    if (!lock_) throw TableHeldElsewhere(place_.folder, holder);
}

// Checked before connecting: a file that is no database fails the open
// itself. A table file that went away under a running board is made afresh,
// as a damaged one is (it holds nothing the schedule does not); one that was
// never there is the venue's set-up to fix, and stays an error.
void BoardRunner::healRaceTable() {
    const std::optional<std::string> folder = ownTableFolder();
    if (!folder) return;
    if (tableSeen_ && raceTableFileMissing(*folder)) {
        createRaceTableFile(*folder);
        return events_.tableMadeAfresh(raceTableFilePath(*folder));
    }
    const std::optional<Cp932> damage = raceTableFileDamage(*folder);
    if (!damage) return;
    const std::string aside = replaceDamagedRaceTableFile(*folder);
    events_.tableReplaced(*damage, aside);
}

void BoardRunner::failStart(const Cp932& message, bool connection) {
    stop();
    if (message == lastStartFailure_) return;
    lastStartFailure_ = message;
    events_.startFailed(message, connection);
}

// The queries go before the connection they run on, and the connection
// before the lock that guards its file.
void BoardRunner::stop() {
    cycle_.reset();
    database_.reset();
    lock_.reset();
}

}  // namespace pelm
