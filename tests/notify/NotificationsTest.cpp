// The notification functions and the program's alert stack: kinds, timings, the pushpin,
// deferred re-stacking and parking below the work area.
#include "AlertTestSupport.h"

#include "notify/Notifications.h"
#include "notify/TDesktopAlertHelper.h"
#include "notify/TJvFadeAlertStyleHandler.h"
#include "notify/TShowHintDM.h"
#include "notify/TgwDesktopAlert.h"
#include "notify/TgwDesktopAlertButton.h"
#include "notify/TgwFormDesktopAlert.h"
#include "notify/TmyDesktopAlertStack.h"

#include <QTest>

#include <memory>
#include <stdexcept>
#include <vector>

namespace {

std::uint32_t displayOf(TgwDesktopAlert* alert) { return alert->StyleOptions()->DisplayDuration(); }

std::vector<TgwFormDesktopAlert*> showInfos(int count, int seconds) {
  std::vector<TgwFormDesktopAlert*> windows;
  for (int i = 0; i < count; ++i)
    windows.push_back(AlertInfo(QStringLiteral("Сообщение %1").arg(i), {}, seconds)->Window());
  return windows;
}

}  // namespace

TEST_F(AlertTest, EachKindGetsItsHeaderColoursAndDisplayTime) {
  struct Case {
    AlertKind kind;
    int seconds;
    QString header;
    TColor frame, captionFrom, captionTo, windowFrom, windowTo;
    std::uint32_t display;
  };
  const TgwDesktopAlertColors defaults;
  const Case cases[] = {
      {AlertKind::Error, -1, QStringLiteral("Ошибка"), 255, 14013949, 9013730, 14013949, 9013730, 30000},
      {AlertKind::Information, -1, QString(), defaults.Frame(), defaults.CaptionFrom(),
       defaults.CaptionTo(), defaults.WindowFrom(), defaults.WindowTo(), 5000},
      {AlertKind::Warning, 60, QStringLiteral("Внимание"), defaults.Frame(), 13103604, 4049618,
       13103604, 4049618, 60000},
      {AlertKind::Warning, 0, QStringLiteral("Внимание"), defaults.Frame(), 13103604, 4049618,
       13103604, 4049618, 0},
      {AlertKind::Error, -7, QStringLiteral("Ошибка"), 255, 14013949, 9013730, 14013949, 9013730, 5000},
  };
  for (const Case& c : cases) {
    std::unique_ptr<TgwDesktopAlert> alert(BuildAlert(QStringLiteral("x"), {}, c.seconds, c.kind));
    SCOPED_TRACE(static_cast<int>(c.kind));
    EXPECT_EQ(alert->HeaderText(), c.header);
    EXPECT_EQ(alert->Colors().Frame(), c.frame);
    EXPECT_EQ(alert->Colors().CaptionFrom(), c.captionFrom);
    EXPECT_EQ(alert->Colors().CaptionTo(), c.captionTo);
    EXPECT_EQ(alert->Colors().WindowFrom(), c.windowFrom);
    EXPECT_EQ(alert->Colors().WindowTo(), c.windowTo);
    EXPECT_EQ(displayOf(alert.get()), c.display);
    EXPECT_FALSE(alert->Image().isNull());
  }
  std::unique_ptr<TgwDesktopAlert> titled(BuildAlert(QStringLiteral("x"), QStringLiteral("Таблица"), 3, AlertKind::Error));
  EXPECT_EQ(titled->HeaderText(), QStringLiteral("Таблица"));
}

TEST_F(AlertTest, BuiltAlertIsAFadingMovableClosableAutoFreeAlertWithAPushpin) {
  std::unique_ptr<TgwDesktopAlert> alert(BuildAlert(QStringLiteral("x"), {}, 1, AlertKind::Information));
  EXPECT_EQ(alert->AlertStyle(), asFade);
  auto* fade = static_cast<TJvFadeAlertStyleHandler*>(alert->StyleOptions());
  EXPECT_EQ(fade->MaxAlphaBlendValue(), 240);
  EXPECT_EQ(fade->StartInterval(), 10u);
  EXPECT_EQ(fade->StartSteps(), 30u);
  EXPECT_EQ(fade->EndInterval(), 10u);
  EXPECT_EQ(fade->EndSteps(), 30u);
  EXPECT_EQ(alert->Options(), TgwDesktopAlertOptions(daoCanMove | daoCanClose));
  EXPECT_TRUE(alert->AutoFree);
  EXPECT_EQ(alert->Location().Width(), 280);
  EXPECT_FALSE(alert->Location().AlwaysResetPosition);
  EXPECT_EQ(alert->AlertStack(), MyAlertStack());
  EXPECT_EQ(alert->Location().Position(), dapTopRight);
  ASSERT_EQ(alert->Buttons().Count(), 1);
  EXPECT_EQ(alert->Buttons().Items(0)->ImageIndex, TShowHintDM::pushpinIndex);
  EXPECT_FALSE(ShowHintDM()->ShowHintImgList->image(TShowHintDM::pushpinIndex).isNull());
  alert->AutoFree = false;
}

