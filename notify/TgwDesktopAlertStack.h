#pragma once
// Lays alert windows out one after another from a corner of the work area, and closes the
// ranks when one of them goes (except around a window under the mouse).
#include "notify/AlertTypes.h"

#include <QObject>
#include <QPointer>
#include <QVector>

class QWidget;
#include "notify/TgwFormDesktopAlert.h"

class TgwDesktopAlertStack : public QObject {
  Q_OBJECT
public:
  explicit TgwDesktopAlertStack(QObject* owner = nullptr);

  TgwDesktopAlertPosition Position() const { return m_position; }
  // Only stores the corner: the windows move with the next re-stacking.
  void setPosition(TgwDesktopAlertPosition value) { m_position = value; }

  int Count() const { return static_cast<int>(m_items.size()); }
  // Slot `index`: a window, or none for an empty slot.
  TgwFormDesktopAlert* Items(int index) const;

  virtual void UpdatePositions();
  virtual void AddWindow(QWidget* window);
  virtual void RemoveWindow(QWidget* window);

private:
  TgwDesktopAlertPosition m_position = dapBottomRight;
  QVector<QPointer<TgwFormDesktopAlert>> m_items;
};

// The stack of alerts that have none of their own; lives until the program ends.
TgwDesktopAlertStack* DefaultAlertStack();
