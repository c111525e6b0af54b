#pragma once
// The desktop alert: configure colours, texts, timings and options, then Popup. The
// window shows at a corner of the work area in its stack, animates in, waits, animates out
// and closes; with AutoFree the alert then frees itself, so callers may forget it.
#include "notify/AlertTypes.h"
#include "notify/TgwDesktopAlertButtons.h"
#include "notify/TgwDesktopAlertColors.h"
#include "notify/TgwDesktopAlertLocation.h"

#include <QFont>
#include <QObject>
#include <QPixmap>
#include <QPointer>

#include <memory>
#include <vector>

#include "notify/ImageList.h"
#include <QMenu>
class TgwCustomDesktopAlertStyleHandler;
class TgwDesktopAlertButton;
class TgwDesktopAlertStack;
#include "notify/TgwFormDesktopAlert.h"

class TgwDesktopAlert : public QObject {
  Q_OBJECT
public:
  explicit TgwDesktopAlert(QObject* owner = nullptr);
  ~TgwDesktopAlert() override;

  // Places, prepares and shows the window; returns at once.
  void Popup();

  TgwDesktopAlertStack* AlertStack() const;  // none when the default stack is in effect
  void setAlertStack(TgwDesktopAlertStack* value);
  TgwDesktopAlertStack* StackInEffect() const;

  TJvAlertStyle AlertStyle() const { return m_alertStyle; }
  // Replaces StyleOptions by a new handler with that style's own default timings.
  void setAlertStyle(TJvAlertStyle value);
  TgwCustomDesktopAlertStyleHandler* StyleOptions() const { return m_handler.get(); }
  void setStyleOptions(const TgwCustomDesktopAlertStyleHandler& value);

  TgwDesktopAlertOptions Options() const { return m_options; }
  // Moving anywhere needs moving: without daoCanMove, daoCanMoveAnywhere goes as well.
  void setOptions(TgwDesktopAlertOptions value);

  bool AutoFocus = false;
  bool AutoFree = false;

  QString HeaderText() const;
  void setHeaderText(const QString& value);
  QString MessageText() const;
  void setMessageText(const QString& value);
  QFont HeaderFont() const;
  void setHeaderFont(const QFont& value);
  QFont Font() const;
  void setFont(const QFont& value);
  QPixmap Image() const;
  void setImage(const QPixmap& value);
  QString Hint() const;
  void setHint(const QString& value);
  Qt::LayoutDirection BiDiMode() const;
  void setBiDiMode(Qt::LayoutDirection value);
  QMenu* DropDownMenu() const;
  void setDropDownMenu(QMenu* value);
  QMenu* PopupMenu() const { return m_popupMenu; }
  void setPopupMenu(QMenu* value);
  TNotifyEvent OnCloseButtonClick() const;
  void setOnCloseButtonClick(TNotifyEvent value);

  ImageList* Images() const { return m_images; }
  void setImages(ImageList* value) { m_images = value; }

  TgwDesktopAlertColors& Colors() { return m_colors; }
  void setColors(const TgwDesktopAlertColors& value) { m_colors.Assign(value); }
  TgwDesktopAlertButtons& Buttons() { return m_buttons; }
  void setButtons(const TgwDesktopAlertButtons& value) { m_buttons.Assign(value); }
  TgwDesktopAlertLocation& Location() { return m_location; }

  TNotifyEvent OnShow;
  TNotifyEvent OnClose;
  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseLeave;
  TNotifyEvent OnMessageClick;

  // The display time in milliseconds while the alert is parked below the work area.
  std::uint32_t SavedDisplayDuration = 0;

  TgwFormDesktopAlert* Window() const;
  const std::vector<TgwDesktopAlertButton*>& ButtonControls() const { return m_buttonControls; }

private:
  void LocationChanged();
  void FormClose();
  void MessageClick();
  void UserMove();

  TgwDesktopAlertColors m_colors;
  TgwDesktopAlertButtons m_buttons;
  TgwDesktopAlertLocation m_location;
  QPointer<TgwFormDesktopAlert> m_window;
  std::unique_ptr<TgwCustomDesktopAlertStyleHandler> m_handler;
  TJvAlertStyle m_alertStyle = asFade;
  TgwDesktopAlertOptions m_options;
  QPointer<TgwDesktopAlertStack> m_stack;
  QPointer<ImageList> m_images;
  QPointer<QMenu> m_popupMenu;
  std::vector<TgwDesktopAlertButton*> m_buttonControls;
  bool m_destroying = false;
};
