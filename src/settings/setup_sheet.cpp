#include "settings/setup_sheet.h"

#include "app/main_dialog.h"
#include "settings/mouse_page.h"
#include "settings/touch_mode_page.h"
#include "ui/property_sheet.h"

namespace zt {

// The pages show the values in effect in the running engine and host, not
// the registry's. OK and Cancel only close the sheet: every change has
// already been applied and saved when it was made.
void RunSetupSheet(CTouchMainDlg& mainWindow) {
  CTouchDriver* engine = mainWindow.Host().Driver();
  if (engine == nullptr) {
    return;
  }
  ui::CPropertySheet sheet(mainWindow.GetSafeHwnd());
  CDlgSetupMouse mousePage(mainWindow);
  CDlgSetupP1 touchModePage(mainWindow);

  mousePage.m_nClickZone = engine->m_nDZone.load();
  mousePage.m_bBeep = engine->m_bBeep.load();
  mousePage.m_nFrequency = engine->Freq();
  mousePage.m_nDuration = engine->Duration();
  mousePage.m_bRightButton = mainWindow.Host().m_nRight;
  touchModePage.m_nTouchMode = engine->m_nTouchMode.load();

  sheet.AddPage(mousePage);
  sheet.AddPage(touchModePage);
  sheet.DoModal();
}

}  // namespace zt
