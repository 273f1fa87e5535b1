#include "engine/race_table.h"

namespace pelm {

void deleteRaceRows(Query& work) {
    work.clear();
    work.addLine("delete from rmenutxt.db");
    work.execute();
}

void insertBeforeFirstRaceRow(Query& work) {
    work.clear();
    work.addLine("INSERT INTO rmenutxt (kara,stime)values(");
    work.addLine("'-',");
    work.addLine("'0:00:00')");
    work.execute();
}

void insertRaceRow(Query& work, const RaceEntry& race) {
    work.clear();
    work.addLine("INSERT INTO rmenutxt (btime,kara,etime,rmenu)values(");
    work.addLine("?,");
    work.addLine("'-',");
    work.addLine("?,");
    work.addLine("?)");
    work.setValues({race.start, race.end, race.title});
    work.execute();
}

void openUpcomingRaces(Query& menu, const Cp932& clockText) {
    menu.clear();
    menu.addLine("select * from rmenutxt where etime>?");
    menu.addLine("or stime='0:00:00'");
    menu.addLine("order by btime");
    menu.setValues({clockText});
    menu.open();
}

void openPreviousRace(Query& work, const Cp932& start) {
    work.clear();
    work.addLine("select * from rmenutxt where etime=?");
    work.setValues({start});
    work.open();
}

void openWholeTable(Query& work) {
    work.clear();
    work.addLine("select * from rmenutxt");
    work.open();
}

}  // namespace pelm
