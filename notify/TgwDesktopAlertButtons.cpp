#include "notify/TgwDesktopAlertButtons.h"

TgwDesktopAlertButtonItem* TgwDesktopAlertButtons::Add() {
  m_items.push_back(std::make_unique<TgwDesktopAlertButtonItem>());
  return m_items.back().get();
}

void TgwDesktopAlertButtons::Assign(const TgwDesktopAlertButtons& source) {
  if (&source == this) return;
  Clear();
  for (const auto& item : source.m_items) Add()->Assign(*item);
}
