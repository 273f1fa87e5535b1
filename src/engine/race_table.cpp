#include "engine/race_table.h"

#include <string>
#include <string_view>
#include <utility>

namespace pelm {
namespace {

void appendLiteral(std::string& line, std::string_view value) {
    line += '\'';
    for (char c : value) {
        line += c;
        if (c == '\'') line += c;
    }
    line += '\'';
}

// `head` then `value` as an SQL literal, in one buffer: a condition line
// costs one allocation, as a row's value does.
Cp932 withLiteral(AsciiLiteral head, const Cp932& value) {
    std::string line;
    line.reserve(head.text.size() + value.size() + 2);
    line += head.text;
    appendLiteral(line, value.view());
    return Cp932(std::move(line));
}

}  // namespace

Cp932 sqlLiteral(const Cp932& value) {
    std::string literal;
    literal.reserve(value.size() + 2);
    appendLiteral(literal, value.view());
    return Cp932(std::move(literal));
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
    work.addLine(sqlLiteral(race.start) + ",");
    work.addLine("'-',");
    work.addLine(sqlLiteral(race.end) + ",");
    work.addLine(sqlLiteral(race.title) + ")");
    work.execute();
}

void openUpcomingRaces(Query& menu, const Cp932& clockText) {
    menu.clear();
    menu.addLine(withLiteral("select * from rmenutxt where etime>", clockText));
    menu.addLine("or stime='0:00:00'");
    menu.addLine("order by btime");
    menu.open();
}

void openPreviousRace(Query& work, const Cp932& start) {
    work.clear();
    work.addLine(withLiteral("select * from rmenutxt where etime=", start));
    work.open();
}

void openWholeTable(Query& work) {
    work.clear();
    work.addLine("select * from rmenutxt");
    work.open();
}

}  // namespace pelm
