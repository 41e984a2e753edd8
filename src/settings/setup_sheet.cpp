#include "settings/setup_sheet.h"

#include "app/main_dialog.h"

namespace zt {

void RunSetupSheet(CTouchMainDlg& /*mainWindow*/) {}

}  // namespace zt
