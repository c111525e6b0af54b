#pragma once
// The desktop work area (the screen without panels and task bars) where alerts are placed.
#include <QRect>

#include <optional>

// The primary screen's available geometry, or its whole geometry when that is unknown.
QRect desktopWorkArea();

// Tests pin the work area to a known rectangle; std::nullopt goes back to the screen's.
void setDesktopWorkAreaOverride(std::optional<QRect> area);

// Right and bottom edges as the placement arithmetic uses them: one past the last pixel.
inline int rightEdge(const QRect& r) { return r.x() + r.width(); }
inline int bottomEdge(const QRect& r) { return r.y() + r.height(); }
