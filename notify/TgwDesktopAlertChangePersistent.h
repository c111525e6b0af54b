#pragma once
// Base of the alert's settings objects: they tell the alert about changes through OnChange.
#include <functional>

class TgwDesktopAlertChangePersistent {
public:
  virtual ~TgwDesktopAlertChangePersistent() = default;
  std::function<void()> OnChange;

protected:
  void Changed() {
    if (OnChange) OnChange();
  }
};
