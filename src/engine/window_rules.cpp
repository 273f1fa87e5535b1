#include "engine/window_rules.h"

#include <algorithm>
#include <cstdlib>

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

int designPixels(int points) {
    const long scaled = std::labs(static_cast<long>(points)) * kDesignDpi;
    return std::max(1L, (scaled + kPointsPerInch / 2) / kPointsPerInch);
}

}  // namespace pelm
