#include "engine/refresh_cycle.h"

#include "engine/race_table.h"
#include "engine/race_table_file.h"
#include "engine/schedule.h"
#include "engine/time_text.h"
#include "platform/error.h"
#include "platform/free_memory.h"
#include "platform/text_file.h"
#include "sqlengine/engine_error.h"
#include "sqlengine/time_of_day_sql.h"

namespace pelm {
namespace {

// Hands the heap back when the refresh it guards ends, however it ends: by
// then the lines are gone and the grid has let go of the rows it replaced.
class HeapReleaseAtEnd {
public:
    explicit HeapReleaseAtEnd(bool due) : due_(due) {}
    ~HeapReleaseAtEnd() {
        if (due_) releaseFreeMemory();
    }
    HeapReleaseAtEnd(const HeapReleaseAtEnd&) = delete;
    HeapReleaseAtEnd& operator=(const HeapReleaseAtEnd&) = delete;

private:
    bool due_;
};

}  // namespace

RefreshCycle::RefreshCycle(Database& database, const BoardSettings& settings, const Clock& clock,
                           Board& board)
    : database_(database),
      settings_(settings),
      clock_(clock),
      board_(board),
      work_(database, "Qwork"),
      menu_(database, "Qmenu") {}

void RefreshCycle::emptyRaceTable() {
    lastPass_.reset();
    deleteRaceRows(work_);
}

RefreshOutcome RefreshCycle::refresh(const DataFiles& files) {
    // The refresh after an outsized schedule drops its rows; then is the
    // time to give their memory and their pages back.
    const HeapReleaseAtEnd release(lastScheduleOutsized_);
    lastScheduleOutsized_ = false;
    if (!files.schedule) {
        // A writer replacing the file or a share's hiccup: show it and try
        // again next time rather than stopping for good.
        board_.setClockText(settings_.setuzoku);
        return {BoardState::NotConnected, files.failure};
    }
    const std::string& bytes = *files.schedule;
    // Said at every refresh, like a left-out line, for as long as it lasts.
    const std::optional<Cp932> nul = scheduleNulMessage(settings_.dataDir, bytes);
    // The clock shows the time the rows were selected for, read once.
    const TimeOfDay now = clock_.now();
    const Cp932 clockText = timeText(now);
    RefreshOutcome outcome;
    if (stillShown(bytes, now, clockText)) {
        board_.setCurtainVisible(false);
        outcome = showAgain(clockText);
    } else {
        const LimitedLines schedule = scheduleLines(bytes);
        lastScheduleOutsized_ = bytes.size() > kOutsizedSchedule;
        if (schedule.lines.empty()) return showWaiting(nul);
        board_.setCurtainVisible(false);
        outcome = showAfresh(bytes, schedule, now, clockText);
    }
    if (files.notice) showNotice(scheduleLines(*files.notice).lines);
    if (nul) outcome.problem = nul;  // it explains any line left out after it
    return outcome;
}

// A schedule without lines: the curtain, until races come.
RefreshOutcome RefreshCycle::showWaiting(const std::optional<Cp932>& nul) {
    board_.setClockText(settings_.taiki);
    board_.setPreviousRace(Cp932());
    board_.setCurtainVisible(true);
    return {BoardState::Waiting, nul};
}

// Whether a pass now would show and say what the last one did. It would
// while it reads the same bytes with the same locale, takes the same
// before-first-race decision, and finds the table as the last pass left
// it: its file's header unchanged, read without a lock so that another
// program holding one does not hold up the clock. And it would while the
// clock has neither gone back nor reached the end of a race shown: until
// then no race leaves the grid, and none that had ended comes back.
bool RefreshCycle::stillShown(const std::string& bytes, TimeOfDay now, const Cp932& clockText) {
    if (!lastPass_ || lastPass_->schedule != bytes || !(lastPass_->locale == currentLocaleTime()))
        return false;
    const bool waitingRow = lastPass_->firstStart && now < *lastPass_->firstStart;
    if (waitingRow != lastPass_->waitingRow) return false;
    if (clockText != lastPass_->clockText &&
        (compareTimeTexts(clockText, lastPass_->clockText) < 0 ||
         (lastPass_->nextEnd && compareTimeTexts(clockText, *lastPass_->nextEnd) >= 0)))
        return false;
    return database_.tableFileStamp(kRaceTable) == lastPass_->table;
}

// What a pass would do to the board, without the pass.
RefreshOutcome RefreshCycle::showAgain(const Cp932& clockText) {
    if (lastPass_->waitingRow) board_.setPreviousRace(Cp932());
    board_.setClockText(clockText);
    // Handed again, as a reopened query is: the grid goes back to its first
    // row, and redraws nothing when the rows are the ones shown.
    board_.showUpcoming(menu_.result());
    if (lastPass_->previousRace) board_.setPreviousRace(*lastPass_->previousRace);
    return outcomeOf(*lastPass_);
}

// One transaction, so a pass takes the table file's locks once and writes
// it once; whatever was done before an error is committed all the same.
RefreshOutcome RefreshCycle::showAfresh(std::string bytes, const LimitedLines& schedule,
                                        TimeOfDay now, const Cp932& clockText) {
    lastPass_.reset();  // until this pass completes, it shows nothing to keep
    // The clock first: its new second is due now, and a window may draw it
    // at once, apart from the rows that change with it.
    board_.setClockText(clockText);
    const std::size_t previousLines = lastScheduleLines_;
    lastScheduleLines_ = schedule.lines.size();
    Database::CommittingTransaction transaction(database_);
    Pass pass = rebuildRaceTable(schedule.lines, now);
    if (previousLines >= kLargeTable && lastScheduleLines_ * 4 < previousLines) {
        transaction.commit();  // a vacuum runs outside any transaction
        shrinkTable();
    }
    selectUpcoming(clockText, pass);
    transaction.commit();
    pass.schedule = std::move(bytes);
    pass.locale = currentLocaleTime();
    pass.cut = schedule.cut;
    const RefreshOutcome outcome = outcomeOf(pass);
    // Read after the commit, so that the header is the one the commit left.
    // A program that commits in the moment between goes unseen until the
    // next pass; the board still shows what its own schedule says.
    if (const std::optional<Database::FileStamp> table = database_.tableFileStamp(kRaceTable)) {
        pass.table = *table;
        lastPass_ = std::move(pass);
    }
    return outcome;
}

// The before-first-race decision belongs to the first line that has three
// fields; when that line is left out, the next line that is kept takes it.
// A short first line still settles it (no row), as it always has.
RefreshCycle::Pass RefreshCycle::rebuildRaceTable(const std::vector<std::string>& lines,
                                                  TimeOfDay now) {
    Pass pass;
    deleteRaceRows(work_);
    std::vector<std::string> fields;
    bool decided = false;
    for (size_t index = 0; index < lines.size(); ++index) {
        std::optional<RaceEntry> race = cutRaceEntry(lines[index], fields);
        if (!race) {
            decided = decided || index == 0;
            continue;
        }
        if (insertRace(*race, !decided, now, pass)) decided = true;
    }
    return pass;
}

// Inserts one race; true when the table took it. A refused value is kept
// as the pass's problem (the first one only) and the line left out.
bool RefreshCycle::insertRace(const RaceEntry& race, bool firstKept, TimeOfDay now, Pass& pass) {
    try {
        const std::optional<TimeOfDay> start =
            firstKept ? std::optional(strToTime(race.start.view())) : std::nullopt;
        insertRaceRow(work_, race);
        if (!start) return true;
        pass.firstStart = start;
        if (now < *start) {
            insertBeforeFirstRaceRow(work_);
            board_.setPreviousRace(Cp932());
            pass.waitingRow = true;
        }
        return true;
    } catch (const EngineError& error) {
        if (!error.valueRejected()) throw;
        if (!pass.problem) pass.problem = error.message();
    } catch (const Error& error) {  // the start is no time
        if (!pass.problem) pass.problem = error.message();
    }
    return false;
}

void RefreshCycle::selectUpcoming(const Cp932& clockText, Pass& pass) {
    openUpcomingRaces(menu_, clockText);
    board_.showUpcoming(menu_.result());
    pass.clockText = clockText;
    pass.nextEnd = nextEnd();
    pass.previousRace = selectPreviousRace();
    if (pass.previousRace) board_.setPreviousRace(*pass.previousRace);
}

// The title of the race that ended when the first upcoming one started;
// nothing when that row has no start (the waiting row, or no row at all),
// and then the whole table is opened at its last row instead.
std::optional<Cp932> RefreshCycle::selectPreviousRace() {
    const Cp932 start = menu_.fieldText("btime");
    if (start.empty()) {
        openWholeTable(work_);
        work_.last();
        return std::nullopt;
    }
    openPreviousRace(work_, start);
    return work_.fieldText("rmenu");
}

// The earliest end among the upcoming rows, in the table's own order.
std::optional<Cp932> RefreshCycle::nextEnd() const {
    const std::shared_ptr<const ResultSet> upcoming = menu_.result();
    const int column = upcoming->columnIndex("etime");
    std::optional<Cp932> earliest;
    for (const ResultSet::Row& row : upcoming->rows) {
        const std::optional<Cp932>& end = row[static_cast<std::size_t>(column)];
        if (end && (!earliest || compareTimeTexts(*end, *earliest) < 0)) earliest = end;
    }
    return earliest;
}

RefreshOutcome RefreshCycle::outcomeOf(const Pass& pass) const {
    if (pass.cut) return {BoardState::Running, scheduleCutMessage(settings_.dataDir)};
    return {BoardState::Running, pass.problem};
}

// Freed pages stay in the file until a vacuum: without one, a day's table
// file would keep the size of the largest schedule it ever held.
void RefreshCycle::shrinkTable() {
    work_.clear();
    work_.addLine("VACUUM rmenutxt");
    try {
        work_.execute();
    } catch (const Error&) {
        // Only space is at stake; the next outsized schedule tries again.
    }
}

// An unreadable notice changes nothing; the next refresh tries again.
void RefreshCycle::showNotice(const std::vector<std::string>& lines) {
    const bool shown = !lines.empty();
    board_.setNoticeShown(shown);
    board_.setUpperHeight(upperHeight(board_.windowHeight(), shown));
    if (shown) board_.setNoticeText(noticeText(lines));
}

}  // namespace pelm
