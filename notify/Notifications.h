#pragma once
// The program's one way to show a short message that must not stop the user: a stacked
// desktop alert at the top right of the work area. Each call returns at once; the alert
// frees itself after it closes, so the returned pointer must not be kept.
#include <QString>

class TgwDesktopAlert;
class TmyDesktopAlertStack;
class TShowHintDM;

enum class AlertKind : int { Warning = 0, Error = 1, Information = 2 };

// Display time for a negative request.
constexpr int defaultAlertSeconds = 5;

// Seconds: 0 keeps the alert until the user closes it, a negative value asks for the
// default. A display time too large for 32-bit milliseconds throws std::overflow_error.
TgwDesktopAlert* ShowAlert(const QString& Text, const QString& Header, int Seconds, AlertKind Kind);
TgwDesktopAlert* AlertWarning(const QString& Text, const QString& Header = {}, int Seconds = -1);
TgwDesktopAlert* AlertError(const QString& Text, const QString& Header = {}, int Seconds = -1);
TgwDesktopAlert* AlertInfo(const QString& Text, const QString& Header = {}, int Seconds = -1);

// Creates and configures an alert of the kind without showing it.
TgwDesktopAlert* BuildAlert(const QString& Text, const QString& Header, int Seconds, AlertKind Kind);

// The program-wide stack (top right) and picture list, made with the first alert and freed
// with the application object.
TmyDesktopAlertStack* MyAlertStack();
TShowHintDM* ShowHintDM();
