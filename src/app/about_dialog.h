#pragma once

#include "resource.h"
#include "ui/dialog.h"

namespace zt {

// The About box: icon, version text and OK.
class CAboutDlg : public ui::CDialog {
public:
  CAboutDlg() : ui::CDialog(IDD_ABOUTBOX) {}
};

}  // namespace zt
