#include "notify/Notifications.h"

#include "notify/TDesktopAlertHelper.h"
#include "notify/TJvFadeAlertStyleHandler.h"
#include "notify/TShowHintDM.h"
#include "notify/TgwDesktopAlert.h"
#include "notify/TmyDesktopAlertStack.h"

#include <QApplication>
#include <QCoreApplication>
#include <QStyle>

#include <limits>
#include <stdexcept>

namespace {

struct NotificationModule {
  TShowHintDM* pictures = nullptr;
  TmyDesktopAlertStack* stack = nullptr;
};

NotificationModule& module() {
  static NotificationModule state;
  if (!state.pictures) {
    state.pictures = new TShowHintDM();
    state.stack = new TmyDesktopAlertStack();
    state.stack->setPosition(dapTopRight);
    qAddPostRoutine([] {
      delete state.stack;
      delete state.pictures;
      state.stack = nullptr;
      state.pictures = nullptr;
    });
  }
  return state;
}

QPixmap messageIcon(QStyle::StandardPixmap which) {
  return QApplication::style()->standardIcon(which).pixmap(32, 32);
}

std::uint32_t displayMilliseconds(int seconds) {
  if (seconds < 0) return static_cast<std::uint32_t>(defaultAlertSeconds * 1000);
  if (seconds > std::numeric_limits<int>::max() / 1000)
    throw std::overflow_error("Переполнение при вычислении времени показа сообщения");
  return static_cast<std::uint32_t>(seconds * 1000);
}

}  // namespace

TmyDesktopAlertStack* MyAlertStack() { return module().stack; }
TShowHintDM* ShowHintDM() { return module().pictures; }

TgwDesktopAlert* BuildAlert(const QString& Text, const QString& Header, int Seconds, AlertKind Kind) {
  // Validated before anything is made, so an overflow leaves no alert behind.
  const std::uint32_t display = displayMilliseconds(Kind == AlertKind::Information || Seconds != -1 ? Seconds : 30);

  auto* alert = new TgwDesktopAlert();
  alert->setAlertStack(MyAlertStack());
  alert->setHeaderText(Header);

  TgwDesktopAlertColors& colors = alert->Colors();
  switch (Kind) {
    case AlertKind::Warning:
      colors.setCaptionTo(4049618);     // 210, 202, 61
      colors.setCaptionFrom(13103604);  // 244, 241, 199
      colors.setWindowFrom(13103604);
      colors.setWindowTo(4049618);
      if (Header.isEmpty()) alert->setHeaderText(QStringLiteral("Внимание"));
      alert->setImage(messageIcon(QStyle::SP_MessageBoxWarning));
      break;
    case AlertKind::Error:
      colors.setFrame(255);             // 255, 0, 0
      colors.setCaptionTo(9013730);     // 226, 137, 137
      colors.setCaptionFrom(14013949);  // 253, 213, 213
      colors.setWindowFrom(14013949);
      colors.setWindowTo(9013730);
      if (Header.isEmpty()) alert->setHeaderText(QStringLiteral("Ошибка"));
      alert->setImage(messageIcon(QStyle::SP_MessageBoxCritical));
      break;
    case AlertKind::Information:
      alert->setImage(messageIcon(QStyle::SP_MessageBoxInformation));
      break;
  }

  alert->setImages(ShowHintDM()->ShowHintImgList);
  alert->setMessageText(Text);
  alert->Location().AlwaysResetPosition = false;
  alert->Location().setWidth(280);

  // Every window system Qt runs on can set a window's opacity (or ignores it quietly), so
  // the alerts always fade; the centre-grow style stays available to other callers.
  alert->setAlertStyle(asFade);
  static_cast<TJvFadeAlertStyleHandler*>(alert->StyleOptions())->setMaxAlphaBlendValue(240);

  // The style is chosen first: choosing it replaces the timings.
  TgwCustomDesktopAlertStyleHandler* timing = alert->StyleOptions();
  timing->setStartInterval(10);
  timing->setStartSteps(30);
  timing->setDisplayDuration(display);
  timing->setEndInterval(10);
  timing->setEndSteps(30);

  alert->setOptions(TgwDesktopAlertOptions(daoCanMove | daoCanClose));
  alert->AutoFree = true;

  TgwDesktopAlertButtonItem* pushpin = alert->Buttons().Add();
  pushpin->ImageIndex = TShowHintDM::pushpinIndex;
  pushpin->OnClick = &TDesktopAlertHelper::PushpinClick;
  return alert;
}

TgwDesktopAlert* ShowAlert(const QString& Text, const QString& Header, int Seconds, AlertKind Kind) {
  TgwDesktopAlert* alert = BuildAlert(Text, Header, Seconds, Kind);
  if (alert) alert->Popup();
  return alert;
}

TgwDesktopAlert* AlertWarning(const QString& Text, const QString& Header, int Seconds) {
  return ShowAlert(Text, Header, Seconds, AlertKind::Warning);
}

TgwDesktopAlert* AlertError(const QString& Text, const QString& Header, int Seconds) {
  return ShowAlert(Text, Header, Seconds, AlertKind::Error);
}

TgwDesktopAlert* AlertInfo(const QString& Text, const QString& Header, int Seconds) {
  return ShowAlert(Text, Header, Seconds, AlertKind::Information);
}
