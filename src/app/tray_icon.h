// The program's tray icon: a press of either mouse button on it asks the
// main window to show itself.
#pragma once

#include "app/taskbar_icon.h"

namespace zt {

namespace ui {
class CDialog;
}

// Posted to the notify dialog with wParam 0 and lParam 0 when the icon is
// pressed: "show the main window".
constexpr UINT kNotifyMainMessage = WM_USER + 10;

class CTrayIcon : public COXTaskbarIcon {
public:
  // The dialog whose window is told of presses. Its window may come later
  // than this call; the handle is taken at each press.
  void SetNotifyDialog(const ui::CDialog* dialog) { m_pNotifyDlg = dialog; }

protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  const ui::CDialog* m_pNotifyDlg = nullptr;
};

}  // namespace zt
