#include "settings/sensitivity_dialog.h"

#include "app/main_dialog.h"

namespace zt {

void RunSensitivityDialog(CTouchMainDlg& /*mainWindow*/) {}

}  // namespace zt
