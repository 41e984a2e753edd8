#include "app/tray_icon.h"

#include "ui/dialog.h"

namespace zt {

LRESULT CTrayIcon::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN) {
    HWND notifyWindow = m_pNotifyDlg != nullptr ? m_pNotifyDlg->GetSafeHwnd() : nullptr;
    if (notifyWindow != nullptr) {
      ::PostMessageA(notifyWindow, kNotifyMainMessage, 0, 0);
    }
    return 0;
  }
  return COXTaskbarIcon::WindowProc(message, wParam, lParam);
}

}  // namespace zt
