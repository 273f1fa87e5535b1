#include "ui/schedule_grid.h"

#include <QScrollBar>
#include <iterator>

#include "ui/fonts.h"
#include "ui/grid_cell_delegate.h"
#include "ui/grid_header.h"
#include "ui/layout.h"

namespace pelm {

ScheduleGrid::ScheduleGrid(RaceGridModel* model, QWidget* parent)
    : QTableView(parent), model_(model) {
    setObjectName("DBGrid1");
    setUpLook();
    setModel(model);
    setItemDelegate(new GridCellDelegate(this));
    setUpHeaders();
    connect(model, &QAbstractItemModel::modelAboutToBeReset, this, &ScheduleGrid::rememberColumn);
    connect(model, &RaceGridModel::reopened, this, &ScheduleGrid::showFromFirstRow);
}

void ScheduleGrid::setUpLook() {
    setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
    QPalette colours = palette();
    for (QPalette::ColorRole role : {QPalette::Base, QPalette::Window, QPalette::Button}) {
        colours.setColor(role, QColor(layout::kBlack));
    }
    setPalette(colours);
    setAutoFillBackground(true);
    setFont(boardFont(layout::kCellFont));
    setShowGrid(false);  // the delegate draws the row lines, in two colours
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setFocusPolicy(Qt::ClickFocus);  // not a tab stop
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setAutoScroll(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

void ScheduleGrid::setUpHeaders() {
    auto* titles = new GridHeader(Qt::Horizontal, layout::kTitleRowHeight, this);
    auto* indicator = new GridHeader(Qt::Vertical, layout::kIndicatorWidth, this);
    setHorizontalHeader(titles);
    setVerticalHeader(indicator);
    indicator->setSectionResizeMode(QHeaderView::Fixed);
    indicator->setDefaultSectionSize(layout::kRowPitch);
    titles->setSectionResizeMode(QHeaderView::Interactive);
    for (int column = 0; column < static_cast<int>(std::size(layout::kGridColumns)); ++column) {
        titles->resizeSection(column, layout::kGridColumns[column].width);
    }
}

void ScheduleGrid::rememberColumn() {
    if (currentIndex().isValid()) currentColumn_ = currentIndex().column();
}

// Runs at every refresh: setting the scroll bar policy lays the view out
// again even when the policy stays, so it is set only when it changes.
void ScheduleGrid::showFromFirstRow() {
    rememberColumn();
    const Qt::ScrollBarPolicy policy =
        model_->isOpen() ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff;
    if (policy != verticalScrollBarPolicy()) setVerticalScrollBarPolicy(policy);
    selectionModel()->setCurrentIndex(model_->index(0, currentColumn_),
                                      QItemSelectionModel::NoUpdate);
    scrollToTop();
}

}  // namespace pelm
