#include "notify/TgwDesktopAlert.h"

#include "notify/HotTrackLabel.h"
#include "notify/TJvCenterGrowAlertStyleHandler.h"
#include "notify/TJvFadeAlertStyleHandler.h"
#include "notify/TgwDesktopAlertButton.h"
#include "notify/TgwDesktopAlertStack.h"
#include "notify/TgwFormDesktopAlert.h"
#include "notify/WorkArea.h"

#include <QApplication>
#include <QCoreApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>

#include <stdexcept>

namespace {

QPoint centredIn(const QRect& area, QSize size) {
  return {area.left() + (area.width() - size.width()) / 2,
          area.top() + (area.height() - size.height()) / 2};
}

QWidget* mainForm() {
  for (QWidget* widget : QApplication::topLevelWidgets())
    if (qobject_cast<QMainWindow*>(widget) && widget->isVisible()) return widget;
  return nullptr;
}

}  // namespace

TgwDesktopAlert::TgwDesktopAlert(QObject* owner)
    : QObject(owner), m_buttons(this), m_options(allDesktopAlertOptions()) {
  m_location.OnChange = [this] { LocationChanged(); };
  m_window = new TgwFormDesktopAlert(this);
  setAlertStyle(asFade);
}

TgwDesktopAlert::~TgwDesktopAlert() {
  m_destroying = true;
  if (TgwFormDesktopAlert* window = m_window) {
    if (window->isVisible()) window->close();
    window->OnClose = nullptr;
    StackInEffect()->RemoveWindow(window);
    window->setStyleHandler(nullptr);
    window->deleteLater();
    m_window = nullptr;
  }
}

TgwFormDesktopAlert* TgwDesktopAlert::Window() const { return m_window; }

TgwDesktopAlertStack* TgwDesktopAlert::AlertStack() const { return m_stack; }

void TgwDesktopAlert::setAlertStack(TgwDesktopAlertStack* value) {
  if (value == DefaultAlertStack()) value = nullptr;
  if (value == m_stack) return;
  if (TgwDesktopAlertStack* old = m_stack) disconnect(old, &QObject::destroyed, this, nullptr);
  m_stack = value;
  if (value) {
    m_location.setPosition(value->Position());
    connect(value, &QObject::destroyed, this, [this] { m_stack = nullptr; });
  }
}

TgwDesktopAlertStack* TgwDesktopAlert::StackInEffect() const {
  if (TgwDesktopAlertStack* own = m_stack) return own;
  return DefaultAlertStack();
}

void TgwDesktopAlert::setAlertStyle(TJvAlertStyle value) {
  if (value == m_alertStyle && m_handler) return;
  // An unknown style is refused before the old handler goes, so the alert stays usable.
  if (value != asFade && value != asCenterGrow) throw std::invalid_argument("");
  m_alertStyle = value;
  if (value == asFade)
    m_handler = std::make_unique<TJvFadeAlertStyleHandler>(m_window.data());
  else
    m_handler = std::make_unique<TJvCenterGrowAlertStyleHandler>(m_window.data());
  if (TgwFormDesktopAlert* w = m_window) w->setStyleHandler(m_handler.get());
}

void TgwDesktopAlert::setStyleOptions(const TgwCustomDesktopAlertStyleHandler& value) {
  m_handler->Assign(value);
}

void TgwDesktopAlert::setOptions(TgwDesktopAlertOptions value) {
  if (value == m_options) return;
  if (!value.testFlag(daoCanMove)) value &= ~TgwDesktopAlertOptions(daoCanMoveAnywhere);
  m_options = value;
}

