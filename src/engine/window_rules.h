#pragma once
// The window's arithmetic, kept apart from the widgets so it can be checked
// without a screen: where the window is placed, how far the splitter may
// move the border, and what a font size in points means on the board.

namespace pelm {

constexpr int kSplitterHeight = 5;  // Splitter1, between upper area and notice area
constexpr int kMinimumRegion = 10;  // the least either side of the splitter keeps

/// The offset that centres a window extent on a screen extent, rounded down
/// and never negative.
int centredOffset(int screenExtent, int windowExtent);

/// The upper area's height when a splitter drag is released at `proposed`
/// in a client area `clientHeight` high: the notice area keeps at least 10
/// pixels besides the 5 of the splitter, and an upper area of 10 pixels or
/// less collapses to nothing.
int droppedUpperHeight(int proposed, int clientHeight);

/// A font size in points as pixels on the 96-dpi screen the layout was made
/// for, rounded half away from zero, at least 1. A negative size counts as
/// its magnitude.
int designPixels(int points);

/// The inverse: a pixel size on that screen in points, rounded half up,
/// saturating at the ends of int.
int designPoints(int pixels);

}  // namespace pelm
