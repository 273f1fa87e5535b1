#pragma once
// DBGrid1: the upcoming races, one per 48-pixel row, on black. It follows
// its model: each new result set is shown from its first row, and the
// current cell goes back to that row in the same column.

#include <QTableView>

#include "ui/race_grid_model.h"

namespace pelm {

class ScheduleGrid : public QTableView {
    Q_OBJECT

public:
    ScheduleGrid(RaceGridModel* model, QWidget* parent);

private:
    void setUpHeaders();
    void setUpLook();
    void rememberColumn();
    void showFromFirstRow();

    RaceGridModel* model_;
    int currentColumn_ = 0;
};

}  // namespace pelm
