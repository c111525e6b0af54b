#include "notify/TJvCenterGrowAlertStyleHandler.h"

#include <QRegion>

#include <cmath>

TJvCenterGrowAlertStyleHandler::TJvCenterGrowAlertStyleHandler(QWidget* window)
    : TgwCustomDesktopAlertStyleHandler(window) {
  setStartInterval(25);
  setStartSteps(10);
  setEndInterval(50);
  setEndSteps(10);
  setDisplayDuration(1400);
}

double TJvCenterGrowAlertStyleHandler::clampPercentage(double value) {
  if (std::isnan(value) || value < 0.0) return 0.0;
  if (value > 100.0) return 100.0;
  return value;
}

void TJvCenterGrowAlertStyleHandler::Assign(const TgwCustomDesktopAlertStyleHandler& source) {
  TgwCustomDesktopAlertStyleHandler::Assign(source);
  if (const auto* grow = qobject_cast<const TJvCenterGrowAlertStyleHandler*>(&source)) {
    m_max = grow->m_max;
    m_min = grow->m_min;
  }
}

void TJvCenterGrowAlertStyleHandler::StartPhaseStep() {
  ApplyGrowth(m_min + (m_max - m_min) * m_currentStep / StartSteps());
  TgwCustomDesktopAlertStyleHandler::StartPhaseStep();
}

void TJvCenterGrowAlertStyleHandler::EndPhaseStep() {
  TgwCustomDesktopAlertStyleHandler::EndPhaseStep();
  ApplyGrowth(m_max - (m_max - m_min) * m_currentStep / EndSteps());
}

void TJvCenterGrowAlertStyleHandler::BeforeStartPhase() {
  ApplyGrowth(m_min);
  TgwCustomDesktopAlertStyleHandler::BeforeStartPhase();
}

void TJvCenterGrowAlertStyleHandler::AfterStartPhase() { ApplyGrowth(m_max); }
void TJvCenterGrowAlertStyleHandler::BeforeEndPhase() { ApplyGrowth(m_max); }

void TJvCenterGrowAlertStyleHandler::AfterEndPhase() {
  ApplyGrowth(m_min);
  TgwCustomDesktopAlertStyleHandler::AfterEndPhase();
}

void TJvCenterGrowAlertStyleHandler::StopPhase() {
  stopTimer();
  ApplyGrowth(m_max);
}

QRect TJvCenterGrowAlertStyleHandler::growthRect(QSize size, double percentage) {
  // nearbyint rounds in the default mode: to nearest, halves to even.
  const int h = static_cast<int>(std::nearbyint(size.height() * percentage / 100.0));
  const int w = static_cast<int>(std::nearbyint(size.width() * percentage / 100.0));
  return QRect((size.width() - w) / 2, (size.height() - h) / 2, w, h);
}

void TJvCenterGrowAlertStyleHandler::ApplyGrowth(double percentage) {
  QWidget* window = Window();
  if (!window) return;
  m_rect = growthRect(window->size(), percentage);
  if (m_rect == window->rect()) {
    window->clearMask();
  } else if (m_rect.isEmpty()) {
    // An empty mask would mean "no mask" (all visible); a pixel outside the window hides all.
    window->setMask(QRegion(-2, -2, 1, 1));
  } else {
    window->setMask(QRegion(m_rect));
  }
  window->repaint();
}
