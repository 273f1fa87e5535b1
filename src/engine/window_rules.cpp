#include "engine/window_rules.h"

#include <algorithm>
#include <climits>
#include <cstdint>

namespace pelm {
namespace {

constexpr int kDesignDpi = 96;
constexpr int kPointsPerInch = 72;

}  // namespace

int centredOffset(int screenExtent, int windowExtent) {
    return std::max(0, (screenExtent - windowExtent) / 2);
}

int droppedUpperHeight(int proposed, int clientHeight) {
    const int height = std::min(proposed, clientHeight - kSplitterHeight - kMinimumRegion);
    return height <= kMinimumRegion ? 0 : height;
}

// In 64 bits, so no int (INT_MIN's magnitude included) overflows on the way;
// sizes beyond what an int holds in pixels end at INT_MAX.
int designPixels(int points) {
    const std::int64_t magnitude = points < 0 ? -static_cast<std::int64_t>(points) : points;
    const std::int64_t pixels = (magnitude * kDesignDpi + kPointsPerInch / 2) / kPointsPerInch;
    return static_cast<int>(std::clamp<std::int64_t>(pixels, 1, INT_MAX));
}

int designPoints(int pixels) {
    const std::int64_t points =
        (static_cast<std::int64_t>(pixels) * kPointsPerInch + kDesignDpi / 2) / kDesignDpi;
    return static_cast<int>(std::clamp<std::int64_t>(points, INT_MIN, INT_MAX));
}

}  // namespace pelm
