#pragma once
// The pushpin button of every alert: a click keeps the alert until the user closes it.
class QObject;

class TDesktopAlertHelper {
public:
  // `Sender` is the alert window's button; anything else is refused with std::bad_cast.
  static void PushpinClick(QObject* Sender);
};
