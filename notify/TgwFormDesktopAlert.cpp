#include "notify/TgwFormDesktopAlert.h"

#include "notify/GradientBands.h"
#include "notify/HotTrackLabel.h"
#include "notify/TgwCustomDesktopAlertStyleHandler.h"
#include "notify/TgwDesktopAlertButton.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

#include <exception>

QEvent::Type AlertAutoFreeEvent::eventType() {
  static const auto type = static_cast<QEvent::Type>(
      QEvent::registerEventType(QEvent::User + TgwFormDesktopAlert::autoFreeMessage));
  return type;
}

TgwFormDesktopAlert::TgwFormDesktopAlert(QObject* owner) : QWidget(nullptr), m_owner(owner) {
  setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                 Qt::WindowDoesNotAcceptFocus);
  setAttribute(Qt::WA_ShowWithoutActivating);
  setFocusPolicy(Qt::NoFocus);
  setFont(QApplication::font());
  resize(defaultAlertWidth, defaultAlertHeight);

  // Polls the pointer while the window shows; started with each show, since a hidden
  // window has nothing to watch.
  PollTimer = new QTimer(this);
  PollTimer->setInterval(200);
  connect(PollTimer, &QTimer::timeout, this, &TgwFormDesktopAlert::PollTimerTimer);

  ImageIcon = new QLabel(this);
  ImageIcon->setGeometry(8, 11, 32, 32);
  ImageIcon->setAttribute(Qt::WA_TranslucentBackground);

  LabelHeader = new QLabel(this);
  LabelHeader->setGeometry(48, 11, 71, 13);
  QFont bold = font();
  bold.setBold(true);
  LabelHeader->setFont(bold);
  LabelHeader->setTextFormat(Qt::PlainText);
  LabelHeader->setAttribute(Qt::WA_TranslucentBackground);

  LabelMessage = new HotTrackLabel(this);
  LabelMessage->setGeometry(56, 24, 67, 13);
  connect(LabelMessage, &HotTrackLabel::clicked, this, [this] {
    try {
      if (OnMessageClick) OnMessageClick();
    } catch (const std::exception& error) {
      // Nothing above a click can take the error; keep the program running.
      qWarning("%s", error.what());
    }
  });

  ActionClose = new QAction(QStringLiteral("Close"), this);
  ActionClose->setShortcut(QKeySequence(Qt::ALT | Qt::Key_F4));
  connect(ActionClose, &QAction::triggered, this, [this] {
    if (CanClose) close();
  });
  addAction(ActionClose);

  ButtonClose = new TgwDesktopAlertButton(this);
  ButtonClose->setToolType(abtClose);
  ButtonClose->setGeometry(width() - 17, 10, 15, 15);

  ButtonDropDown = new TgwDesktopAlertButton(this);
  ButtonDropDown->setToolType(abtDropDown);
  ButtonDropDown->setGeometry(ButtonClose->x() - 16, 10, 15, 15);
  ButtonDropDown->OnDropDownMenuOpening = [this] { DropDownMenuOpening(); };
  ButtonDropDown->OnDropDownMenuClosed = [this] { DropDownMenuClosed(); };
}

TgwFormDesktopAlert::~TgwFormDesktopAlert() = default;

QObject* TgwFormDesktopAlert::Owner() const { return m_owner; }

TgwCustomDesktopAlertStyleHandler* TgwFormDesktopAlert::StyleHandler() const { return m_handler; }

void TgwFormDesktopAlert::MoveTo(int X, int Y) {
  if (pos() == QPoint(X, Y) || MouseInside) return;
  auto userMove = std::move(OnUserMove);
  OnUserMove = nullptr;
  move(X, Y);
  OnUserMove = std::move(userMove);
}

void TgwFormDesktopAlert::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  placeTopRightButtons();
}

// The close and drop-down buttons keep their distance from the right edge.
void TgwFormDesktopAlert::placeTopRightButtons() {
  ButtonClose->move(width() - m_closeFromRight, ButtonClose->y());
  ButtonDropDown->move(width() - m_dropDownFromRight, ButtonDropDown->y());
}

void TgwFormDesktopAlert::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (OnShow) OnShow(this);
  LayoutAlert();
}

