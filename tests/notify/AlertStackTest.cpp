// Stacking alerts from each corner, and closing ranks around a window under the mouse.
#include "AlertTestSupport.h"

#include "notify/TgwDesktopAlert.h"
#include "notify/TgwDesktopAlertStack.h"
#include "notify/TgwFormDesktopAlert.h"

#include <memory>
#include <vector>

namespace {

struct ThreeAlerts {
  TgwDesktopAlertStack stack;
  std::vector<std::unique_ptr<TgwDesktopAlert>> alerts;
  explicit ThreeAlerts(TgwDesktopAlertPosition corner) {
    stack.setPosition(corner);
    for (int i = 0; i < 3; ++i) {
      alerts.push_back(std::make_unique<TgwDesktopAlert>());
      alerts.back()->setAlertStack(&stack);
      alerts.back()->StyleOptions()->setDisplayDuration(0);
      alerts.back()->Popup();
    }
  }
  TgwFormDesktopAlert* window(int i) const { return alerts[static_cast<size_t>(i)]->Window(); }
};

}  // namespace

class AlertStackCorners : public AlertTest,
                          public ::testing::WithParamInterface<TgwDesktopAlertPosition> {};

TEST_P(AlertStackCorners, ThreeAlertsLieOneBeyondTheOtherFromTheCorner) {
  const TgwDesktopAlertPosition corner = GetParam();
  ThreeAlerts three(corner);
  const bool right = corner == dapTopRight || corner == dapBottomRight;
  const bool bottom = corner == dapBottomLeft || corner == dapBottomRight;
  for (int i = 0; i < 3; ++i) {
    const int x = right ? 800 - 329 : 0;
    const int y = bottom ? 560 - 76 * (i + 1) : 76 * i;
    EXPECT_EQ(three.window(i)->pos(), QPoint(x, y)) << "alert " << i;
  }
  // Closing the first moves the others into its place.
  three.window(0)->close();
  ASSERT_EQ(three.stack.Count(), 2);
  EXPECT_EQ(three.stack.Items(0), three.window(1));
  EXPECT_EQ(three.window(1)->y(), bottom ? 560 - 76 : 0);
  EXPECT_EQ(three.window(2)->y(), bottom ? 560 - 152 : 76);
}

INSTANTIATE_TEST_SUITE_P(AllCorners, AlertStackCorners,
                         ::testing::Values(dapTopLeft, dapTopRight, dapBottomLeft, dapBottomRight));

TEST_F(AlertTest, WindowUnderTheMouseKeepsItsSlotAndPlaceWhileLaterOnesMovePast) {
  ThreeAlerts three(dapBottomRight);
  TgwFormDesktopAlert* a = three.window(0);
  TgwFormDesktopAlert* b = three.window(1);
  TgwFormDesktopAlert* c = three.window(2);
  b->MouseInside = true;
  a->close();
  ASSERT_EQ(three.stack.Count(), 2);
  EXPECT_EQ(three.stack.Items(0), c);
  EXPECT_EQ(three.stack.Items(1), b);
  EXPECT_EQ(c->y(), 560 - 76);
  EXPECT_EQ(b->y(), 560 - 152);  // not moved, but still takes its room
}

TEST_F(AlertTest, StackIgnoresWindowsItDoesNotHoldAndSkipsHiddenOnes) {
  ThreeAlerts three(dapTopLeft);
  QWidget stranger;
  three.stack.RemoveWindow(&stranger);
  three.stack.RemoveWindow(nullptr);
  EXPECT_EQ(three.stack.Count(), 3);
  three.window(0)->hide();  // hidden windows take no room
  three.stack.UpdatePositions();
  EXPECT_EQ(three.window(1)->y(), 0);
  EXPECT_EQ(three.window(2)->y(), 76);
}

TEST_F(AlertTest, MoveToLeavesAWindowUnderTheMouseAlone) {
  TgwFormDesktopAlert window;
  window.move(10, 10);
  window.MouseInside = true;
  window.MoveTo(300, 300);
  EXPECT_EQ(window.pos(), QPoint(10, 10));
  window.MouseInside = false;
  window.MoveTo(300, 300);
  EXPECT_EQ(window.pos(), QPoint(300, 300));
}
