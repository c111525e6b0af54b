#include "notify/TDesktopAlertHelper.h"

#include "notify/TgwCustomDesktopAlertStyleHandler.h"
#include "notify/TgwDesktopAlert.h"
#include "notify/TgwDesktopAlertButton.h"
#include "notify/TgwFormDesktopAlert.h"

#include <typeinfo>

void TDesktopAlertHelper::PushpinClick(QObject* Sender) {
  auto* button = qobject_cast<TgwDesktopAlertButton*>(Sender);
  auto* window = button ? qobject_cast<TgwFormDesktopAlert*>(button->parentWidget()) : nullptr;
  auto* alert = window ? qobject_cast<TgwDesktopAlert*>(window->Owner()) : nullptr;
  if (!alert) throw std::bad_cast();
  window->Pinned = true;
  // The pointer is over the alert while its button is clicked, so its countdown has
  // already stopped; with a display time of 0 nothing starts it again.
  alert->StyleOptions()->setDisplayDuration(0);
}
