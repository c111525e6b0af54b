#pragma once
// Where an alert window goes: a corner of the work area, a centre, or a place of its own.
#include "notify/AlertTypes.h"
#include "notify/TgwDesktopAlertChangePersistent.h"

class TgwDesktopAlertLocation : public TgwDesktopAlertChangePersistent {
public:
  TgwDesktopAlertPosition Position() const { return m_position; }
  // Reports a change every time, also for the same value: the alert uses that to pull its
  // position back to its stack's corner.
  void setPosition(TgwDesktopAlertPosition value);

  int Top() const { return m_top; }
  int Left() const { return m_left; }
  int Width() const { return m_width; }    // 0: the default width
  int Height() const { return m_height; }  // 0: the default height
  void setTop(int value) { store(m_top, value); }
  void setLeft(int value) { store(m_left, value); }
  void setWidth(int value) { store(m_width, value); }
  void setHeight(int value) { store(m_height, value); }

  // When set, a window dragged by the user stays in its stack and keeps its corner.
  bool AlwaysResetPosition = true;

private:
  void store(int& field, int value);

  TgwDesktopAlertPosition m_position = dapBottomRight;
  int m_top = 0;
  int m_left = 0;
  int m_width = 0;
  int m_height = 0;
};
