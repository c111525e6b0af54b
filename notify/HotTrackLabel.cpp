#include "notify/HotTrackLabel.h"

#include <QMouseEvent>

HotTrackLabel::HotTrackLabel(QWidget* parent) : QLabel(parent) {
  setWordWrap(true);
  setAlignment(Qt::AlignLeft | Qt::AlignTop);
  setAttribute(Qt::WA_TranslucentBackground);
  setTextFormat(Qt::PlainText);
}

void HotTrackLabel::setHotTrack(bool on) {
  m_hotTrack = on;
  setCursor(on ? Qt::PointingHandCursor : Qt::ArrowCursor);
  if (!on) applyLook(false);
}

void HotTrackLabel::setHotTrackFont(const QFont& font, const QColor& color) {
  m_hotFont = font;
  m_hotColor = color;
}

QSize HotTrackLabel::wrappedSize(int width) const {
  const QFontMetrics metrics(font());
  const QString shown = text().isEmpty() ? QStringLiteral(" ") : text();
  const QRect bounds =
      metrics.boundingRect(QRect(0, 0, qMax(width, 1), 1 << 20), Qt::TextWordWrap, shown);
  return {qMin(bounds.width(), width), bounds.height()};
}

void HotTrackLabel::applyLook(bool hot) {
  if (hot == m_hot) return;
  m_hot = hot;
  // The font is the parent's except while hot, so font changes of the window still apply.
  if (hot) {
    setFont(m_hotFont);
    QPalette p = palette();
    p.setColor(QPalette::WindowText, m_hotColor);
    setPalette(p);
  } else {
    setFont(QFont());
    setAttribute(Qt::WA_SetFont, false);
    setPalette(QPalette());
    setAttribute(Qt::WA_SetPalette, false);
  }
}

void HotTrackLabel::enterEvent(QEnterEvent* event) {
  if (m_hotTrack) applyLook(true);
  QLabel::enterEvent(event);
}

void HotTrackLabel::leaveEvent(QEvent* event) {
  applyLook(false);
  QLabel::leaveEvent(event);
}

void HotTrackLabel::mousePressEvent(QMouseEvent* event) {
  if (m_hotTrack && event->button() == Qt::LeftButton) {
    event->accept();
    return;
  }
  QLabel::mousePressEvent(event);
}

void HotTrackLabel::mouseReleaseEvent(QMouseEvent* event) {
  if (m_hotTrack && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
    emit clicked();
    return;
  }
  QLabel::mouseReleaseEvent(event);
}
