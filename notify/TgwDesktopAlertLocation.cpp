#include "notify/TgwDesktopAlertLocation.h"

void TgwDesktopAlertLocation::setPosition(TgwDesktopAlertPosition value) {
  m_position = value;
  Changed();
}

void TgwDesktopAlertLocation::store(int& field, int value) {
  if (field == value) return;
  field = value;
  Changed();
}
