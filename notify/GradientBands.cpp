#include "notify/GradientBands.h"

#include <QPainter>

namespace {

int channel(TColor color, int shift) { return static_cast<int>((color >> shift) & 0xFFu); }

}  // namespace

QVector<GradientBand> gradientBands(const QRect& rect, TColor from, TColor to, int bandCount) {
  QVector<GradientBand> bands;
  if (rect.isEmpty()) return bands;
  const int height = rect.height();
  if (bandCount > height) bandCount = height;
  if (from == to || bandCount < 2) {
    bands.append({rect, from});
    return bands;
  }
  const int bandHeight = height / bandCount;
  int top = rect.top();
  for (int i = 0; i < bandCount; ++i) {
    int parts[3];
    for (int c = 0; c < 3; ++c) {
      const int a = channel(from, 8 * c);
      const int b = channel(to, 8 * c);
      parts[c] = a + (b - a) * i / (bandCount - 1);
    }
    bands.append({QRect(rect.left(), top, rect.width(), bandHeight),
                  rgbToTColor(parts[0], parts[1], parts[2])});
    top += bandHeight;
  }
  const int bottom = rect.top() + height;
  if (top < bottom) bands.append({QRect(rect.left(), top, rect.width(), bottom - top), to});
  return bands;
}

void fillGradientBands(QPainter& painter, const QRect& rect, TColor from, TColor to,
                       int bandCount) {
  for (const GradientBand& band : gradientBands(rect, from, to, bandCount))
    painter.fillRect(band.rect, toQColor(band.color));
}
