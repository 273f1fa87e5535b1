#include "engine/race_table.h"

namespace pelm {

std::string sqlLiteral(std::string_view value) {
    std::string literal;
    literal.reserve(value.size() + 2);
    literal += '\'';
    for (char c : value) {
        literal += c;
        if (c == '\'') literal += c;
    }
    literal += '\'';
    return literal;
}

void emptyRaceTable(Query& work) {
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
    work.addLine(sqlLiteral(race.start.view()) + ",");  // statements take bytes
    work.addLine("'-',");
    work.addLine(sqlLiteral(race.end.view()) + ",");
    work.addLine(sqlLiteral(race.title.view()) + ")");
    work.execute();
}

void openUpcomingRaces(Query& menu, std::string_view clockText) {
    menu.clear();
    menu.addLine("select * from rmenutxt where etime>" + sqlLiteral(clockText));
    menu.addLine("or stime='0:00:00'");
    menu.addLine("order by btime");
    menu.open();
}

void openPreviousRace(Query& work, std::string_view start) {
    work.clear();
    work.addLine("select * from rmenutxt where etime=" + sqlLiteral(start));
    work.open();
}

void openWholeTable(Query& work) {
    work.clear();
    work.addLine("select * from rmenutxt");
    work.open();
}

}  // namespace pelm
