#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "engine/port_finder.h"
#include "engine/touch_host.h"
#include "platform/input.h"
#include "platform/threads.h"
#include "settings/last_touch_record.h"
#include "settings/settings_store.h"
#include "ui/dialog.h"
#include "windows/hold_ring.h"
#include "windows/tray_icon.h"

namespace zt {

class CButtonModeWnd;

// The main window, the program's only top-level window: the port with the
// ports this machine has, Apply and Find, the commands Setting, Calibration
// and Advanced, the link's state, the tray icon and the button indicator. OK,
// Escape and the close box hide it; only IDOK (Enter with no push button
// focused) ends it, and with it the program.
class CTouchMainDlg : public ui::CDialog {
public:
  CTouchMainDlg(CTouchHost& host, settings::CSettingsStore& store, IInput& input, IThreads& threads,
                const std::string& title);
  ~CTouchMainDlg() override;

  // Enables or disables Setting, Calibration and Advanced together.
  void EnableCommands(BOOL enable);
  // Puts the icon into the tray the first time, then hides the window;
  // without an icon in the tray the window is only minimized, so that it
  // can still be reached.
  void HideToTray();
  // Makes sure the indicator exists and shows it when "Right" is on.
  BOOL ShowOrCreateButtonWnd();
  void OnCalibration();
  void OnSetting();
  void OnAdvanced();

protected:
  bool OnCreate() override;
  bool OnInitDialog() override;
  void DoDataExchange(ui::CDataExchange& exchange) override;
  bool OnCommand(int id, int code, HWND control) override;
  void OnOK() override;
  void OnTimer(UINT_PTR id) override;
  bool OnPaint() override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
  void AddAboutMenuItem();
  void OnApply();
  void OnFind();
  std::uint64_t OnImport(const std::string& path, const std::string& text);
  // Stops the engine and makes the health's last writes, as the program
  // ends; from then on nothing starts the engine again.
  void End();
  // Ends the program from outside (ZeltraTouch.exe /quit, a Restart
  // Manager's close): End(), then every window, modal ones included.
  void Quit();
  // The metrics file "Metrics" names, read again (none: no file).
  void ReadMetricsPath();
  void CompleteHealth();
  bool WriteStatus(const std::string& path);
  void OnFindDone();
  // Fills the port list anew, keeping the text in the box.
  void FillPortList();
  void OnNotifyMain(LPARAM lParam);
  // Enables the commands once the engine's port is open.
  void OnLinkStateChanged();
  void OnDisplayChange();
  // The ring round a resting finger: shown at the packed absolute point
  // over the touch monitor, or hidden.
  void OnHoldRing(WPARAM point, LPARAM ring);
  // Shows where the link stands, in the window and as the tray icon's tip;
  // without an engine: not connected.
  void ShowLinkState();
  void ShowState(const std::string& text);
  void OnAbout();

  CTouchHost& m_host;
  settings::CSettingsStore& m_store;
  IInput& m_input;
  IThreads& m_threads;
  const std::string& m_strTitle;

  std::unique_ptr<CButtonModeWnd> m_pButtonWnd;
  CPortFinder m_finder;
  CHoldRing m_holdRing;
  // A calibration asked for at start waits for the port to open.
  bool m_bCalibrateWhenConnected = false;
  // While a calibration runs the engine must stay: Apply waits, and what
  // Find found is taken once the run has ended.
  bool m_bCalibrating = false;
  bool m_bFindDoneWaiting = false;
  // Set by End(): the window may outlive it (a logoff leaves it to the
  // system), and no command may start the engine again after it.
  bool m_bEnded = false;
  std::string m_strPort;
  std::optional<CMetricsFile> m_metrics;
  settings::CLastTouchRecord m_lastTouch;
  CTrayIcon m_trayIcon;
  HICON m_hIcon;
};

}  // namespace zt
