#include "windows/setup_sheet.h"

#include "ui/property_sheet.h"
#include "windows/dlg_setup_mouse.h"
#include "windows/dlg_setup_p1.h"

namespace zt {

// The pages show the values in effect in the running engine and host, not
// the registry's. OK and Cancel only close the sheet: every change has
// already been applied and saved when it was made.
void RunSetupSheet(HWND owner, CTouchHost& host, settings::CSettingsStore& store, IInput& input,
                   const std::function<void()>& onIndicatorChanged) {
  CTouchDriver* engine = host.Driver();
  if (engine == nullptr) {
    return;
  }
  ui::CPropertySheet sheet(owner);
  CDlgSetupMouse mousePage(host, store, input, onIndicatorChanged);
  CDlgSetupP1 touchModePage(host, store, onIndicatorChanged);

  const EngineSettings settings = engine->Settings();
  mousePage.m_nClickZone = settings.dZone;
  mousePage.m_bBeep = settings.beep;
  mousePage.m_nFrequency = settings.freq;
  mousePage.m_nDuration = settings.duration;
  mousePage.m_bRightButton = host.m_nRight;
  touchModePage.m_nTouchMode = settings.touchMode;
  touchModePage.m_nMapping = settings.mapping == kMappingPrecise ? 1 : 0;
  touchModePage.m_nHoldRight = settings.holdRight;
  touchModePage.m_nSmoothing = settings.smoothing;
  touchModePage.m_nOutput = settings.output;

  sheet.AddPage(mousePage);
  sheet.AddPage(touchModePage);
  sheet.DoModal();
}

}  // namespace zt
