#include "engine/refresh_cycle.h"

#include "engine/race_table.h"
#include "engine/schedule.h"
#include "engine/time_text.h"
#include "platform/error.h"
#include "platform/free_memory.h"
#include "platform/text_file.h"

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

TickState RefreshCycle::Timer1Timer() {
    // The refresh after an outsized schedule drops its rows; then is the
    // time to give their memory back.
    const HeapReleaseAtEnd release(lastScheduleOutsized_);
    std::vector<std::string> lines;
    try {
        lines = readLines(schedulePath(settings_.dataDir));
    } catch (const Error&) {
        // A writer replacing the file or a share's hiccup: show it and try
        // again next time rather than stopping for good.
        board_.setClockText(settings_.setuzoku);
        return TickState::NotConnected;
    }
    lastScheduleOutsized_ = totalBytes(lines) > kOutsizedSchedule;
    if (lines.empty()) {
        board_.setClockText(settings_.taiki);
        board_.setPreviousRace("");
        board_.setCurtainVisible(true);
        return TickState::Waiting;
    }
    board_.setCurtainVisible(false);
    rebuildRaceTable(lines);

    openUpcomingRaces(menu_, timeText(clock_));
    board_.showUpcoming(menu_.result());
    board_.setClockText(timeText(clock_));
    showPreviousRace();
    showNotice();
    return TickState::Running;
}

void RefreshCycle::rebuildRaceTable(const std::vector<std::string>& lines) {
    // One transaction, so a refresh writes the table file once; whatever was
    // done before an error is committed all the same.
    Database::Transaction transaction(database_);
    pelm::emptyRaceTable(work_);
    std::vector<std::string> fields;
    for (size_t index = 0; index < lines.size(); ++index) {
        std::optional<RaceEntry> race = cutRaceEntry(lines[index], fields);
        if (!race) continue;
        if (index == 0 && clock_.now() < strToTime(race->start)) {
            insertBeforeFirstRaceRow(work_);
            board_.setPreviousRace("");
        }
        insertRaceRow(work_, *race);
    }
    transaction.commit();
}

void RefreshCycle::showPreviousRace() {
    const std::string start = menu_.fieldText("btime");
    if (start.empty()) {
        openWholeTable(work_);
        work_.last();
        return;
    }
    openPreviousRace(work_, start);
    board_.setPreviousRace(work_.fieldText("rmenu"));
}

void RefreshCycle::showNotice() {
    std::vector<std::string> lines;
    try {
        lines = readLines(noticePath(settings_.dataDir));
    } catch (const Error&) {
        return;  // tried again at the next refresh
    }
    const bool shown = !lines.empty();
    board_.setNoticeShown(shown);
    board_.setUpperHeight(upperHeight(board_.windowHeight(), shown));
    if (shown) board_.setNoticeText(noticeText(lines));
}

}  // namespace pelm