TEST_F(AlertTest, DisplayTimeTooLargeForMillisecondsOverflows) {
  EXPECT_THROW(AlertError(QStringLiteral("x"), {}, 2147484), std::overflow_error);
  std::unique_ptr<TgwDesktopAlert> largest(BuildAlert(QStringLiteral("x"), {}, 2147483, AlertKind::Warning));
  EXPECT_EQ(displayOf(largest.get()), 2147483000u);
}

TEST_F(AlertTest, PushpinKeepsTheAlertAfterThePointerLeaves) {
  TgwDesktopAlert* alert = AlertInfo(QStringLiteral("Закреплено"), {}, 5);
  TgwFormDesktopAlert* window = alert->Window();
  QCursor::setPos(window->geometry().center());
  window->AlertMouseEnter();  // a click comes with the pointer over the alert
  ASSERT_EQ(alert->ButtonControls().size(), 1u);
  alert->ButtonControls()[0]->click();
  EXPECT_TRUE(window->Pinned);
  EXPECT_EQ(displayOf(alert), 0u);
  QCursor::setPos(5000, 5000);
  window->AlertMouseLeave();
  window->PollTimerTimer();
  MyAlertStack()->DeferTimerTimer();
  EXPECT_FALSE(alert->StyleOptions()->TimerEnabled());
  EXPECT_TRUE(window->isVisible());

  QObject notAButton;
  EXPECT_THROW(TDesktopAlertHelper::PushpinClick(&notAButton), std::bad_cast);
}

TEST_F(AlertTest, BurstOfClosesMovesTheRestOnceAfterTheLast) {
  TmyDesktopAlertStack* stack = MyAlertStack();
  const auto windows = showInfos(4, 0);
  for (int i = 0; i < 4; ++i) ASSERT_EQ(windows[static_cast<size_t>(i)]->pos(), QPoint(800 - 280, 76 * i));
  for (int i = 0; i < 3; ++i) {
    windows[static_cast<size_t>(i)]->close();
    EXPECT_TRUE(stack->Deferring());
    EXPECT_TRUE(stack->DeferTimer()->isActive());
    EXPECT_EQ(stack->DeferTimer()->interval(), 310);
    EXPECT_EQ(windows[3]->y(), 228) << "moved before the burst was over";
  }
  // A new alert during the pause waits for the same re-stacking.
  TgwFormDesktopAlert* late = AlertInfo(QStringLiteral("Новое"), {}, 0)->Window();
  EXPECT_EQ(windows[3]->y(), 228);
  stack->DeferTimerTimer();
  EXPECT_FALSE(stack->Deferring());
  EXPECT_FALSE(stack->DeferTimer()->isActive());
  EXPECT_EQ(windows[3]->y(), 0);
  EXPECT_EQ(late->y(), 76);

  // And the real timer does the same on its own.
  windows[3]->close();
  QTRY_COMPARE_WITH_TIMEOUT(late->y(), 0, 3000);
}

TEST_F(AlertTest, AlertsBelowTheWorkAreaAreParkedAndRestartTheirTimeInView) {
  TmyDesktopAlertStack* stack = MyAlertStack();
  const auto windows = showInfos(9, -1);  // 5 seconds each
  // 560 / 76: alerts 0..7 start inside the work area, alert 8 at 608 is below it.
  auto* last = qobject_cast<TgwDesktopAlert*>(windows[8]->Owner());
  auto* partly = qobject_cast<TgwDesktopAlert*>(windows[7]->Owner());
  EXPECT_EQ(windows[8]->y(), 608);
  EXPECT_EQ(displayOf(last), 0u);
  EXPECT_EQ(last->SavedDisplayDuration, 5000u);
  EXPECT_FALSE(last->StyleOptions()->TimerEnabled());
  EXPECT_EQ(static_cast<TJvFadeAlertStyleHandler*>(last->StyleOptions())->Alpha(), 240);
  EXPECT_EQ(displayOf(partly), 5000u);  // its top is in view: it runs
  EXPECT_EQ(partly->SavedDisplayDuration, 0u);

  windows[0]->close();
  stack->DeferTimerTimer();
  EXPECT_EQ(windows[8]->y(), 532);
  EXPECT_EQ(displayOf(last), 5000u);
  EXPECT_TRUE(last->StyleOptions()->TimerEnabled());
  EXPECT_EQ(last->StyleOptions()->TimerInterval(), 5000u);

  // Every later re-stacking starts its display time anew, from the full length.
  last->StyleOptions()->StopPhase();
  windows[1]->close();
  stack->DeferTimerTimer();
  EXPECT_TRUE(last->StyleOptions()->TimerEnabled());
  EXPECT_EQ(last->StyleOptions()->TimerInterval(), 5000u);

  // Pinned after coming into view: no re-stacking gives it a display time back.
  windows[8]->MouseInside = true;
  last->ButtonControls()[0]->click();
  windows[8]->MouseInside = false;
  windows[2]->close();
  stack->DeferTimerTimer();
  EXPECT_EQ(displayOf(last), 0u);
}

TEST_F(AlertTest, AlertsThatStayUntilClosedAreNeverParked) {
  const auto windows = showInfos(9, 0);
  auto* last = qobject_cast<TgwDesktopAlert*>(windows[8]->Owner());
  EXPECT_EQ(windows[8]->y(), 608);
  EXPECT_EQ(last->SavedDisplayDuration, 0u);
  EXPECT_EQ(displayOf(last), 0u);
}
