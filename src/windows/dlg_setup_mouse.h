#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>

#include "engine/touch_host.h"
#include "platform/input.h"
#include "settings/settings_store.h"
#include "ui/controls.h"
#include "ui/property_sheet.h"

namespace zt {

// "Setting A", the mouse and sound page of the setup sheet: double-click
// speed, the double-click zone with its test target, the beep, and whether
// right-button emulation (with its indicator) is available. Every change
// goes into the running engine and is saved at once.
class CDlgSetupMouse : public ui::CPropertyPage {
public:
  CDlgSetupMouse(CTouchHost& host, settings::CSettingsStore& store, IInput& input,
                 std::function<void()> onRightButtonChanged);
  ~CDlgSetupMouse() override;

  // Filled from the running engine and host before the sheet opens.
  std::int32_t m_nClickZone = 0;
  std::int32_t m_bBeep = 0;
  std::int32_t m_nDuration = 0;
  std::int32_t m_nFrequency = 0;
  std::int32_t m_bRightButton = 0;

protected:
  void DoDataExchange(ui::CDataExchange& exchange) override;
  bool OnInitDialog() override;
  bool OnCommand(int id, int code, HWND control) override;
  void OnSliderReleased(int id) override;

private:
  CTouchDriver* Engine() const;
  // Changes one setting of the running engine.
  void ChangeEngine(const std::function<void(EngineSettings&)>& change);
  void UpdateClickZone();
  void SaveMouseSettings();
  void OnSpeedReleased();
  void OnFrequencyReleased();
  void OnDurationReleased();
  void OnTestDoubleClicked();
  void OnBeep();
  void OnClickZone();
  void OnRightButton();

  CTouchHost& m_host;
  settings::CSettingsStore& m_store;
  IInput& m_input;
  std::function<void()> m_onRightButtonChanged;
  ui::CSliderCtrl m_sliderFrequency;
  ui::CSliderCtrl m_sliderDuration;
  ui::CControl m_btnTest;
  ui::CSliderCtrl m_sliderSpeed;
  std::int32_t m_nTestCount = 0;
};

}  // namespace zt
