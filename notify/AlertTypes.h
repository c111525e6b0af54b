#pragma once
// Types shared by the desktop alert, its window, its stack and the notification functions.
// The ordinal values are fixed: settings and callers store them as numbers.
#include <QColor>
#include <QFlags>
#include <QObject>

#include <cstdint>
#include <functional>

// A colour as the accounting suite stores it: 32 bits, red in the lowest byte, then green,
// then blue; a high byte of 0xFF marks a system colour whose index is in the low byte.
using TColor = std::uint32_t;

constexpr TColor clDefault = 0x1FFFFFFF;
constexpr TColor clBtnFace = 0xFF00000F;
constexpr TColor clWindowText = 0xFF000008;
constexpr TColor clGray = 0x00808080;
constexpr TColor clNavy = 0x00800000;

constexpr TColor rgbToTColor(int red, int green, int blue) {
  return static_cast<TColor>(red & 0xFF) | (static_cast<TColor>(green & 0xFF) << 8) |
         (static_cast<TColor>(blue & 0xFF) << 16);
}

// The colour a TColor paints with; system colours come from the application palette.
QColor toQColor(TColor color);

// Event handlers take the object that raised them, as the suite's components do.
using TNotifyEvent = std::function<void(QObject* Sender)>;

enum TgwDesktopAlertPosition : int {
  dapTopLeft = 0,
  dapTopRight = 1,
  dapBottomLeft = 2,
  dapBottomRight = 3,
  dapCustom = 4,
  dapDesktopCenter = 5,
  dapMainFormCenter = 6,
  dapOwnerFormCenter = 7,
  dapActiveFormCenter = 8,
};

enum TgwDesktopAlertOption : std::uint8_t {
  daoCanClick = 1,
  daoCanMove = 2,
  daoCanMoveAnywhere = 4,
  daoCanClose = 8,
};
Q_DECLARE_FLAGS(TgwDesktopAlertOptions, TgwDesktopAlertOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(TgwDesktopAlertOptions)

constexpr TgwDesktopAlertOptions allDesktopAlertOptions() {
  return TgwDesktopAlertOptions(daoCanClick | daoCanMove | daoCanMoveAnywhere | daoCanClose);
}

enum TJvAlertStyle : int {
  asFade = 0,
  asCenterGrow = 1,
};

enum TgwDesktopAlertButtonType : int {
  abtArrowLeft = 0,
  abtArrowRight = 1,
  abtClose = 2,
  abtMaximize = 3,
  abtMinimize = 4,
  abtDropDown = 5,
  abtDropDownChevron = 6,
  abtRestore = 7,
  abtImage = 8,
};

// Default size of an alert window when its location leaves width or height at 0.
constexpr int defaultAlertWidth = 329;
constexpr int defaultAlertHeight = 76;
