#pragma once
// Shared set-up of the alert tests: a known work area and the pointer far away.
#include "notify/Notifications.h"
#include "notify/TmyDesktopAlertStack.h"
#include "notify/WorkArea.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>

class AlertTest : public ::testing::Test {
protected:
  static constexpr QRect workArea{QPoint(0, 0), QSize(800, 560)};  // a panel at the bottom

  void SetUp() override {
    setDesktopWorkAreaOverride(workArea);
    QCursor::setPos(5000, 5000);
  }
  void TearDown() override {
    for (QWidget* window : QApplication::topLevelWidgets()) window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    // Closing re-stacks later; the next test starts from a settled stack.
    if (MyAlertStack()->Deferring()) MyAlertStack()->DeferTimerTimer();
    setDesktopWorkAreaOverride(std::nullopt);
  }
};
