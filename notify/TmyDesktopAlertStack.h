#pragma once
// The program's alert stack: alerts go down from the top right corner of the work area.
// Re-stacking after closes waits until a burst of closes is over, and alerts that fall
// below the work area are parked there with their display time kept for later.
#include "notify/TgwDesktopAlertStack.h"

#include <QTimer>

class TmyDesktopAlertStack : public TgwDesktopAlertStack {
  Q_OBJECT
public:
  static constexpr int deferInterval = 310;

  explicit TmyDesktopAlertStack(QObject* owner = nullptr);

  void UpdatePositions() override;
  void RemoveWindow(QWidget* window) override;

  bool Deferring() const { return FDeferring; }
  QTimer* DeferTimer() { return &m_timer; }
  // The deferral timer's handler; tests call it instead of waiting 310 ms.
  void DeferTimerTimer();

private:
  void updateTopRight();

  bool FDeferring = false;
  QTimer m_timer;
};
