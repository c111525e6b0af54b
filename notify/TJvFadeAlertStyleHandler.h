#pragma once
// Appearing and disappearing by the window's opacity, in steps between two alpha values.
#include "notify/TgwCustomDesktopAlertStyleHandler.h"

class TJvFadeAlertStyleHandler : public TgwCustomDesktopAlertStyleHandler {
  Q_OBJECT
public:
  explicit TJvFadeAlertStyleHandler(QWidget* window);

  TJvAlertStyle Style() const override { return asFade; }
  std::uint8_t MinAlphaBlendValue() const { return m_min; }
  std::uint8_t MaxAlphaBlendValue() const { return m_max; }
  void setMinAlphaBlendValue(std::uint8_t value) { m_min = value; }
  void setMaxAlphaBlendValue(std::uint8_t value) { m_max = value; }

  void Assign(const TgwCustomDesktopAlertStyleHandler& source) override;
  void StopPhase() override;

  // The alpha value last given to the window (0 transparent, 255 opaque).
  std::uint8_t Alpha() const { return m_alpha; }

protected:
  void StartPhaseStep() override;
  void EndPhaseStep() override;
  void BeforeStartPhase() override;
  void AfterStartPhase() override;
  void BeforeEndPhase() override;
  void AfterEndPhase() override;
  virtual void ApplyAlpha(std::uint8_t value);

private:
  std::uint8_t m_min = 0;
  std::uint8_t m_max = 255;
  std::uint8_t m_alpha = 255;
};
