#include "notify/WorkArea.h"

#include <QGuiApplication>
#include <QScreen>

namespace {
std::optional<QRect>& workAreaOverride() {
  static std::optional<QRect> area;
  return area;
}
}  // namespace

QRect desktopWorkArea() {
  if (workAreaOverride()) return *workAreaOverride();
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return {};
  const QRect available = screen->availableGeometry();
  if (available.isValid() && !available.isEmpty()) return available;
  return QRect(QPoint(0, 0), screen->geometry().size());
}

void setDesktopWorkAreaOverride(std::optional<QRect> area) { workAreaOverride() = area; }