QString TgwDesktopAlert::HeaderText() const {
  const TgwFormDesktopAlert* w = m_window;
  return w ? w->LabelHeader->text() : QString();
}
void TgwDesktopAlert::setHeaderText(const QString& value) {
  if (TgwFormDesktopAlert* w = m_window) w->LabelHeader->setText(value);
}
QString TgwDesktopAlert::MessageText() const {
  const TgwFormDesktopAlert* w = m_window;
  return w ? w->LabelMessage->text() : QString();
}
void TgwDesktopAlert::setMessageText(const QString& value) {
  if (TgwFormDesktopAlert* w = m_window) {
    w->LabelMessage->setText(value);
    w->LabelMessage->repaint();
  }
}
QFont TgwDesktopAlert::HeaderFont() const {
  const TgwFormDesktopAlert* w = m_window;
  return w ? w->LabelHeader->font() : QFont();
}
void TgwDesktopAlert::setHeaderFont(const QFont& value) {
  if (TgwFormDesktopAlert* w = m_window) w->LabelHeader->setFont(value);
}
QFont TgwDesktopAlert::Font() const {
  const TgwFormDesktopAlert* w = m_window;
  return w ? w->font() : QFont();
}
void TgwDesktopAlert::setFont(const QFont& value) {
  if (TgwFormDesktopAlert* w = m_window) w->setFont(value);
}
QPixmap TgwDesktopAlert::Image() const {
  const TgwFormDesktopAlert* w = m_window;
  return w ? w->ImageIcon->pixmap() : QPixmap();
}
void TgwDesktopAlert::setImage(const QPixmap& value) {
  TgwFormDesktopAlert* w = m_window;
  if (!w) return;
  w->ImageIcon->setPixmap(value);
  if (!value.isNull()) w->ImageIcon->resize(value.deviceIndependentSize().toSize());
}
QString TgwDesktopAlert::Hint() const {
  const TgwFormDesktopAlert* w = m_window;
  return w ? w->toolTip() : QString();
}
void TgwDesktopAlert::setHint(const QString& value) {
  if (TgwFormDesktopAlert* w = m_window) w->setToolTip(value);
}
Qt::LayoutDirection TgwDesktopAlert::BiDiMode() const {
  const TgwFormDesktopAlert* w = m_window;
  return w ? w->layoutDirection() : Qt::LeftToRight;
}
void TgwDesktopAlert::setBiDiMode(Qt::LayoutDirection value) {
  if (TgwFormDesktopAlert* w = m_window) w->setLayoutDirection(value);
}
QMenu* TgwDesktopAlert::DropDownMenu() const {
  const TgwFormDesktopAlert* w = m_window;
  return w ? w->ButtonDropDown->DropDownMenu() : nullptr;
}
void TgwDesktopAlert::setDropDownMenu(QMenu* value) {
  if (TgwFormDesktopAlert* w = m_window) w->ButtonDropDown->setDropDownMenu(value);
}
void TgwDesktopAlert::setPopupMenu(QMenu* value) {
  m_popupMenu = value;
  TgwFormDesktopAlert* w = m_window;
  if (!w) return;
  w->setContextMenuPolicy(value ? Qt::CustomContextMenu : Qt::DefaultContextMenu);
  disconnect(w, &QWidget::customContextMenuRequested, this, nullptr);
  if (value)
    connect(w, &QWidget::customContextMenuRequested, this, [this, w](const QPoint& at) {
      if (QMenu* menu = m_popupMenu) menu->exec(w->mapToGlobal(at));
    });
}
TNotifyEvent TgwDesktopAlert::OnCloseButtonClick() const {
  const TgwFormDesktopAlert* w = m_window;
  return w ? w->ButtonClose->OnClick : TNotifyEvent();
}
void TgwDesktopAlert::setOnCloseButtonClick(TNotifyEvent value) {
  if (TgwFormDesktopAlert* w = m_window) w->ButtonClose->OnClick = std::move(value);
}

