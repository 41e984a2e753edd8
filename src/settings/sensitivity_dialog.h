#pragma once

namespace zt {

class CTouchMainDlg;

// The Advanced command with a running engine: reads the controller's
// sensitivity parameters, then shows them in the sensitivity dialog.
void RunSensitivityDialog(CTouchMainDlg& mainWindow);

}  // namespace zt
