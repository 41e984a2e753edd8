#include "app/touch_app.h"

#include <commctrl.h>

#include "engine/touch_host.h"
#include "windows/touch_main_dlg.h"

namespace zt {

BOOL CTouchApp::InitInstance(CTouchHost& host) {
  ReadWindowTitle();
  if (!CheckPrevInstance()) {
    return FALSE;
  }
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&controls);
  ::SystemParametersInfoA(SPI_SETCURSORS, 0, nullptr, 0);

  CTouchMainDlg mainWindow(host, m_settings, m_platform.input, m_platform.threads, m_strTitle);
  mainWindow.DoModal();
  return FALSE;
}

void CTouchApp::ReadWindowTitle() {
  m_settings.ReadWindowTitle(m_strTitle);
}

// The running instance's main window is the dialog with our caption that no
// other window owns; owned dialogs (the indicator has an empty caption) are
// passed over, so that they are never taken for it.
HWND CTouchApp::FindRunningInstance() const {
  HWND running = nullptr;
  do {
    running = ::FindWindowExA(nullptr, running, "#32770", m_strTitle.c_str());
  } while (running != nullptr && ::GetWindow(running, GW_OWNER) != nullptr);
  return running;
}

BOOL CTouchApp::CheckPrevInstance() const {
  HWND running = FindRunningInstance();
  if (running == nullptr) {
    return TRUE;
  }
  HWND popup = ::GetLastActivePopup(running);
  ::ShowWindow(running, SW_RESTORE);
  ::SetForegroundWindow(popup);
  return FALSE;
}

}  // namespace zt
