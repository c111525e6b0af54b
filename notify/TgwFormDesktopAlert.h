#pragma once
// The alert window: a caption band with a gripper, an icon, a bold header and a wrapped
// message on a gradient, a close button, an optional drop-down button and image buttons.
// It never takes the keyboard focus unless AutoFocus is set.
#include "notify/AlertTypes.h"
#include "notify/TgwDesktopAlertColors.h"

#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <cstdint>

class HotTrackLabel;
class QAction;
class QLabel;
#include "notify/TgwCustomDesktopAlertStyleHandler.h"
class TgwDesktopAlertButton;

class TgwFormDesktopAlert : public QWidget {
  Q_OBJECT
public:
  // Posted to the window after an auto-free close: the window and its component go away
  // once the close processing has returned.
  static constexpr int autoFreeMessage = 2025;

  // `owner` is the alert component the window belongs to (may be none).
  explicit TgwFormDesktopAlert(QObject* owner = nullptr);
  ~TgwFormDesktopAlert() override;

  QObject* Owner() const;

  // The handler that animates this window; set by the component with each style change.
  TgwCustomDesktopAlertStyleHandler* StyleHandler() const;
  void setStyleHandler(TgwCustomDesktopAlertStyleHandler* handler) { m_handler = handler; }

  // Flags copied from the component when it shows the window.
  bool CanMove = false;
  bool CanMoveAnywhere = false;
  bool CanClose = false;
  bool CanClick = false;
  bool AutoFocus = false;
  TgwDesktopAlertColors Colors;

  bool MouseInside = false;
  bool Pinned = false;  // kept on screen by the user's pushpin
  std::uint32_t SavedEndInterval = 0;

  std::function<void()> OnAlertMouseEnter;
  std::function<void()> OnAlertMouseLeave;
  std::function<void()> OnUserMove;
  TNotifyEvent OnShow;
  TNotifyEvent OnClose;
  std::function<void()> OnMessageClick;

  QLabel* ImageIcon = nullptr;
  QLabel* LabelHeader = nullptr;
  HotTrackLabel* LabelMessage = nullptr;
  TgwDesktopAlertButton* ButtonClose = nullptr;
  TgwDesktopAlertButton* ButtonDropDown = nullptr;
  QAction* ActionClose = nullptr;
  QTimer* PollTimer = nullptr;

  // Moves the window unless it is already there or the pointer is over it; stacks move
  // windows only through this, so a window never slips away from under the mouse.
  void MoveTo(int X, int Y);

  // Handlers, public so that the stack and the tests can drive them.
  void PollTimerTimer();
  void AlertMouseEnter();
  void AlertMouseLeave();
  void CustomButtonClick(QObject* Sender);
  void CloseButtonDefaultClick(QObject* Sender);
  // Where the keyboard goes back to should the window system activate the alert anyway.
  void setReturnFocus(QWidget* focused, QWidget* active);
  // Whether a press at `clientPos` drags the window (and stops its animation).
  bool HitTestCaption(QPoint clientPos);

protected:
  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  bool event(QEvent* event) override;

private:
  void LayoutAlert();
  void placeTopRightButtons();
  void DropDownMenuOpening();
  void DropDownMenuClosed();

  QPointer<QObject> m_owner;
  QPointer<TgwCustomDesktopAlertStyleHandler> m_handler;
  QPointer<QWidget> m_returnFocus;
  QPointer<QWidget> m_returnActive;
  bool m_dragging = false;
  QPoint m_dragOffset;
  // Distance of the close and drop-down buttons' left edges from the right edge.
  int m_closeFromRight = 17;
  int m_dropDownFromRight = 33;
};

// The private message that frees an auto-free alert after its close processing.
class AlertAutoFreeEvent : public QEvent {
public:
  static QEvent::Type eventType();
  AlertAutoFreeEvent(QWidget* window, QObject* component)
      : QEvent(eventType()), Window(window), Component(component) {}
  QWidget* Window;
  QPointer<QObject> Component;
};
