#pragma once
// The board's heart: one refresh (`Timer1Timer`) re-reads the schedule and
// notice files, rebuilds the race table, selects the upcoming races, looks
// up the previous race and writes everything into the board.

#include <string>

#include "engine/board.h"
#include "engine/board_settings.h"
#include "engine/clock.h"
#include "sqlengine/database.h"
#include "sqlengine/query.h"

namespace pelm {

/// How a refresh ended when it raised no error.
enum class TickState {
    Running,       // races shown (possibly none left)
    Waiting,       // the schedule has no lines
    NotConnected,  // the schedule file cannot be read
};

class RefreshCycle {
public:
    /// `settings`, `clock` and `board` must outlive the cycle; the settings
    /// are read at every refresh, so a change shows at the next one.
    RefreshCycle(Database& database, const BoardSettings& settings, const Clock& clock,
                 Board& board);

    /// One refresh. Errors (a start that is no time, a statement the engine
    /// rejects) leave it at the statement that raised them, as pelm::Error;
    /// what the board showed stays.
    TickState Timer1Timer();

    /// "delete from rmenutxt.db", as the first showing sends it.
    void emptyRaceTable();

    Query& Qwork() { return work_; }
    Query& Qmenu() { return menu_; }

private:
    void rebuildRaceTable(const std::vector<std::string>& lines);
    void showPreviousRace();
    void showNotice();

    /// A schedule this large leaves the heap full of holes once it is gone.
    static constexpr std::size_t kOutsizedSchedule = 1 << 20;

    Database& database_;
    const BoardSettings& settings_;
    const Clock& clock_;
    Board& board_;
    Query work_;
    Query menu_;
    bool lastScheduleOutsized_ = false;
};

}  // namespace pelm
