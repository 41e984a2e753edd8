#pragma once

#include "resource.h"
#include "ui/dialog.h"

namespace zt {

// The About box: icon, version text and OK. Modal over its owner, which
// takes no input while it is open.
class CAboutDlg : public ui::CDialog {
public:
  explicit CAboutDlg(HWND owner) : ui::CDialog(IDD_ABOUTBOX, owner) {}
};

}  // namespace zt
