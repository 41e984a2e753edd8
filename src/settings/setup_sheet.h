#pragma once

namespace zt {

class CTouchMainDlg;

// The Setting command with a running engine: the setup sheet, modal.
void RunSetupSheet(CTouchMainDlg& mainWindow);

}  // namespace zt
