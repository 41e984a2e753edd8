#include "windows/dlg_setup_p1.h"

#include "resource.h"
#include "settings/setup_changes.h"

namespace zt {

CDlgSetupP1::CDlgSetupP1(CTouchHost& host, settings::CSettingsStore& store)
    : ui::CPropertyPage(IDD_SETTING_B), m_host(host), m_store(store) {}

CDlgSetupP1::~CDlgSetupP1() = default;

// While no mode is checked (a stored mode outside 0..2), reading the group
// keeps the mode as it is instead of turning it into "none".
void CDlgSetupP1::DoDataExchange(ui::CDataExchange& exchange) {
  int checked = m_nTouchMode;
  exchange.Radio(IDC_TOUCH_NORMAL, checked);
  if (!exchange.IsSaving() || checked >= 0) {
    m_nTouchMode = checked;
  }
}

bool CDlgSetupP1::OnCommand(int id, int code, HWND control) {
  switch (id) {
    case IDC_TOUCH_NORMAL:
    case IDC_TOUCH_CLICK_ON_TOUCH:
    case IDC_TOUCH_CLICK_ON_RELEASE:
      if (code == BN_CLICKED) {
        SaveTouchMode();
        return true;
      }
      break;
    default:
      break;
  }
  return ui::CPropertyPage::OnCommand(id, code, control);
}

void CDlgSetupP1::OnOK() {
  SaveTouchMode();
  ui::CPropertyPage::OnOK();
}

// When the mode cannot be saved, the engine keeps its mode and the page
// shows that mode again.
void CDlgSetupP1::SaveTouchMode() {
  UpdateData(true);
  CTouchDriver* engine = m_host.Driver();
  if (engine == nullptr) {
    return;
  }
  if (!setup::StoreTouchMode(m_store, *engine, m_nTouchMode)) {
    m_nTouchMode = engine->Settings().touchMode;
    UpdateData(false);
  }
}

}  // namespace zt
