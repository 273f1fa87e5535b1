#pragma once
// The grid's rows a spectator can read: the upper area, shorter while a
// notice shows, cuts the grid off, and the bottom cover hides what runs
// under it. A row counts when the whole of it shows.

#include <algorithm>

#include "engine/board_status.h"
#include "ui/layout.h"

namespace pelm {

/// Whole grid rows in sight in an upper area `upperHeight` high.
constexpr int rowsInSight(int upperHeight) {
    const int firstRowTop = layout::kDBGrid1.top() + layout::kGridEdge + layout::kTitleRowHeight;
    const int bottom = std::min(upperHeight, layout::kPanel5.top());
    return std::clamp((bottom - firstRowTop) / layout::kRowPitch, 0, kRowsInSight);
}

}  // namespace pelm
