#pragma once
// The fixed labels beside the grid's rows: "Now", "=>", "次", "２" … "８".

#include <QLabel>

#include "ui/layout.h"

namespace pelm {

/// One row label on the row-label panel, at its place, sized to its text.
QLabel* makeRowLabel(QWidget* panel, const layout::RowLabel& row);

}  // namespace pelm
