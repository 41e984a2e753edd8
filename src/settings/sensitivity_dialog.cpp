#include "settings/sensitivity_dialog.h"

#include "app/main_dialog.h"
#include "settings/advanced_dialog.h"
#include "settings/sensitivity_values.h"
#include "ui/message_box.h"

namespace zt {
namespace {

constexpr char kCantReadEeprom[] = "can't read eeprom data";

}  // namespace

// Waits on the user-interface thread for the controller's reply, 4.5 s at
// most; the dialog opens only with values the controller has sent.
void RunSensitivityDialog(CTouchMainDlg& mainWindow) {
  CTouchDriver* engine = mainWindow.Host().Driver();
  if (engine == nullptr) {
    return;
  }
  SensitivityParams values;
  if (!sensitivity::ReadFromController(*engine, mainWindow.Platform().threads, values)) {
    ui::AppMessageBox(mainWindow.GetSafeHwnd(), kCantReadEeprom, MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  CAdvancedDlg dialog(mainWindow.Host(), mainWindow.GetSafeHwnd());
  dialog.m_nPressure = values.pressure;
  dialog.m_nDownCount = values.downCount;
  dialog.m_nUpCount = values.upCount;
  dialog.m_nStabDelay = values.stabilizationDelay;
  dialog.DoModal();
}

}  // namespace zt
