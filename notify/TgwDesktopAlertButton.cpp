#include "notify/TgwDesktopAlertButton.h"

#include "notify/ImageList.h"

#include <QEnterEvent>
#include <QIcon>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <QStyleOption>

TgwDesktopAlertButton::TgwDesktopAlertButton(QWidget* parent) : QAbstractButton(parent) {
  resize(21, 21);
  setFocusPolicy(Qt::NoFocus);
  connect(this, &QAbstractButton::clicked, this, &TgwDesktopAlertButton::Click);
}

void TgwDesktopAlertButton::setToolType(TgwDesktopAlertButtonType value) {
  m_toolType = value;
  update();
}

void TgwDesktopAlertButton::setImages(ImageList* value) {
  if (ImageList* old = m_images) disconnect(old, nullptr, this, nullptr);
  m_images = value;
  if (value)
    connect(value, &ImageList::changed, this, qOverload<>(&QWidget::update));
  update();
}

void TgwDesktopAlertButton::setImageIndex(int value) {
  m_imageIndex = value;
  update();
}

void TgwDesktopAlertButton::Click() {
  if (QMenu* menu = m_dropDownMenu) {
    if (OnDropDownMenuOpening) OnDropDownMenuOpening();
    menu->exec(mapToGlobal(QPoint(0, height())));
    if (OnDropDownMenuClosed) OnDropDownMenuClosed();
    return;
  }
  if (OnClick) OnClick(this);
}

void TgwDesktopAlertButton::enterEvent(QEnterEvent* event) {
  m_mouseInside = true;
  update();
  QAbstractButton::enterEvent(event);
}

void TgwDesktopAlertButton::leaveEvent(QEvent* event) {
  m_mouseInside = false;
  update();
  QAbstractButton::leaveEvent(event);
}

void TgwDesktopAlertButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (m_mouseInside) {
    painter.setPen(QColor(0, 51, 102));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    painter.fillRect(rect().adjusted(1, 1, -1, -1),
                     isDown() ? QColor(153, 153, 204) : QColor(181, 190, 214));
  }
  switch (m_toolType) {
    case abtDropDownChevron: paintChevron(painter); break;
    case abtImage: paintImage(painter); break;
    default: paintGlyph(painter); break;
  }
}

// The glyphs of the window-caption symbol set, drawn as shapes so that no symbol font is
// needed. Sizes follow the point sizes the glyphs were designed at (10 pt arrows and
// drop-down, 7 pt close).
void TgwDesktopAlertButton::paintGlyph(QPainter& painter) {
  const QColor ink = palette().color(QPalette::WindowText);
  const QPoint c = rect().center();
  painter.setRenderHint(QPainter::Antialiasing, false);
  switch (m_toolType) {
    case abtArrowLeft:
    case abtArrowRight:
    case abtDropDown: {
      // A solid triangle, 4 rows high, pointing left, right or down.
      QPainterPath path;
      if (m_toolType == abtDropDown) {
        path.moveTo(c.x() - 3.5, c.y() - 1.5);
        path.lineTo(c.x() + 4.5, c.y() - 1.5);
        path.lineTo(c.x() + 0.5, c.y() + 2.5);
      } else if (m_toolType == abtArrowLeft) {
        path.moveTo(c.x() + 2.5, c.y() - 3.5);
        path.lineTo(c.x() + 2.5, c.y() + 4.5);
        path.lineTo(c.x() - 1.5, c.y() + 0.5);
      } else {
        path.moveTo(c.x() - 1.5, c.y() - 3.5);
        path.lineTo(c.x() - 1.5, c.y() + 4.5);
        path.lineTo(c.x() + 2.5, c.y() + 0.5);
      }
      path.closeSubpath();
      painter.fillPath(path, ink);
      break;
    }
    case abtClose: {
      // A cross of two 2-pixel strokes, 6 pixels wide.
      painter.setPen(Qt::NoPen);
      for (int i = 0; i < 6; ++i) {
        painter.fillRect(c.x() - 3 + i, c.y() - 3 + i, 2, 1, ink);
        painter.fillRect(c.x() + 1 - i, c.y() - 3 + i, 2, 1, ink);
      }
      break;
    }
    case abtMinimize:
      painter.fillRect(c.x() - 3, c.y() + 2, 7, 2, ink);
      break;
    case abtMaximize:
      painter.fillRect(c.x() - 4, c.y() - 4, 9, 2, ink);
      painter.setPen(ink);
      painter.drawRect(c.x() - 4, c.y() - 4, 8, 8);
      break;
    case abtRestore:
      // Two overlapping window frames, the back one up and to the right.
      painter.setPen(ink);
      painter.fillRect(c.x() - 2, c.y() - 5, 7, 2, ink);
      painter.drawRect(c.x() - 2, c.y() - 5, 6, 5);
      painter.fillRect(c.x() - 4, c.y() - 2, 7, 2, ink);
      painter.drawRect(c.x() - 4, c.y() - 2, 6, 6);
      break;
    default: break;
  }
}

// A right-pointing double chevron (five rows of two 2-pixel dashes, indented 0, 1, 2, 1,
// 0) above a small downward triangle, in a 7 x 12 area centred in the button.
void TgwDesktopAlertButton::paintChevron(QPainter& painter) {
  const QColor ink = palette().color(QPalette::WindowText);
  const int x0 = (width() - 7) / 2;
  const int y0 = (height() - 12) / 2;
  static constexpr int indent[5] = {0, 1, 2, 1, 0};
  for (int row = 0; row < 5; ++row) {
    painter.fillRect(x0 + indent[row], y0 + row, 2, 1, ink);
    painter.fillRect(x0 + indent[row] + 4, y0 + row, 2, 1, ink);
  }
  for (int row = 0; row < 3; ++row)
    painter.fillRect(x0 + 1 + row, y0 + 8 + row, 5 - 2 * row, 1, ink);
}

void TgwDesktopAlertButton::paintImage(QPainter& painter) {
  const ImageList* images = m_images;
  if (!images || m_imageIndex < 0 || m_imageIndex >= images->count()) return;
  QPixmap pixmap = images->image(m_imageIndex);
  if (pixmap.isNull()) return;
  if (!isEnabled()) {
    QStyleOption option;
    option.initFrom(this);
    pixmap = style()->generatedIconPixmap(QIcon::Disabled, pixmap, &option);
  }
  QPoint at((width() - images->width()) / 2, (height() - images->height()) / 2);
  if (isDown()) at += QPoint(1, 1);
  painter.drawPixmap(at, pixmap);
}
