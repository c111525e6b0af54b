#pragma once
// The custom image buttons of an alert: what each looks like and what its click does.
#include "notify/AlertTypes.h"

#include <memory>
#include <vector>

class QObject;

class TgwDesktopAlertButtonItem {
public:
  int ImageIndex = -1;
  int Tag = 0;
  TNotifyEvent OnClick;  // the sender is the button made from this item

  void Assign(const TgwDesktopAlertButtonItem& source) {
    ImageIndex = source.ImageIndex;
    Tag = source.Tag;
    OnClick = source.OnClick;
  }
};

class TgwDesktopAlertButtons {
public:
  explicit TgwDesktopAlertButtons(QObject* owner) : m_owner(owner) {}

  QObject* Owner() const { return m_owner; }
  TgwDesktopAlertButtonItem* Add();
  int Count() const { return static_cast<int>(m_items.size()); }
  TgwDesktopAlertButtonItem* Items(int index) const { return m_items.at(static_cast<size_t>(index)).get(); }
  void Clear() { m_items.clear(); }
  // Replaces the items by copies of the source's, in order.
  void Assign(const TgwDesktopAlertButtons& source);

private:
  QObject* m_owner;
  std::vector<std::unique_ptr<TgwDesktopAlertButtonItem>> m_items;
};
