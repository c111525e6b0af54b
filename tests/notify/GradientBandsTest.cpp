#include "notify/GradientBands.h"

#include <gtest/gtest.h>

TEST(GradientBands, BandsStepPerChannelAndLeftoverRowsTakeTheEndColour) {
  // 10 rows in 4 bands of 2 rows; 2 rows left over.
  const auto bands = gradientBands(QRect(0, 0, 5, 10), rgbToTColor(0, 100, 200),
                                   rgbToTColor(90, 10, 200), 4);
  ASSERT_EQ(bands.size(), 5);
  EXPECT_EQ(bands[0].color, rgbToTColor(0, 100, 200));
  EXPECT_EQ(bands[1].color, rgbToTColor(30, 70, 200));
  EXPECT_EQ(bands[2].color, rgbToTColor(60, 40, 200));
  EXPECT_EQ(bands[3].color, rgbToTColor(90, 10, 200));
  EXPECT_EQ(bands[1].rect, QRect(0, 2, 5, 2));
  EXPECT_EQ(bands[4].rect, QRect(0, 8, 5, 2));
  EXPECT_EQ(bands[4].color, rgbToTColor(90, 10, 200));
}

TEST(GradientBands, DegenerateCasesFillSolid) {
  const QRect r(0, 0, 4, 6);
  EXPECT_EQ(gradientBands(r, 1, 1, 6).size(), 1);                  // equal colours
  EXPECT_EQ(gradientBands(r, 1, 0xFFFFFF, 1).size(), 1);           // one band
  EXPECT_EQ(gradientBands(r, 1, 0xFFFFFF, 50).size(), 6);          // limited to the height
  EXPECT_TRUE(gradientBands(QRect(0, 0, 4, 0), 1, 2, 8).isEmpty());
}

TEST(GradientBands, DescendingChannelsTruncateTowardZero) {
  // 255 -> 0 in 3 bands: 255, 255 - 127 (truncated half of 255), 0.
  const auto bands = gradientBands(QRect(0, 0, 1, 3), rgbToTColor(255, 0, 0), 0, 3);
  ASSERT_EQ(bands.size(), 3);
  EXPECT_EQ(bands[1].color, rgbToTColor(128, 0, 0));
}
