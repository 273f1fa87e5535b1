#pragma once
// The statements the board sends about its race table `rmenutxt`, word for
// word and line by line. Values of the schedule and the clock are bound to
// parameters where the board quoted them, so no title can change a
// statement, and each statement compiles once however many races it writes.

#include "engine/schedule.h"
#include "platform/cp932.h"
#include "sqlengine/query.h"

namespace pelm {

/// "delete from rmenutxt.db", executed on `work`.
void deleteRaceRows(Query& work);
/// The before-first-race row (kara "-", stime "0:00:00"), executed on `work`.
void insertBeforeFirstRaceRow(Query& work);
/// One race row (start, "-", end, title), executed on `work`.
void insertRaceRow(Query& work, const RaceEntry& race);
/// Opens the races not ended at `clockText`, the before-first-race row
/// first, in start order, on `menu`.
void openUpcomingRaces(Query& menu, const Cp932& clockText);
/// Opens the rows whose end equals `start`, on `work`.
void openPreviousRace(Query& work, const Cp932& start);
/// Opens the whole table, on `work`.
void openWholeTable(Query& work);

}  // namespace pelm
