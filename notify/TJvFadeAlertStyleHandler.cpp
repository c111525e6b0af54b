#include "notify/TJvFadeAlertStyleHandler.h"

TJvFadeAlertStyleHandler::TJvFadeAlertStyleHandler(QWidget* window)
    : TgwCustomDesktopAlertStyleHandler(window) {
  setStartInterval(25);
  setStartSteps(10);
  setEndInterval(50);
  setEndSteps(10);
  setDisplayDuration(1400);
}

void TJvFadeAlertStyleHandler::Assign(const TgwCustomDesktopAlertStyleHandler& source) {
  TgwCustomDesktopAlertStyleHandler::Assign(source);
  if (const auto* fade = qobject_cast<const TJvFadeAlertStyleHandler*>(&source)) {
    m_min = fade->m_min;
    m_max = fade->m_max;
  }
}

// The value is taken before the step counts, so the first tick shows the minimum and the
// maximum comes with the end of the phase.
void TJvFadeAlertStyleHandler::StartPhaseStep() {
  const int range = int{m_max} - int{m_min};
  ApplyAlpha(static_cast<std::uint8_t>(
      int{m_min} + static_cast<int>(static_cast<long long>(range) * m_currentStep /
                                    static_cast<long long>(StartSteps()))));
  TgwCustomDesktopAlertStyleHandler::StartPhaseStep();
}

void TJvFadeAlertStyleHandler::EndPhaseStep() {
  TgwCustomDesktopAlertStyleHandler::EndPhaseStep();
  const int range = int{m_max} - int{m_min};
  ApplyAlpha(static_cast<std::uint8_t>(
      int{m_max} - static_cast<int>(static_cast<long long>(range) * m_currentStep /
                                    static_cast<long long>(EndSteps()))));
}

void TJvFadeAlertStyleHandler::BeforeStartPhase() {
  ApplyAlpha(m_min);
  TgwCustomDesktopAlertStyleHandler::BeforeStartPhase();
}

void TJvFadeAlertStyleHandler::AfterStartPhase() { ApplyAlpha(m_max); }
void TJvFadeAlertStyleHandler::BeforeEndPhase() { ApplyAlpha(m_max); }

void TJvFadeAlertStyleHandler::AfterEndPhase() {
  ApplyAlpha(m_min);
  TgwCustomDesktopAlertStyleHandler::AfterEndPhase();
}

void TJvFadeAlertStyleHandler::StopPhase() {
  stopTimer();
  ApplyAlpha(m_max);
}

// Window systems without per-window opacity ignore it: the window then simply shows and
// vanishes without fading.
void TJvFadeAlertStyleHandler::ApplyAlpha(std::uint8_t value) {
  QWidget* window = Window();
  if (!window) return;
  m_alpha = value;
  window->setWindowOpacity(value / 255.0);
}
