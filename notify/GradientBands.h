#pragma once
// Vertical gradient drawn in a few bands of solid colour, the way the alert window paints
// its caption and body: cheap, and the band edges are part of the look.
#include "notify/AlertTypes.h"

#include <QRect>
#include <QVector>

class QPainter;

struct GradientBand {
  QRect rect;
  TColor color;
};

// The bands that fill `rect` from top to bottom with `bandCount` bands of equal height,
// band i taking per channel from + (to - from) * i / (bandCount - 1); rows left over at the
// bottom take `to`. The band count is limited to the rectangle's height; equal colours or
// fewer than two bands give one solid band of `from`.
QVector<GradientBand> gradientBands(const QRect& rect, TColor from, TColor to, int bandCount);

void fillGradientBands(QPainter& painter, const QRect& rect, TColor from, TColor to,
                       int bandCount);
