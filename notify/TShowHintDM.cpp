#include "notify/TShowHintDM.h"

#include "notify/ImageList.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

TShowHintDM::TShowHintDM(QObject* parent) : QObject(parent) {
  ShowHintImgList = new ImageList(16, 16, this);
  // The places before the pushpin are kept empty so that it stays at its known index.
  QPixmap blank(16, 16);
  blank.fill(Qt::transparent);
  for (int i = 0; i < pushpinIndex; ++i) ShowHintImgList->add(blank);
  ShowHintImgList->add(drawPushpin());
}

QPixmap TShowHintDM::drawPushpin() {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing, true);
  // The needle, going down and to the left from the head.
  p.setPen(QPen(QColor(96, 96, 96), 1.4, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(6.5, 9.5), QPointF(1.5, 14.5));
  // The body: a collar and a barrel, seen from the side and tilted.
  p.translate(9.5, 6.5);
  p.rotate(45);
  const QColor red(200, 30, 30);
  const QColor dark(120, 10, 10);
  p.setPen(QPen(dark, 1.0));
  p.setBrush(red);
  p.drawRoundedRect(QRectF(-4.5, 2.0, 9.0, 2.5), 1.0, 1.0);   // the plate at the needle
  p.drawRect(QRectF(-2.2, -3.5, 4.4, 5.5));                   // the barrel
  p.drawRoundedRect(QRectF(-3.8, -6.5, 7.6, 3.0), 1.2, 1.2);  // the head
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(255, 170, 170));
  p.drawRect(QRectF(-1.4, -3.0, 1.2, 4.5));  // a highlight on the barrel
  return pixmap;
}
