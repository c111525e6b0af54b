// The appearing and disappearing animations, driven tick by tick.
#include "notify/TJvCenterGrowAlertStyleHandler.h"
#include "notify/TJvFadeAlertStyleHandler.h"

#include <gtest/gtest.h>

#include <QWidget>

#include <cmath>
#include <vector>

namespace {

class RecordingFade : public TJvFadeAlertStyleHandler {
public:
  using TJvFadeAlertStyleHandler::TJvFadeAlertStyleHandler;
  std::vector<int> values;

protected:
  void ApplyAlpha(std::uint8_t value) override {
    values.push_back(value);
    TJvFadeAlertStyleHandler::ApplyAlpha(value);
  }
};

class RecordingGrow : public TJvCenterGrowAlertStyleHandler {
public:
  using TJvCenterGrowAlertStyleHandler::TJvCenterGrowAlertStyleHandler;
  std::vector<QRect> rects;

protected:
  void ApplyGrowth(double percentage) override {
    TJvCenterGrowAlertStyleHandler::ApplyGrowth(percentage);
    rects.push_back(GrowthRect());
  }
};

// Ticks until the running phase has run out (the timer stops or moves on to another phase).
void tickSteps(TgwCustomDesktopAlertStyleHandler& handler, int ticks) {
  for (int i = 0; i < ticks; ++i) handler.TimerTick();
}

}  // namespace

TEST(FadeStyle, DefaultStartAndEndAlphaSequences) {
  QWidget window;
  RecordingFade fade(&window);
  EXPECT_EQ(fade.StartInterval(), 25u);
  EXPECT_EQ(fade.StartSteps(), 10u);
  EXPECT_EQ(fade.EndInterval(), 50u);
  EXPECT_EQ(fade.EndSteps(), 10u);
  EXPECT_EQ(fade.DisplayDuration(), 1400u);

  fade.RunStartPhase();
  EXPECT_TRUE(window.isVisible());
  tickSteps(fade, 10);
  EXPECT_EQ(fade.values,
            (std::vector<int>{0, 0, 25, 51, 76, 102, 127, 153, 178, 204, 229, 255}));
  // The start phase hands over to the display phase: one tick of the display time.
  EXPECT_TRUE(fade.TimerEnabled());
  EXPECT_EQ(fade.TimerInterval(), 1400u);
  fade.TimerTick();
  EXPECT_FALSE(fade.TimerEnabled());

  fade.values.clear();
  fade.RunEndPhase();
  EXPECT_EQ(fade.TimerInterval(), 50u);
  tickSteps(fade, 10);
  // Before the end phase the window is fully shown; its last tick closes it at 0.
  EXPECT_EQ(fade.values,
            (std::vector<int>{255, 230, 204, 179, 153, 128, 102, 77, 51, 26, 0, 0}));
  EXPECT_FALSE(window.isVisible());
  EXPECT_FALSE(fade.TimerEnabled());
}

TEST(FadeStyle, CappedMaximumAndStopShowsFully) {
  QWidget window;
  RecordingFade fade(&window);
  fade.setMaxAlphaBlendValue(240);
  fade.setStartSteps(30);
  fade.RunStartPhase();
  tickSteps(fade, 15);
  EXPECT_EQ(fade.values.back(), 112);  // 240 * 14 / 30
  fade.StopPhase();
  EXPECT_EQ(fade.Alpha(), 240);
  EXPECT_FALSE(fade.TimerEnabled());
}

TEST(GrowStyle, RegionsAtTheEdgeCases) {
  // 50 % of 329 is 164.5, rounded to the even 164.
  EXPECT_EQ(TJvCenterGrowAlertStyleHandler::growthRect(QSize(329, 76), 50.0), QRect(82, 19, 164, 38));
  EXPECT_EQ(TJvCenterGrowAlertStyleHandler::growthRect(QSize(329, 76), 50.0).bottomRight(), QPoint(245, 56));
  EXPECT_EQ(TJvCenterGrowAlertStyleHandler::growthRect(QSize(329, 76), 100.0), QRect(0, 0, 329, 76));
  EXPECT_TRUE(TJvCenterGrowAlertStyleHandler::growthRect(QSize(329, 76), 0.0).isEmpty());
  // 10 % of 75 is 7.5, rounded to the even 8; 10 % of 45 is 4.5, rounded to 4.
  EXPECT_EQ(TJvCenterGrowAlertStyleHandler::growthRect(QSize(75, 45), 10.0), QRect(33, 20, 8, 4));
}

TEST(GrowStyle, StartPhaseGrowsFromNothingAndMasksTheWindow) {
  QWidget window;
  window.resize(329, 76);
  RecordingGrow grow(&window);
  grow.RunStartPhase();
  EXPECT_TRUE(grow.rects.front().isEmpty());
  EXPECT_TRUE(window.mask().boundingRect().intersected(window.rect()).isEmpty());
  tickSteps(grow, 6);
  EXPECT_EQ(grow.rects.back(), QRect(82, 19, 164, 38));  // 0 + 100 * 5 / 10
  EXPECT_EQ(window.mask().boundingRect(), QRect(82, 19, 164, 38));
  tickSteps(grow, 4);
  EXPECT_EQ(grow.rects.back(), QRect(0, 0, 329, 76));
  EXPECT_TRUE(window.mask().isEmpty());  // fully shown: no mask left
}

TEST(StyleOptions, SettersClamp) {
  QWidget window;
  TJvCenterGrowAlertStyleHandler grow(&window);
  grow.setStartSteps(0);
  grow.setEndSteps(0);
  EXPECT_EQ(grow.StartSteps(), 1u);
  EXPECT_EQ(grow.EndSteps(), 1u);
  grow.setStartInterval(0);
  EXPECT_EQ(grow.StartInterval(), 0u);  // other setters store as given
  struct Case {
    double in, out;
  };
  for (const Case c : {Case{150, 100}, Case{-5, 0}, Case{42.5, 42.5}, Case{std::nan(""), 0}}) {
    grow.setMaxGrowthPercentage(c.in);
    grow.setMinGrowthPercentage(c.in);
    EXPECT_EQ(grow.MaxGrowthPercentage(), c.out) << c.in;
    EXPECT_EQ(grow.MinGrowthPercentage(), c.out) << c.in;
  }
}

TEST(Phases, ZeroIntervalStandsStillAndZeroDisplayKeepsTheWindow) {
  QWidget window;
  TJvFadeAlertStyleHandler fade(&window);
  fade.setEndInterval(0);
  fade.RunEndPhase();
  // Counted as running (so nothing restarts it) but never ticking on its own.
  EXPECT_TRUE(fade.TimerEnabled());
  EXPECT_EQ(fade.TimerInterval(), 0u);

  fade.StopPhase();
  fade.setDisplayDuration(0);
  fade.RunDisplayPhase();
  EXPECT_FALSE(fade.TimerEnabled());
}

TEST(Phases, AssignCopiesTimingsAndStyleSettings) {
  QWidget window;
  TJvFadeAlertStyleHandler a(&window), b(&window);
  a.setStartInterval(7);
  a.setEndSteps(3);
  a.setDisplayDuration(99);
  a.setMaxAlphaBlendValue(200);
  b.Assign(a);
  EXPECT_EQ(b.StartInterval(), 7u);
  EXPECT_EQ(b.EndSteps(), 3u);
  EXPECT_EQ(b.DisplayDuration(), 99u);
  EXPECT_EQ(b.MaxAlphaBlendValue(), 200);
}
