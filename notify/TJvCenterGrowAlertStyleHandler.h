#pragma once
// Appearing and disappearing by a visible rectangle that grows from the window's centre.
#include "notify/TgwCustomDesktopAlertStyleHandler.h"

#include <QRect>

class TJvCenterGrowAlertStyleHandler : public TgwCustomDesktopAlertStyleHandler {
  Q_OBJECT
public:
  explicit TJvCenterGrowAlertStyleHandler(QWidget* window);

  TJvAlertStyle Style() const override { return asCenterGrow; }
  double MaxGrowthPercentage() const { return m_max; }
  double MinGrowthPercentage() const { return m_min; }
  // Both clamp to 0..100; a value that is not a number becomes 0.
  void setMaxGrowthPercentage(double value) { m_max = clampPercentage(value); }
  void setMinGrowthPercentage(double value) { m_min = clampPercentage(value); }

  void Assign(const TgwCustomDesktopAlertStyleHandler& source) override;
  void StopPhase() override;

  // The part of the window last left visible, in window coordinates.
  QRect GrowthRect() const { return m_rect; }
  // The visible part of a window of `size` at `percentage`: each side scaled and rounded
  // to the nearest integer, halves to even, and centred.
  static QRect growthRect(QSize size, double percentage);

protected:
  void StartPhaseStep() override;
  void EndPhaseStep() override;
  void BeforeStartPhase() override;
  void AfterStartPhase() override;
  void BeforeEndPhase() override;
  void AfterEndPhase() override;
  virtual void ApplyGrowth(double percentage);

private:
  static double clampPercentage(double value);

  double m_max = 100.0;
  double m_min = 0.0;
  QRect m_rect;
};
