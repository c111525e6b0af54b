#include "notify/TgwDesktopAlertColors.h"

void TgwDesktopAlertColors::store(TColor& field, TColor value) {
  if (field == value) return;
  field = value;
  Changed();
}

void TgwDesktopAlertColors::Assign(const TgwDesktopAlertColors& source) {
  if (&source == this) return;
  m_frame = source.m_frame;
  m_windowFrom = source.m_windowFrom;
  m_windowTo = source.m_windowTo;
  m_captionFrom = source.m_captionFrom;
  m_captionTo = source.m_captionTo;
  Changed();
}
