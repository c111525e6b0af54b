#pragma once
// Runs the three phases of an alert window on one timer: the start phase (appearing, in
// steps), the display phase (one long wait) and the end phase (disappearing, in steps).
// Descendants decide what a step looks like.
#include "notify/AlertTypes.h"

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <cstdint>

class TgwCustomDesktopAlertStyleHandler : public QObject {
  Q_OBJECT
public:
  explicit TgwCustomDesktopAlertStyleHandler(QWidget* window);

  virtual TJvAlertStyle Style() const = 0;

  std::uint32_t StartInterval() const { return m_startInterval; }
  std::uint32_t StartSteps() const { return m_startSteps; }
  std::uint32_t EndInterval() const { return m_endInterval; }
  std::uint32_t EndSteps() const { return m_endSteps; }
  std::uint32_t DisplayDuration() const { return m_displayDuration; }
  std::uint32_t CurrentStep() const { return m_currentStep; }

  virtual void setEndInterval(std::uint32_t value) { m_endInterval = value; }
  virtual void setEndSteps(std::uint32_t value) { m_endSteps = value == 0 ? 1 : value; }
  virtual void setStartInterval(std::uint32_t value) { m_startInterval = value; }
  virtual void setStartSteps(std::uint32_t value) { m_startSteps = value == 0 ? 1 : value; }
  void setDisplayDuration(std::uint32_t value) { m_displayDuration = value; }

  // Copies the timings (and, between handlers of one style, the style's own settings).
  virtual void Assign(const TgwCustomDesktopAlertStyleHandler& source);

  virtual void RunStartPhase();
  virtual void RunEndPhase();
  virtual void RunDisplayPhase();
  virtual void StopPhase();

  QWidget* Window() const { return m_window; }

  // The timer counts as running while enabled, also with an interval of 0, at which it
  // never ticks: a phase started then stands still until it is started again. Clicks on
  // the alert use that to hold the end phase.
  bool TimerEnabled() const { return m_timerEnabled; }
  std::uint32_t TimerInterval() const { return m_timerInterval; }
  // One tick of the running phase: what the timer calls, and what tests call instead of
  // waiting for it.
  void TimerTick();

protected:
  virtual void StartPhaseStep();
  virtual void EndPhaseStep();
  virtual void DisplayPhaseElapsed();
  virtual void BeforeStartPhase();
  virtual void AfterStartPhase() = 0;
  virtual void BeforeEndPhase() = 0;
  virtual void AfterEndPhase();

  void stopTimer();
  std::uint32_t m_currentStep = 0;

private:
  enum class Tick { None, StartStep, EndStep, DisplayElapsed };
  void startTimer(Tick tick, std::uint32_t interval);

  QTimer m_timer;
  QPointer<QWidget> m_window;
  std::uint32_t m_startSteps = 0;
  std::uint32_t m_endSteps = 0;
  std::uint32_t m_endInterval = 0;
  std::uint32_t m_startInterval = 0;
  std::uint32_t m_displayDuration = 0;
  Tick m_tick = Tick::None;
  bool m_timerEnabled = false;
  std::uint32_t m_timerInterval = 0;
};
