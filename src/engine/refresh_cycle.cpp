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
    built_.reset();
    ++tableGeneration_;
    pelm::emptyRaceTable(work_);
}

RefreshOutcome RefreshCycle::refresh() {
    // The refresh after an outsized schedule drops its rows; then is the
    // time to give their memory and their pages back.
    const HeapReleaseAtEnd release(lastScheduleOutsized_);
    lastScheduleOutsized_ = false;
    DataFiles files = readDataFiles(settings_.dataDir);
    if (!files.schedule) {
        // A writer replacing the file or a share's hiccup: show it and try
        // again next time rather than stopping for good.
        board_.setClockText(settings_.setuzoku);
        return {TickState::NotConnected, std::nullopt};
    }
    std::string& bytes = *files.schedule;
    // Said at every refresh, like a left-out line, for as long as it lasts.
    const std::optional<Cp932> nul = scheduleNulMessage(settings_.dataDir, bytes);
    // The bytes of the last rebuild had lines, so they cannot mean waiting.
    const bool sameSchedule = !alwaysRebuild_ && built_ && built_->schedule == bytes &&
                              built_->locale == currentLocaleTime();
    LimitedLines schedule;
    if (!sameSchedule) {
        schedule = scheduleLines(bytes);
        lastScheduleOutsized_ = bytes.size() > kOutsizedSchedule;
        if (schedule.lines.empty()) {
            board_.setClockText(settings_.taiki);
            setPreviousRace(Cp932());
            board_.setCurtainVisible(true);
            return {TickState::Waiting, nul};
        }
    }
    board_.setCurtainVisible(false);
    RefreshOutcome outcome = refreshTable(sameSchedule, std::move(bytes), std::move(schedule));
    if (files.notice) showNotice(scheduleLines(*files.notice).lines);
    if (nul) outcome.problem = nul;  // it explains any line left out after it
    return outcome;
}

// One transaction, so a refresh takes the table file's locks once and
// writes it at most once; whatever was done before an error is committed
// all the same. A refresh that finds nothing changed takes no lock at all.
RefreshOutcome RefreshCycle::refreshTable(bool sameSchedule, std::string bytes,
                                          LimitedLines schedule) {
    const TimeOfDay now = clock_.now();
    if (tableUntouched(sameSchedule, now)) {
        const RefreshOutcome outcome = keepTable();
        selectUpcoming(now);
        return outcome;
    }
    Database::CommittingTransaction transaction(database_);
    RefreshOutcome outcome;
    if (tableStillBuilt(sameSchedule, now)) {
        outcome = keepTable();
        built_->stamp = database_.tableFileStamp(kRaceTable);  // still under the read lock
    } else {
        if (sameSchedule) schedule = scheduleLines(bytes);
        const std::size_t previousLines = lastScheduleLines_;
        outcome = rebuild(std::move(bytes), std::move(schedule), now);
        if (previousLines >= kLargeTable && lastScheduleLines_ * 4 < previousLines) {
            transaction.commit();  // a vacuum runs outside any transaction
            shrinkTable();
        }
    }
    selectUpcoming(now);
    transaction.commit();
    return outcome;
}

// The same bytes read with the same locale, and the same before-first-race
// decision: a rebuild now would put in what the last one did.
bool RefreshCycle::sameDecision(bool sameSchedule, TimeOfDay now) const {
    if (!sameSchedule) return false;
    const bool waitingRow = built_->firstStart && now < *built_->firstStart;
    return waitingRow == built_->waitingRow;
}

// Whether the table holds what a rebuild would put in now, told without
// taking the file's lock: its header is as it was when last seen under the
// lock, so no other program has committed to it since.
bool RefreshCycle::tableUntouched(bool sameSchedule, TimeOfDay now) {
    if (!sameDecision(sameSchedule, now) || !built_->stamp) return false;
    return database_.tableFileStamp(kRaceTable) == built_->stamp;
}

// Whether the table holds what a rebuild would put in now, told under the
// file's read lock: no other program has touched the file (or put another
// in its place) since the last rebuild.
bool RefreshCycle::tableStillBuilt(bool sameSchedule, TimeOfDay now) {
    if (!sameDecision(sameSchedule, now)) return false;
    const std::optional<std::int64_t> version = database_.tableFileVersion(kRaceTable);
    return version && version == built_->fileVersion;
}

// What a rebuild would have done to the board and said, without doing it.
RefreshOutcome RefreshCycle::keepTable() {
    if (built_->waitingRow) setPreviousRace(Cp932());
    if (built_->cut) return {TickState::Running, scheduleCutMessage(settings_.dataDir)};
    return {TickState::Running, built_->problem};
}