void TgwDesktopAlert::Popup() {
  TgwFormDesktopAlert* window = m_window;
  if (!window) throw std::logic_error("Assertion failure (gwDesktopAlert)");
  if (window->isVisible()) window->close();
  if (!m_window) return;  // an auto-free alert closed above is on its way out

  const QRect wa = desktopWorkArea();
  const int width = m_location.Width() != 0 ? m_location.Width() : defaultAlertWidth;
  const int height = m_location.Height() != 0 ? m_location.Height() : defaultAlertHeight;
  window->resize(width, height);

  QPoint at = window->pos();
  switch (m_location.Position()) {
    case dapTopLeft: at = {wa.left(), wa.top()}; break;
    case dapTopRight: at = {rightEdge(wa) - width, wa.top()}; break;
    case dapBottomLeft: at = {wa.left(), bottomEdge(wa) - height}; break;
    case dapBottomRight: at = {rightEdge(wa) - width, bottomEdge(wa) - height}; break;
    case dapCustom: at = {m_location.Left(), m_location.Top()}; break;
    case dapDesktopCenter:
    case dapMainFormCenter:
    case dapOwnerFormCenter:
    case dapActiveFormCenter: {
      at = centredIn(wa, window->size());
      QWidget* form = nullptr;
      if (m_location.Position() == dapActiveFormCenter) form = QApplication::activeWindow();
      if (m_location.Position() == dapMainFormCenter) form = mainForm();
      if (m_location.Position() == dapOwnerFormCenter)
        if (auto* ownerWidget = qobject_cast<QWidget*>(parent())) form = ownerWidget->window();
      if (form) at = centredIn(form->frameGeometry(), window->size());
      break;
    }
  }
  window->move(at);

  window->OnShow = [this](QObject*) {
    if (OnShow) OnShow(this);
  };
  window->OnClose = [this](QObject*) { FormClose(); };
  window->OnAlertMouseEnter = [this] {
    if (OnMouseEnter) OnMouseEnter(this);
  };
  window->OnAlertMouseLeave = [this] {
    if (OnMouseLeave) OnMouseLeave(this);
  };
  window->OnUserMove = [this] { UserMove(); };
  window->OnMessageClick = [this] { MessageClick(); };

  window->CanMove = m_options.testFlag(daoCanMove);
  window->CanMoveAnywhere = m_options.testFlag(daoCanMoveAnywhere);
  window->CanClose = m_options.testFlag(daoCanClose);
  window->CanClick = m_options.testFlag(daoCanClick);
  if (!window->ButtonClose->OnClick)
    window->ButtonClose->OnClick = [window](QObject* sender) { window->CloseButtonDefaultClick(sender); };

  window->Colors.Assign(m_colors);

  for (TgwDesktopAlertButton* button : m_buttonControls) delete button;
  m_buttonControls.clear();
  for (int i = 0; i < m_buttons.Count(); ++i) {
    const TgwDesktopAlertButtonItem* item = m_buttons.Items(i);
    auto* button = new TgwDesktopAlertButton(window);
    button->setGeometry(2 + 22 * i, window->height() - 23, 21, 21);
    button->setToolType(abtImage);
    button->setImages(m_images);
    button->setImageIndex(item->ImageIndex);
    button->Tag = item->Tag;
    button->OnInternalClick = item->OnClick;
    button->OnClick = [window](QObject* sender) {
      try {
        window->CustomButtonClick(sender);
      } catch (const std::exception& error) {
        // Nothing above a button click can take the error; keep the program running.
        qWarning("%s", error.what());
      }
    };
    button->show();
    m_buttonControls.push_back(button);
  }

  m_location.setPosition(StackInEffect()->Position());

  QPointer<QWidget> focused;
  QPointer<QWidget> active;
  if (!AutoFocus) {
    focused = QApplication::focusWidget();
    active = QApplication::activeWindow();
  }
  window->setReturnFocus(focused, active);
  window->AutoFocus = AutoFocus;
  window->setWindowFlag(Qt::WindowDoesNotAcceptFocus, !AutoFocus);
  window->setAttribute(Qt::WA_ShowWithoutActivating, !AutoFocus);
  window->show();
  if (!AutoFocus && QApplication::focusWidget() != focused) {
    if (focused) {
      focused->activateWindow();
      focused->setFocus(Qt::OtherFocusReason);
    } else if (active) {
      active->activateWindow();
    }
  }

  StackInEffect()->AddWindow(window);
}

void TgwDesktopAlert::FormClose() {
  if (m_destroying || !m_window) return;
  TgwFormDesktopAlert* window = m_window;
  if (m_location.Position() == dapCustom) {
    m_location.setTop(window->y());
    m_location.setLeft(window->x());
  }
  if (OnClose) OnClose(this);
  StackInEffect()->RemoveWindow(window);
  if (AutoFree) {
    window->OnClose = nullptr;
    QCoreApplication::postEvent(window, new AlertAutoFreeEvent(window, this));
    m_window = nullptr;
  }
}

void TgwDesktopAlert::MessageClick() {
  if (!OnMessageClick || !m_options.testFlag(daoCanClick)) return;
  TgwCustomDesktopAlertStyleHandler* handler = m_handler.get();
  const std::uint32_t saved = handler->EndInterval();
  handler->setEndInterval(0);
  try {
    OnMessageClick(this);
  } catch (...) {
    handler->setEndInterval(saved);
    throw;
  }
  handler->setEndInterval(saved);
  const TgwFormDesktopAlert* w = m_window;
  if (w && !w->MouseInside && handler->DisplayDuration() != 0) handler->RunEndPhase();
}

void TgwDesktopAlert::UserMove() {
  if (m_location.AlwaysResetPosition || m_location.Position() == dapCustom) return;
  StackInEffect()->RemoveWindow(m_window);
  m_location.setPosition(dapCustom);
}

void TgwDesktopAlert::LocationChanged() {
  TgwDesktopAlertStack* stack = StackInEffect();
  if (stack->Position() == m_location.Position()) return;
  if (!m_stack)
    stack->setPosition(m_location.Position());
  else
    m_location.setPosition(stack->Position());
}
