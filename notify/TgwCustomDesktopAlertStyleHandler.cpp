#include "notify/TgwCustomDesktopAlertStyleHandler.h"

#include <limits>

TgwCustomDesktopAlertStyleHandler::TgwCustomDesktopAlertStyleHandler(QWidget* window)
    : m_window(window) {
  connect(&m_timer, &QTimer::timeout, this, &TgwCustomDesktopAlertStyleHandler::TimerTick);
}

void TgwCustomDesktopAlertStyleHandler::Assign(const TgwCustomDesktopAlertStyleHandler& source) {
  if (&source == this) return;
  setStartInterval(source.StartInterval());
  setStartSteps(source.StartSteps());
  setEndInterval(source.EndInterval());
  setEndSteps(source.EndSteps());
  setDisplayDuration(source.DisplayDuration());
}

void TgwCustomDesktopAlertStyleHandler::startTimer(Tick tick, std::uint32_t interval) {
  m_tick = tick;
  m_timerInterval = interval;
  m_timerEnabled = true;
  if (interval == 0) return;
  const int ms = interval > static_cast<std::uint32_t>(std::numeric_limits<int>::max())
                     ? std::numeric_limits<int>::max()
                     : static_cast<int>(interval);
  m_timer.start(ms);
}

void TgwCustomDesktopAlertStyleHandler::stopTimer() {
  m_timer.stop();
  m_timerEnabled = false;
}

void TgwCustomDesktopAlertStyleHandler::TimerTick() {
  switch (m_tick) {
    case Tick::StartStep: StartPhaseStep(); break;
    case Tick::EndStep: EndPhaseStep(); break;
    case Tick::DisplayElapsed: DisplayPhaseElapsed(); break;
    case Tick::None: break;
  }
}

void TgwCustomDesktopAlertStyleHandler::RunStartPhase() {
  if (m_startSteps == 0) return;
  stopTimer();
  m_currentStep = 0;
  BeforeStartPhase();
  startTimer(Tick::StartStep, m_startInterval);
}

void TgwCustomDesktopAlertStyleHandler::RunEndPhase() {
  if (m_endSteps == 0) return;
  stopTimer();
  m_currentStep = 0;
  BeforeEndPhase();
  startTimer(Tick::EndStep, m_endInterval);
}

void TgwCustomDesktopAlertStyleHandler::RunDisplayPhase() {
  if (m_displayDuration == 0) return;
  stopTimer();
  m_currentStep = 0;
  startTimer(Tick::DisplayElapsed, m_displayDuration);
}

void TgwCustomDesktopAlertStyleHandler::StopPhase() { stopTimer(); }

void TgwCustomDesktopAlertStyleHandler::StartPhaseStep() {
  ++m_currentStep;
  if (m_currentStep >= m_startSteps) {
    stopTimer();
    AfterStartPhase();
    RunDisplayPhase();
  }
}

void TgwCustomDesktopAlertStyleHandler::EndPhaseStep() {
  ++m_currentStep;
  if (m_currentStep >= m_endSteps) {
    stopTimer();
    AfterEndPhase();
  }
}

// The window's pointer polling starts the end phase once the pointer is away, so the
// window never vanishes from under the mouse.
void TgwCustomDesktopAlertStyleHandler::DisplayPhaseElapsed() { stopTimer(); }

void TgwCustomDesktopAlertStyleHandler::BeforeStartPhase() {
  if (!m_window) return;
  if (m_window->isVisible())
    m_window->raise();
  else
    m_window->show();
}

void TgwCustomDesktopAlertStyleHandler::AfterEndPhase() {
  if (m_window) m_window->close();
}