void TgwFormDesktopAlert::LayoutAlert() {
  TgwCustomDesktopAlertStyleHandler* handler = m_handler;
  if (handler) handler->StopPhase();

  QFont hotFont = font();
  hotFont.setUnderline(true);
  LabelMessage->setHotTrackFont(hotFont, toQColor(clNavy));
  LabelMessage->setHotTrack(CanClick);

  ButtonDropDown->setVisible(ButtonDropDown->DropDownMenu() != nullptr);
  const bool hideClose = !CanClose && handler && handler->DisplayDuration() != 0;
  ButtonClose->setVisible(!hideClose);
  m_closeFromRight = 17;
  m_dropDownFromRight = hideClose ? m_closeFromRight : m_closeFromRight + 16;
  placeTopRightButtons();

  if (const QPixmap icon = ImageIcon->pixmap(); !icon.isNull())
    ImageIcon->resize(icon.deviceIndependentSize().toSize());
  ImageIcon->move(ImageIcon->x(), 13);
  const int headerTop = ImageIcon->y();
  const int headerLeft = ImageIcon->x() + ImageIcon->width() + 5;
  const QFontMetrics headerMetrics(LabelHeader->font());
  const QString header = LabelHeader->text();
  LabelHeader->setGeometry(headerLeft, headerTop,
                           headerMetrics.horizontalAdvance(header.isEmpty() ? QStringLiteral(" ") : header),
                           headerMetrics.height());

  int messageLeft = headerLeft + 8;
  const int messageWidth = ButtonDropDown->x() - messageLeft;
  int messageTop = headerTop + LabelHeader->height();
  const QSize messageSize = LabelMessage->wrappedSize(messageWidth);

  if (height() < messageTop + messageSize.height()) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const int quarter = screen ? screen->geometry().height() / 4 : 0;
    const int wanted = messageTop + messageSize.height() + 3;
    resize(width(), wanted < quarter ? wanted : quarter);
  } else if (header.isEmpty()) {
    messageTop = height() / 2 - messageSize.height() / 2;
  } else {
    messageTop = messageTop + (height() - messageTop) / 2 - messageSize.height() / 2 - 2;
  }

  for (auto* button : findChildren<TgwDesktopAlertButton*>(Qt::FindDirectChildrenOnly))
    if (button != ButtonClose && button != ButtonDropDown) button->move(button->x(), height() - 23);

  if (QFontMetrics(LabelMessage->font()).height() + 2 >= messageSize.height())
    messageLeft = (width() - messageSize.width()) / 2;
  LabelMessage->setGeometry(messageLeft, messageTop, messageSize.width(), messageSize.height());

  if (handler) handler->RunStartPhase();
  PollTimer->start();
}

void TgwFormDesktopAlert::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect r = rect();
  painter.fillRect(r, palette().color(QPalette::Window));
  fillGradientBands(painter, QRect(r.left(), r.top(), r.width(), 8), Colors.CaptionFrom(),
                    Colors.CaptionTo(), 8);
  if (CanMove || CanMoveAnywhere) {
    const int x0 = r.left() + r.width() / 2 - 20;
    const int y = r.top() + 3;
    for (int k = 0; k < 10; ++k) {
      const int x = x0 + 4 * k;
      painter.fillRect(x, y, 2, 2, toQColor(clGray));
      painter.fillRect(x + 1, y + 1, 2, 2, QColor(248, 252, 248));
      painter.fillRect(x + 1, y + 1, 1, 1, QColor(184, 188, 184));
    }
  }
  // Row 8 keeps the window's background, a thin line between caption and body.
  const QRect body(r.left(), r.top() + 9, r.width(), r.height() - 10);
  fillGradientBands(painter, body, Colors.WindowFrom(), Colors.WindowTo(),
                    body.height() >= 255 ? 32 : body.height());
  painter.setPen(toQColor(Colors.Frame()));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(r.adjusted(0, 0, -1, -1));
}

void TgwFormDesktopAlert::closeEvent(QCloseEvent* event) {
  PollTimer->stop();
  m_dragging = false;
  if (OnClose) OnClose(this);
  event->accept();
}

void TgwFormDesktopAlert::PollTimerTimer() {
  PollTimer->stop();
  MouseInside = frameGeometry().contains(QCursor::pos());
  PollTimer->start();
  TgwCustomDesktopAlertStyleHandler* handler = m_handler;
  if (handler && !handler->TimerEnabled() && !MouseInside && handler->DisplayDuration() != 0)
    handler->RunEndPhase();
}

void TgwFormDesktopAlert::AlertMouseEnter() {
  MouseInside = true;
  if (TgwCustomDesktopAlertStyleHandler* handler = m_handler) handler->StopPhase();
  if (OnAlertMouseEnter) OnAlertMouseEnter();
}

void TgwFormDesktopAlert::AlertMouseLeave() {
  if (!MouseInside || frameGeometry().contains(QCursor::pos())) return;
  if (OnAlertMouseLeave) OnAlertMouseLeave();
  TgwCustomDesktopAlertStyleHandler* handler = m_handler;
  if (handler && handler->DisplayDuration() != 0) handler->RunEndPhase();
  MouseInside = false;
}

void TgwFormDesktopAlert::enterEvent(QEnterEvent* event) {
  QWidget::enterEvent(event);
  AlertMouseEnter();
}

