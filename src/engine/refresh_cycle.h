#pragma once
// The board's heart: one refresh takes the schedule and notice files as
// last read (data_file_reader.h), rebuilds the race table, selects the
// upcoming races with the time now, looks up the previous race and writes
// everything into the board.
//
// A refresh costs what changed: while nothing a pass depends on has
// changed, the board is shown what the last pass showed and the table file
// is left alone (see stillShown). The board shows and reports exactly what
// a full pass would.

#include <optional>
#include <string>

#include "engine/board.h"
#include "engine/board_settings.h"
#include "engine/board_state.h"
#include "engine/clock.h"
#include "engine/schedule.h"
#include "platform/time_of_day.h"
#include "sqlengine/database.h"
#include "sqlengine/query.h"

namespace pelm {

/// What a refresh that raised no error did.
struct RefreshOutcome {
    /// Running (races shown, possibly none left), Waiting (the schedule has
    /// no lines) or NotConnected (the schedule file cannot be read).
    BoardState state = BoardState::Running;
    /// What of the schedule the refresh could not use, as the error the
    /// operator is shown: bytes after a NUL, else a cut to the limits, else
    /// the first line left out (a start or end the table refused); nothing
    /// when the whole schedule was taken.
    std::optional<Cp932> problem;
};

class RefreshCycle {
public:
    /// `settings`, `clock` and `board` must outlive the cycle; the settings
    /// are read at every refresh, so a change shows at the next one.
    RefreshCycle(Database& database, const BoardSettings& settings, const Clock& clock,
                 Board& board);

    /// One refresh with `files`, the last the data folder gave, new or
    /// not: the rows are selected for the time now, so a race that ends
    /// leaves the grid on time whether or not the files came again. A line
    /// whose start or end is no time is left out and named in the outcome,
    /// so one typo cannot freeze the clock; failures of the table itself
    /// leave the refresh at the statement that raised them, as pelm::Error
    /// (EngineError from the engine), and what the board showed stays.
    RefreshOutcome refresh(const DataFiles& files);

    /// "delete from rmenutxt.db", as the first showing sends it.
    void emptyRaceTable();

private:
    /// What the last pass showed and what it depended on.
    struct Pass {
        std::string schedule;                 // the schedule's bytes
        LocaleTime locale;                    // times were read with it
        std::optional<TimeOfDay> firstStart;  // of the line that took the decision
        bool waitingRow = false;              // before-first-race row inserted
        std::optional<Cp932> problem;         // the first line left out
        bool cut = false;
        Cp932 clockText;                    // the rows were selected for it
        std::optional<Cp932> nextEnd;       // the earliest end among them
        std::optional<Cp932> previousRace;  // nothing: left as it was
        Database::FileStamp table{};        // the table file's header after the pass
    };

    RefreshOutcome showWaiting(const std::optional<Cp932>& nul);
    bool stillShown(const std::string& bytes, TimeOfDay now, const Cp932& clockText);
    RefreshOutcome showAgain(const Cp932& clockText);
    RefreshOutcome showAfresh(std::string bytes, const LimitedLines& schedule, TimeOfDay now,
                              const Cp932& clockText);
    Pass rebuildRaceTable(const std::vector<std::string>& lines, TimeOfDay now);
    bool insertRace(const RaceEntry& race, bool firstKept, TimeOfDay now, Pass& pass);
    void selectUpcoming(const Cp932& clockText, Pass& pass);
    std::optional<Cp932> selectPreviousRace();
    std::optional<Cp932> nextEnd() const;
    RefreshOutcome outcomeOf(const Pass& pass) const;
    void shrinkTable();
    void showNotice(const std::vector<std::string>& lines);

    /// A schedule this large leaves the heap full of holes once it is gone.
    static constexpr std::size_t kOutsizedSchedule = 1 << 20;
    /// A table this large that then shrinks to a quarter is vacuumed, so its
    /// file does not keep the size of the largest schedule of the day.
    static constexpr std::size_t kLargeTable = 2000;

    Database& database_;
    const BoardSettings& settings_;
    const Clock& clock_;
    Board& board_;
    Query work_;
    Query menu_;
    bool lastScheduleOutsized_ = false;
    std::size_t lastScheduleLines_ = 0;
    std::optional<Pass> lastPass_;  // nothing: the next refresh makes a full pass
};

}  // namespace pelm
