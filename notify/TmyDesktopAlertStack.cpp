#include "notify/TmyDesktopAlertStack.h"

#include "notify/TgwCustomDesktopAlertStyleHandler.h"
#include "notify/TgwDesktopAlert.h"
#include "notify/TgwFormDesktopAlert.h"
#include "notify/WorkArea.h"

TmyDesktopAlertStack::TmyDesktopAlertStack(QObject* owner) : TgwDesktopAlertStack(owner) {
  m_timer.setInterval(deferInterval);
  m_timer.setSingleShot(true);
  connect(&m_timer, &QTimer::timeout, this, &TmyDesktopAlertStack::DeferTimerTimer);
}

void TmyDesktopAlertStack::DeferTimerTimer() {
  FDeferring = false;
  UpdatePositions();
  m_timer.stop();
}

void TmyDesktopAlertStack::RemoveWindow(QWidget* window) {
  FDeferring = true;
  TgwDesktopAlertStack::RemoveWindow(window);
  // Restarted with each removal: the others move once, after the last of a burst.
  m_timer.stop();
  m_timer.start();
}

void TmyDesktopAlertStack::UpdatePositions() {
  if (FDeferring || Count() == 0) return;
  if (Position() != dapTopRight) {
    TgwDesktopAlertStack::UpdatePositions();
    return;
  }
  updateTopRight();
}

void TmyDesktopAlertStack::updateTopRight() {
  const QRect wa = desktopWorkArea();
  int y = wa.top();
  for (int i = 0; i < Count(); ++i) {
    TgwFormDesktopAlert* window = Items(i);
    if (!window || !window->isVisible()) continue;
    auto* alert = qobject_cast<TgwDesktopAlert*>(window->Owner());
    // Pinned and moved away by the user: it stays where the user put it.
    if (window->Pinned && alert && alert->Location().Position() == dapCustom) continue;
    window->MoveTo(rightEdge(wa) - window->width(), y);
    TgwCustomDesktopAlertStyleHandler* handler = window->StyleHandler();
    if (alert && handler) {
      if (y >= bottomEdge(wa)) {
        // Entirely below the work area: it must not expire unseen.
        if (handler->DisplayDuration() > 0) {
          alert->SavedDisplayDuration = handler->DisplayDuration();
          handler->setDisplayDuration(0);
          handler->StopPhase();
        }
      } else if (alert->SavedDisplayDuration != 0 && !window->Pinned) {
        // In view again: its display time runs anew, from its full length.
        handler->setDisplayDuration(alert->SavedDisplayDuration);
        handler->RunDisplayPhase();
      }
    }
    y += window->height();
  }
}
