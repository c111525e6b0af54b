#include "notify/TgwDesktopAlertStack.h"

#include "notify/TgwFormDesktopAlert.h"
#include "notify/WorkArea.h"

#include <QCoreApplication>

TgwDesktopAlertStack::TgwDesktopAlertStack(QObject* owner) : QObject(owner) {}

TgwFormDesktopAlert* TgwDesktopAlertStack::Items(int index) const { return m_items.at(index); }

void TgwDesktopAlertStack::AddWindow(QWidget* window) {
  m_items.append(qobject_cast<TgwFormDesktopAlert*>(window));
  UpdatePositions();
}

void TgwDesktopAlertStack::RemoveWindow(QWidget* window) {
  auto* alert = qobject_cast<TgwFormDesktopAlert*>(window);
  if (!alert) return;
  const qsizetype removed = m_items.indexOf(alert);
  if (removed < 0) return;
  m_items[removed] = nullptr;
  // Later windows move down into the nearest empty slot below them; a window under the
  // mouse stays where it is, and those after it move past it.
  for (qsizetype j = removed + 1; j < m_items.size(); ++j) {
    TgwFormDesktopAlert* moving = m_items[j];
    if (!moving || moving->MouseInside) continue;
    for (qsizetype k = j - 1; k >= 0; --k) {
      if (!m_items[k]) {
        m_items[k] = moving;
        m_items[j] = nullptr;
        break;
      }
    }
  }
  while (!m_items.isEmpty() && !m_items.last()) m_items.removeLast();
  UpdatePositions();
}

void TgwDesktopAlertStack::UpdatePositions() {
  if (m_items.isEmpty()) return;
  const QRect wa = desktopWorkArea();
  int y = m_position == dapBottomLeft || m_position == dapBottomRight ? bottomEdge(wa) : wa.top();
  for (const auto& slot : m_items) {
    TgwFormDesktopAlert* window = slot;
    if (!window || !window->isVisible()) continue;
    switch (m_position) {
      case dapTopLeft:
        window->MoveTo(wa.left(), y);
        y += window->height();
        break;
      case dapTopRight:
        window->MoveTo(rightEdge(wa) - window->width(), y);
        y += window->height();
        break;
      case dapBottomLeft:
        y -= window->height();
        window->MoveTo(wa.left(), y);
        break;
      case dapBottomRight:
        y -= window->height();
        window->MoveTo(rightEdge(wa) - window->width(), y);
        break;
      default: return;
    }
  }
}

TgwDesktopAlertStack* DefaultAlertStack() {
  static TgwDesktopAlertStack* stack = nullptr;
  if (!stack) {
    stack = new TgwDesktopAlertStack();
    // Freed with the application object, while Qt is still up.
    qAddPostRoutine([] {
      delete stack;
      stack = nullptr;
    });
  }
  return stack;
}
