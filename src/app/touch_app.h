#pragma once

#include <windows.h>

#include <string>

#include "app/win32_platform.h"
#include "settings/settings_store.h"

namespace zt {

class CTouchHost;

// The application: reads the window title, keeps the program to one
// instance per desktop and runs the main window, whose modal loop is the
// program's whole life.
class CTouchApp {
public:
  CTouchApp() : m_settings(m_platform.registry) {}
  CTouchApp(const CTouchApp&) = delete;
  CTouchApp& operator=(const CTouchApp&) = delete;
  virtual ~CTouchApp() = default;

  // Runs the program; always false, so that the process ends afterwards.
  BOOL InitInstance(CTouchHost& host);
  void ReadWindowTitle();
  // True when no other instance runs; otherwise brings it forward.
  BOOL CheckPrevInstance() const;
  // The running instance's main window, or none.
  HWND FindRunningInstance() const;

  Win32Platform m_platform;
  settings::CSettingsStore m_settings;
  std::string m_strTitle;
};

}  // namespace zt
