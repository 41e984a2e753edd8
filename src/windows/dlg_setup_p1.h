#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "engine/touch_host.h"
#include "settings/settings_store.h"
#include "ui/property_sheet.h"

namespace zt {

// "Setting B", the touch-mode page of the setup sheet: Normal, Click On
// Touch or Click On Release, and the touch screen's monitor. A click on a
// mode puts the running engine in it and saves it at once; the sheet's OK
// saves it once more. A monitor chosen in the list, and the mapping
// (Standard: the grid, Precise), are saved and used at once; "Identify"
// shows each monitor's number on it.
class CDlgSetupP1 : public ui::CPropertyPage {
public:
  // onShownChanged runs after a change that the main window shows: the
  // monitor chosen, touch output on or off.
  CDlgSetupP1(CTouchHost& host, settings::CSettingsStore& store,
              std::function<void()> onShownChanged);
  ~CDlgSetupP1() override;

  // The checked mode's index; filled from the running engine before the
  // sheet opens. A value outside 0..2 checks no mode.
  std::int32_t m_nTouchMode = 0;
  // 0 Standard, 1 Precise; filled from the running engine.
  std::int32_t m_nMapping = 0;
  // The press-and-hold time (ms, 0 off) and the smoothing level in effect.
  std::int32_t m_nHoldRight = 0;
  std::int32_t m_nSmoothing = 0;
  std::int32_t m_nOutput = 0;  // 0 mouse, 1 touch

protected:
  void DoDataExchange(ui::CDataExchange& exchange) override;
  bool OnInitDialog() override;
  void OnDestroy() override;
  // The monitors changed while the sheet is open: listed again.
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  bool OnCommand(int id, int code, HWND control) override;
  void OnOK() override;

private:
  void SaveTouchMode();
  void FillMonitorList();
  void SaveMonitor();
  void SaveMapping();
  // The hold and smoothing lists, the values in effect selected.
  void FillTouchFeel();
  void SaveTouchFeel(int id);

  CTouchHost& m_host;
  settings::CSettingsStore& m_store;
  std::function<void()> m_onShownChanged;
  std::vector<MonitorInfo> m_monitors;  // in the list's order
};

}  // namespace zt
