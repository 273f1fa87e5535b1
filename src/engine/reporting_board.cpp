#include "engine/reporting_board.h"

namespace pelm {

void ReportingBoard::setPreviousRace(const Cp932& title) {
    screen_.setPreviousRace(title);
    health_.showingPreviousRace(title);
}

void ReportingBoard::showUpcoming(std::shared_ptr<const ResultSet> rows) {
    health_.showingUpcoming(rows);
    screen_.showUpcoming(std::move(rows));
}

}  // namespace pelm
