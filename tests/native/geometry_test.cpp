#include "platform/geometry.h"

#include <gtest/gtest.h>

namespace wtsscope {
namespace {

TEST(Geometry, TwipsBecomePixelsAtEachDpi) {
    // The main window's client area and its list box, at the common DPI settings.
    EXPECT_EQ(TwipsToPixels(6975, 96), 465);
    EXPECT_EQ(TwipsToPixels(8235, 96), 549);
    EXPECT_EQ(ScaleBox({840, 2760, 4935, 4545}, 96), (Box{56, 184, 329, 303}));
    EXPECT_EQ(ScaleBox({840, 2760, 4935, 4545}, 144), (Box{84, 276, 494, 455}));
    EXPECT_EQ(ScaleBox({840, 2760, 4935, 4545}, 120), (Box{70, 230, 411, 379}));
    EXPECT_EQ(ScaleBox({840, 2760, 4935, 4545}, 192), (Box{112, 368, 658, 606}));
}

TEST(Geometry, RoundsHalfAwayFromZeroLikeMulDiv) {
    EXPECT_EQ(TwipsToPixels(7, 96), 0);        // 0.47
    EXPECT_EQ(TwipsToPixels(8, 96), 1);        // 0.53
    EXPECT_EQ(TwipsToPixels(4935, 144), 494);  // 493.5
    EXPECT_EQ(TwipsToPixels(-4935, 144), -494);
    EXPECT_EQ(TwipsToPixels(0, 192), 0);
}

TEST(Geometry, LargeMeasuresDoNotOverflow) {
    EXPECT_EQ(TwipsToPixels(2'000'000'000, 1440), 2'000'000'000);
    EXPECT_EQ(TwipsToPixels(1'440'000'000, 480), 480'000'000);
}

TEST(Geometry, PointSizesBecomePixelHeights) {
    EXPECT_EQ(PointsToPixels(18, 96), 24);
    EXPECT_EQ(PointsToPixels(18, 120), 30);
    EXPECT_EQ(PointsToPixels(18, 144), 36);
    EXPECT_EQ(PointsToPixels(18, 192), 48);
}

}  // namespace
}  // namespace wtsscope
