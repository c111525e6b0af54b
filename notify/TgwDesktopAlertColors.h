#pragma once
// The five colours of an alert window: frame, body gradient and caption gradient.
#include "notify/AlertTypes.h"
#include "notify/TgwDesktopAlertChangePersistent.h"

class TgwDesktopAlertColors : public TgwDesktopAlertChangePersistent {
public:
  static constexpr TColor defaultFrame = 9711616;         // 0, 48, 148
  static constexpr TColor defaultWindowFrom = 16771022;   // 206, 231, 255
  static constexpr TColor defaultWindowTo = 15181435;     // 123, 166, 231
  static constexpr TColor defaultCaptionFrom = 14059090;  // 82, 134, 214
  static constexpr TColor defaultCaptionTo = 9715984;     // 16, 65, 148

  TColor Frame() const { return m_frame; }
  TColor WindowFrom() const { return m_windowFrom; }
  TColor WindowTo() const { return m_windowTo; }
  TColor CaptionFrom() const { return m_captionFrom; }
  TColor CaptionTo() const { return m_captionTo; }

  void setFrame(TColor value) { store(m_frame, value); }
  void setWindowFrom(TColor value) { store(m_windowFrom, value); }
  void setWindowTo(TColor value) { store(m_windowTo, value); }
  void setCaptionFrom(TColor value) { store(m_captionFrom, value); }
  void setCaptionTo(TColor value) { store(m_captionTo, value); }

  // Copies all five colours and reports one change; assigning a set to itself does nothing.
  void Assign(const TgwDesktopAlertColors& source);

private:
  void store(TColor& field, TColor value);

  TColor m_frame = defaultFrame;
  TColor m_windowFrom = defaultWindowFrom;
  TColor m_windowTo = defaultWindowTo;
  TColor m_captionFrom = defaultCaptionFrom;
  TColor m_captionTo = defaultCaptionTo;
};
