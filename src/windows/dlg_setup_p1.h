#pragma once

#include <windows.h>

#include <cstdint>

#include "engine/touch_host.h"
#include "settings/settings_store.h"
#include "ui/property_sheet.h"

namespace zt {

// "Setting B", the touch-mode page of the setup sheet: Normal, Click On
// Touch or Click On Release. A click on a mode puts the running engine in
// it and saves it at once; the sheet's OK saves it once more.
class CDlgSetupP1 : public ui::CPropertyPage {
public:
  CDlgSetupP1(CTouchHost& host, settings::CSettingsStore& store);
  ~CDlgSetupP1() override;

  // The checked mode's index; filled from the running engine before the
  // sheet opens. A value outside 0..2 checks no mode.
  std::int32_t m_nTouchMode = 0;

protected:
  void DoDataExchange(ui::CDataExchange& exchange) override;
  bool OnCommand(int id, int code, HWND control) override;
  void OnOK() override;

private:
  void SaveTouchMode();

  CTouchHost& m_host;
  settings::CSettingsStore& m_store;
};

}  // namespace zt