void TgwFormDesktopAlert::leaveEvent(QEvent* event) {
  QWidget::leaveEvent(event);
  AlertMouseLeave();
}

namespace {
// Holds the end phase while a click handler runs (its dialog or menu may take a while and
// the pointer may leave meanwhile), then lets the alert go, also when the handler throws.
class EndPhaseHold {
public:
  EndPhaseHold(TgwFormDesktopAlert* window, TgwCustomDesktopAlertStyleHandler* handler)
      : m_window(window), m_handler(handler), m_saved(handler ? handler->EndInterval() : 0) {
    if (handler) handler->setEndInterval(0);
  }
  ~EndPhaseHold() {
    TgwCustomDesktopAlertStyleHandler* handler = m_handler;
    if (!handler) return;
    handler->setEndInterval(m_saved);
    // An alert kept until closed (display time 0, e.g. pinned) must not go by a click.
    const TgwFormDesktopAlert* window = m_window;
    if (window && !window->MouseInside && handler->DisplayDuration() != 0) handler->RunEndPhase();
  }
  EndPhaseHold(const EndPhaseHold&) = delete;
  EndPhaseHold& operator=(const EndPhaseHold&) = delete;

private:
  QPointer<TgwFormDesktopAlert> m_window;
  QPointer<TgwCustomDesktopAlertStyleHandler> m_handler;
  std::uint32_t m_saved;
};
}  // namespace

void TgwFormDesktopAlert::CustomButtonClick(QObject* Sender) {
  auto* button = qobject_cast<TgwDesktopAlertButton*>(Sender);
  if (!button) return;
  EndPhaseHold hold(this, m_handler);
  if (button->OnInternalClick) button->OnInternalClick(button);
}

void TgwFormDesktopAlert::CloseButtonDefaultClick(QObject*) {
  if (CanClose) close();
}

void TgwFormDesktopAlert::DropDownMenuOpening() {
  TgwCustomDesktopAlertStyleHandler* handler = m_handler;
  if (!handler) return;
  SavedEndInterval = handler->EndInterval();
  handler->setEndInterval(0);
}

void TgwFormDesktopAlert::DropDownMenuClosed() {
  TgwCustomDesktopAlertStyleHandler* handler = m_handler;
  if (!handler) return;
  if (SavedEndInterval != 0) {
    handler->setEndInterval(SavedEndInterval);
    SavedEndInterval = 0;
  }
  if (!MouseInside && handler->DisplayDuration() != 0) handler->RunEndPhase();
}

void TgwFormDesktopAlert::setReturnFocus(QWidget* focused, QWidget* active) {
  m_returnFocus = focused;
  m_returnActive = active && active != this ? active : nullptr;
}

bool TgwFormDesktopAlert::HitTestCaption(QPoint clientPos) {
  const bool caption = (CanMove && clientPos.y() <= 8) || (CanMoveAnywhere && !childAt(clientPos));
  TgwCustomDesktopAlertStyleHandler* handler = m_handler;
  if (caption && handler) handler->StopPhase();
  return caption;
}

void TgwFormDesktopAlert::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && HitTestCaption(event->position().toPoint())) {
    m_dragging = true;
    m_dragOffset = event->globalPosition().toPoint() - pos();
    event->accept();
    return;
  }
  QWidget::mousePressEvent(event);
}

void TgwFormDesktopAlert::mouseMoveEvent(QMouseEvent* event) {
  if (!m_dragging || !(event->buttons() & Qt::LeftButton)) {
    QWidget::mouseMoveEvent(event);
    return;
  }
  const QPoint target = event->globalPosition().toPoint() - m_dragOffset;
  if (target == pos()) return;
  move(target);
  if (isVisible() && OnUserMove) OnUserMove();
}

void TgwFormDesktopAlert::mouseReleaseEvent(QMouseEvent* event) {
  m_dragging = false;
  QWidget::mouseReleaseEvent(event);
}

bool TgwFormDesktopAlert::event(QEvent* event) {
  if (event->type() == AlertAutoFreeEvent::eventType()) {
    auto* autoFree = static_cast<AlertAutoFreeEvent*>(event);
    if (autoFree->Window == this) {
      deleteLater();
      QObject* component = autoFree->Component;
      delete component;
    }
    return true;
  }
  // The alert never takes the activation from the user's window unless asked to. Most
  // window systems honour the window's flags; those that activate every new window get
  // the activation handed straight back.
  if (event->type() == QEvent::WindowActivate && !AutoFocus) {
    if (QWidget* active = m_returnActive) {
      active->activateWindow();
      if (QWidget* focused = m_returnFocus) focused->setFocus(Qt::ActiveWindowFocusReason);
    }
    return true;
  }
  return QWidget::event(event);
}
