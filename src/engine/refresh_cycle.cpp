#include "engine/refresh_cycle.h"

#include "engine/race_table.h"
#include "engine/schedule.h"
#include "engine/time_text.h"
#include "platform/error.h"
#include "platform/free_memory.h"
#include "platform/text_file.h"
#include "sqlengine/engine_error.h"

namespace pelm {
namespace {

std::size_t totalBytes(const std::vector<std::string>& lines) {
    std::size_t bytes = 0;
    for (const std::string& line : lines) bytes += line.size();
    return bytes;
}

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

void RefreshCycle::emptyRaceTable() { pelm::emptyRaceTable(work_); }

RefreshOutcome RefreshCycle::refresh() {
    // The refresh after an outsized schedule drops its rows; then is the
    // time to give their memory and their pages back.
    const HeapReleaseAtEnd release(lastScheduleOutsized_);
    LimitedLines schedule;
    try {
        schedule = readScheduleLines(settings_.dataDir);
    } catch (const Error&) {
        // A writer replacing the file or a share's hiccup: show it and try
        // again next time rather than stopping for good.
        board_.setClockText(settings_.setuzoku);
        return {TickState::NotConnected, std::nullopt};
    }
    std::vector<std::string> lines = std::move(schedule.lines);
    lastScheduleOutsized_ = totalBytes(lines) > kOutsizedSchedule;
    if (lines.empty()) {
        board_.setClockText(settings_.taiki);
        setPreviousRace("");
        board_.setCurtainVisible(true);
        return {TickState::Waiting, std::nullopt};
    }
    board_.setCurtainVisible(false);
    const std::size_t previousLines = lastScheduleLines_;
    lastScheduleLines_ = lines.size();
    RefreshOutcome outcome{TickState::Running, rebuildRaceTable(lines)};
    lines = {};
    // A writer that appends instead of replacing: the board shows the day's
    // first part and says why it shows no more.
    if (schedule.cut) outcome.problem = scheduleCutMessage(settings_.dataDir);
    if (previousLines >= kLargeTable && lastScheduleLines_ * 4 < previousLines) shrinkTable();

    openUpcomingRaces(menu_, timeText(clock_));
    board_.showUpcoming(menu_.result());
    board_.setClockText(timeText(clock_));
    showPreviousRace();
    showNotice();
    return outcome;
}

// The before-first-race decision belongs to the first line that has three
// fields; when that line is left out, the next line that is kept takes it.
// A short first line still settles it (no row), as it always has.
std::optional<std::string> RefreshCycle::rebuildRaceTable(const std::vector<std::string>& lines) {
    // One transaction, so a refresh writes the table file once; whatever was
    // done before an error is committed all the same.
    Database::Transaction transaction(database_);
    pelm::emptyRaceTable(work_);
    std::optional<std::string> problem;
    std::vector<std::string> fields;
    bool decided = false;
    for (size_t index = 0; index < lines.size(); ++index) {
        std::optional<RaceEntry> race = cutRaceEntry(lines[index], fields);
        if (!race) {
            decided = decided || index == 0;
            continue;
        }
        if (insertRace(*race, !decided, problem)) decided = true;
    }
    transaction.commit();
    return problem;
}

// Inserts one race; true when the table took it. A refused value is kept
// as the refresh's problem (the first one only) and the line left out.
bool RefreshCycle::insertRace(const RaceEntry& race, bool firstKept,
                              std::optional<std::string>& problem) {
    try {
        const std::optional<TimeOfDay> start =
            firstKept ? std::optional(strToTime(race.start)) : std::nullopt;
        insertRaceRow(work_, race);
        if (start && clock_.now() < *start) {
            insertBeforeFirstRaceRow(work_);
            setPreviousRace("");
        }
        return true;
    } catch (const EngineError& error) {
        if (!error.valueRejected()) throw;
        if (!problem) problem = error.what();
    } catch (const Error& error) {  // the start is no time
        if (!problem) problem = error.what();
    }
    return false;
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

void RefreshCycle::showPreviousRace() {
    const std::string start = menu_.fieldText("btime");
    if (start.empty()) {
        openWholeTable(work_);
        work_.last();
        return;
    }
    openPreviousRace(work_, start);
    setPreviousRace(work_.fieldText("rmenu"));
}

void RefreshCycle::setPreviousRace(const std::string& title) {
    previousRace_ = title;
    board_.setPreviousRace(title);
}

void RefreshCycle::showNotice() {
    std::vector<std::string> lines;
    try {
        lines = readNoticeLines(settings_.dataDir).lines;
    } catch (const Error&) {
        return;  // tried again at the next refresh
    }
    const bool shown = !lines.empty();
    board_.setNoticeShown(shown);
    board_.setUpperHeight(upperHeight(board_.windowHeight(), shown));
    if (shown) board_.setNoticeText(noticeText(lines));
}

}  // namespace pelm
