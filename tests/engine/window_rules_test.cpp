// Placement, splitter limits and font sizes of the window, without a window.

#include "engine/window_rules.h"

#include <gtest/gtest.h>

namespace pelm {
namespace {

TEST(CentredOffset, RoundsDownAndNeverGoesOffTheScreen) {
    EXPECT_EQ(centredOffset(1280, 1013), 133);
    EXPECT_EQ(centredOffset(800, 710), 45);
    EXPECT_EQ(centredOffset(1024, 1013), 5);
    EXPECT_EQ(centredOffset(1013, 1013), 0);
    EXPECT_EQ(centredOffset(640, 1013), 0);
}

TEST(DroppedUpperHeight, KeepsTheNoticeAreaAndCollapsesASliver) {
    const int client = 679;
    EXPECT_EQ(droppedUpperHeight(300, client), 300);
    EXPECT_EQ(droppedUpperHeight(664, client), 664);
    EXPECT_EQ(droppedUpperHeight(665, client), 664);
    EXPECT_EQ(droppedUpperHeight(5000, client), 664);
    EXPECT_EQ(droppedUpperHeight(11, client), 11);
    EXPECT_EQ(droppedUpperHeight(10, client), 0);
    EXPECT_EQ(droppedUpperHeight(-40, client), 0);
    EXPECT_EQ(droppedUpperHeight(300, 20), 0);  // a window too small for both
}

TEST(DesignPixels, ArePointsAtNinetySixDotsPerInch) {
    EXPECT_EQ(designPixels(100), 133);
    EXPECT_EQ(designPixels(72), 96);
    EXPECT_EQ(designPixels(9), 12);
    EXPECT_EQ(designPixels(10), 13);  // 13.33
    EXPECT_EQ(designPixels(11), 15);  // 14.67
    EXPECT_EQ(designPixels(-100), 133);
    EXPECT_EQ(designPixels(0), 1);
}

}  // namespace
}  // namespace pelm