RefreshOutcome RefreshCycle::rebuild(std::string bytes, LimitedLines schedule, TimeOfDay now) {
    built_.reset();  // until this rebuild completes, the table is no one's
    ++tableGeneration_;
    ++rebuilds_;
    lastScheduleLines_ = schedule.lines.size();
    BuiltTable built = rebuildRaceTable(schedule.lines, now);
    built.schedule = std::move(bytes);
    built.locale = currentLocaleTime();
    built.cut = schedule.cut;
    built.fileVersion = database_.tableFileVersion(kRaceTable);
    built_ = std::move(built);
    return keepTable();
}

// The before-first-race decision belongs to the first line that has three
// fields; when that line is left out, the next line that is kept takes it.
// A short first line still settles it (no row), as it always has.
RefreshCycle::BuiltTable RefreshCycle::rebuildRaceTable(const std::vector<std::string>& lines,
                                                        TimeOfDay now) {
    BuiltTable built;
    pelm::emptyRaceTable(work_);
    std::vector<std::string> fields;
    bool decided = false;
    for (size_t index = 0; index < lines.size(); ++index) {
        std::optional<RaceEntry> race = cutRaceEntry(lines[index], fields);
        if (!race) {
            decided = decided || index == 0;
            continue;
        }
        if (insertRace(*race, !decided, now, built)) decided = true;
    }
    return built;
}

// Inserts one race; true when the table took it. A refused value is kept
// as the rebuild's problem (the first one only) and the line left out.
bool RefreshCycle::insertRace(const RaceEntry& race, bool firstKept, TimeOfDay now,
                              BuiltTable& built) {
    try {
        const std::optional<TimeOfDay> start =
            firstKept ? std::optional(strToTime(race.start.view())) : std::nullopt;
        insertRaceRow(work_, race);
        if (!start) return true;
        built.firstStart = start;
        if (now < *start) {
            insertBeforeFirstRaceRow(work_);
            setPreviousRace(Cp932());
            built.waitingRow = true;
        }
        return true;
    } catch (const EngineError& error) {
        if (!error.valueRejected()) throw;
        if (!built.problem) built.problem = error.message();
    } catch (const Error& error) {  // the start is no time
        if (!built.problem) built.problem = error.message();
    }
    return false;
}

// The selections answer from the table and the clock text alone, so while
// neither changed the open result sets stand and only the clock is set.
// A clock that moved on changes the answer only once it reaches the end of
// an upcoming race: until then no race leaves, and none that had ended
// comes back.
bool RefreshCycle::answerHolds(const Cp932& clockText) const {
    if (alwaysRebuild_ || !answered_ || answered_->table != tableGeneration_) return false;
    if (clockText == answered_->clockText) return true;
    return compareTimeTexts(clockText, answered_->clockText) >= 0 &&
           (!answered_->nextEnd || compareTimeTexts(clockText, *answered_->nextEnd) < 0);
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

// The clock shows the time the rows were selected for, read once.
void RefreshCycle::selectUpcoming(TimeOfDay now) {
    const Cp932 clockText = timeText(now);
    if (answerHolds(clockText)) {
        // Handed again, as a reopened query is: the grid goes back to its
        // first row, and redraws nothing when the rows are the ones shown.
        board_.showUpcoming(menu_.result());
        board_.setClockText(clockText);
        if (answered_->previousRace) setPreviousRace(*answered_->previousRace);
        return;
    }
    answered_.reset();
    Database::CommittingTransaction reads(database_);  // joins the refresh's, if still open
    openUpcomingRaces(menu_, clockText);
    board_.showUpcoming(menu_.result());
    board_.setClockText(clockText);
    const std::optional<Cp932> previous = lookUpPreviousRace();
    if (previous) setPreviousRace(*previous);
    reads.commit();
    answered_ = Answer{tableGeneration_, clockText, nextEnd(), previous};
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

// The title of the race that ended when the first upcoming one started;
// nothing when that row has no start (the waiting row, or no row at all).
std::optional<Cp932> RefreshCycle::lookUpPreviousRace() {
    const Cp932 start = menu_.fieldText("btime");
    if (start.empty()) {
        openWholeTable(work_);
        work_.last();
        return std::nullopt;
    }
    openPreviousRace(work_, start);
    return work_.fieldText("rmenu");
}

void RefreshCycle::setPreviousRace(const Cp932& title) {
    previousRace_ = title;
    board_.setPreviousRace(title);
}

// An unreadable notice changes nothing; the next refresh tries again.
void RefreshCycle::showNotice(const std::vector<std::string>& lines) {
    const bool shown = !lines.empty();
    board_.setNoticeShown(shown);
    board_.setUpperHeight(upperHeight(board_.windowHeight(), shown));
    if (shown) board_.setNoticeText(noticeText(lines));
}

}  // namespace pelm
