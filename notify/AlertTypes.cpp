#include "notify/AlertTypes.h"

#include <QGuiApplication>
#include <QPalette>

QColor toQColor(TColor color) {
  if ((color & 0xFF000000u) == 0xFF000000u) {
    const QPalette palette = QGuiApplication::palette();
    switch (color & 0xFFu) {
      case 5: return palette.color(QPalette::Base);             // window background
      case 8: return palette.color(QPalette::WindowText);       // window text
      case 13: return palette.color(QPalette::Highlight);
      case 14: return palette.color(QPalette::HighlightedText);
      case 16: return palette.color(QPalette::Dark);            // button shadow
      case 18: return palette.color(QPalette::ButtonText);
      case 20: return palette.color(QPalette::Light);           // button highlight
      default: return palette.color(QPalette::Button);          // button face and the rest
    }
  }
  if (color == clDefault) return {};
  return QColor(static_cast<int>(color & 0xFFu), static_cast<int>((color >> 8) & 0xFFu),
                static_cast<int>((color >> 16) & 0xFFu));
}
