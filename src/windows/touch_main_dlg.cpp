#include "windows/touch_main_dlg.h"

#include <shlobj.h>

#include <algorithm>
#include <fstream>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "engine/window_messages.h"
#include "mapping/desktop_mapping.h"
#include "resource.h"
#include "settings/serial_ports.h"
#include "settings/settings_file.h"
#include "windows/about_dlg.h"
#include "windows/advanced_dlg.h"
#include "windows/button_mode_wnd.h"
#include "windows/calibration_dlg.h"
#include "windows/setup_sheet.h"
#include "windows/state_line_text.h"

namespace zt {
namespace {

constexpr UINT_PTR kHideTimer = 0;
constexpr UINT kHideDelayMs = 200;
// The health figures are completed and the metrics file brought up to date
// this often.
constexpr UINT_PTR kHealthTimer = 1;
constexpr UINT kHealthPeriodMs = 1000;
// How much of a text that is not a port name the state line repeats.
constexpr std::size_t kPortTextShown = 12;

std::wstring FromUtf8(const std::string& text) {
  const int length = ::MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 1), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, wide.data(), length);
  wide.resize(wide.size() - 1);
  return wide;
}

// Where the link stands and, when the chosen monitor is not there, where
// touches go instead.
std::string StateText(const CTouchDriver* engine, const char* port) {
  if (engine == nullptr) {
    return "Not connected";
  }
  std::string text = LinkStateText(engine->GetLinkState(), port);
  if (!engine->TouchMonitorFound()) {
    text += "; " + engine->Settings().monitor + " gone, using the primary monitor";
  }
  if (engine->TouchOutputMissing()) {
    text += "; Touch output not available; using the mouse";
  }
  return text;
}

// The one folder the metrics file may be in: the setup's, which only
// administrators own. Any user may set Metrics=, and the program writes as
// whoever is logged on, so a file elsewhere could be that user's own.
std::string MetricsFolder() {
  char programData[MAX_PATH] = {};
  if (FAILED(::SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT,
                                programData))) {
    return "C:\\ProgramData\\ZeltraTouch\\metrics";
  }
  return std::string(programData) + "\\ZeltraTouch\\metrics";
}

HICON LoadAppIcon() {
  return ::LoadIconA(::GetModuleHandleA(nullptr),
                     reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(IDR_MAINFRAME)));
}

}  // namespace

CTouchMainDlg::CTouchMainDlg(CTouchHost& host, settings::CSettingsStore& store, IInput& input,
                             IThreads& threads, const std::string& title)
    : ui::CDialog(IDD_MAIN),
      m_host(host),
      m_store(store),
      m_input(input),
      m_threads(threads),
      m_strTitle(title),
      m_finder(host.Platform().comm, host.Platform().threads, host.Platform().messages),
      m_lastTouch(store.Registry(), host.Platform().log),
      m_hIcon(LoadAppIcon()) {
  m_trayIcon.CreateIconWindow(0);
  m_trayIcon.SetNotifyDialog(this);
}

CTouchMainDlg::~CTouchMainDlg() = default;

bool CTouchMainDlg::OnCreate() {
  return m_host.LoadStartupSettings();
}

bool CTouchMainDlg::OnInitDialog() {
  ui::CDialog::OnInitDialog();
  AddAboutMenuItem();
  ::SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
  ::SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
  ::SetWindowTextA(m_hWnd, m_strTitle.c_str());

  m_strPort = m_host.m_szPort;
  FillPortList();
  UpdateData(false);
  if (CHealth* health = m_host.Platform().health) {
    health->RestoreLastTouch(m_lastTouch.Load(UnixNow()));
  }
  m_host.StartDriver(reinterpret_cast<WindowHandle>(m_hWnd));
  EnableCommands(m_host.ConnectedDriver() != nullptr ? TRUE : FALSE);
  ShowLinkState();
  ReadMetricsPath();
  ::SetTimer(m_hWnd, kHealthTimer, kHealthPeriodMs, nullptr);
  if (!ShowOrCreateButtonWnd()) {
    return false;
  }
  if (m_host.m_nFirst == 0) {
    ::SetTimer(m_hWnd, kHideTimer, kHideDelayMs, nullptr);
  }
  if (m_host.m_nStartUpMode == 1) {
    m_bCalibrateWhenConnected = m_host.ConnectedDriver() == nullptr;
    OnCalibration();
  }
  return true;
}

void CTouchMainDlg::AddAboutMenuItem() {
  HMENU systemMenu = ::GetSystemMenu(m_hWnd, FALSE);
  if (systemMenu == nullptr) {
    return;
  }
  char text[256] = {};
  if (::LoadStringA(::GetModuleHandleA(nullptr), IDS_ABOUTBOX, text, sizeof text) > 0) {
    ::AppendMenuA(systemMenu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuA(systemMenu, MF_STRING, IDM_ABOUTBOX, text);
  }
}

void CTouchMainDlg::DoDataExchange(ui::CDataExchange& exchange) {
  exchange.ComboText(IDC_MAIN_PORT, m_strPort);
}

bool CTouchMainDlg::OnCommand(int id, int code, HWND control) {
  switch (id) {
    case IDC_MAIN_OK:
      HideToTray();
      return true;
    case IDCANCEL:
      if (code != 0) {
        break;
      }
      HideToTray();
      return true;
    case IDC_MAIN_APPLY:
      OnApply();
      return true;
    case IDC_MAIN_FIND:
      OnFind();
      return true;
    case IDC_MAIN_PORT:
      if (code == CBN_DROPDOWN) {
        FillPortList();
      }
      break;
    case IDC_MAIN_CALIBRATION:
      OnCalibration();
      return true;
    case IDC_MAIN_SETTING:
      OnSetting();
      return true;
    case IDC_MAIN_ADVANCED:
      OnAdvanced();
      return true;
    default:
      break;
  }
  return ui::CDialog::OnCommand(id, code, control);
}

bool CTouchMainDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  switch (message) {
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == IDM_ABOUTBOX) {
        OnAbout();
        result = 0;
        return true;
      }
      return false;
    case WM_QUERYDRAGICON:
      result = reinterpret_cast<LRESULT>(m_hIcon);
      return true;
    case WM_DISPLAYCHANGE:
      OnDisplayChange();
      return false;
    case kWmNotifyMain:
      OnNotifyMain(lParam);
      result = 0;
      return true;
    // A logoff or shutdown: the process may be ended as soon as this
    // returns, so the program ends here as on IDOK; the window is left to
    // the system. A Restart Manager's close (ENDSESSION_CLOSEAPP) expects
    // the program to end itself.
    case WM_ENDSESSION:
      if (wParam != FALSE) {
        End();
        if ((static_cast<DWORD>(lParam) & ENDSESSION_CLOSEAPP) != 0) {
          Quit();
        }
      }
      result = 0;
      return true;
    case kWmHoldRing:
      OnHoldRing(wParam, lParam);
      result = 0;
      return true;
    case WM_COPYDATA: {
      const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
      if (data == nullptr || data->lpData == nullptr ||
          (data->dwData != kCopyDataImportSettings && data->dwData != kCopyDataStatus &&
           data->dwData != kCopyDataQuit)) {
        return false;
      }
      if (data->dwData == kCopyDataQuit) {
        Quit();
        result = 1;
        return true;
      }
      // A path, then (for an import) a NUL and the file's text.
      const std::string sent(static_cast<const char*>(data->lpData), data->cbData);
      const auto nul = std::min(sent.find('\0'), sent.size());
      const std::string path = sent.substr(0, nul);
      if (data->dwData == kCopyDataStatus) {
        result = WriteStatus(path) ? 1 : 0;
      } else {
        result =
            static_cast<LRESULT>(OnImport(path, nul < sent.size() ? sent.substr(nul + 1) : ""));
      }
      return true;
    }
    default:
      return false;
  }
}

bool CTouchMainDlg::OnPaint() {
  if (!::IsIconic(m_hWnd)) {
    return false;
  }
  PAINTSTRUCT paint;
  HDC dc = ::BeginPaint(m_hWnd, &paint);
  ::SendMessageA(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  RECT client;
  ::GetClientRect(m_hWnd, &client);
  const int x = (client.right - client.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
  const int y = (client.bottom - client.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
  ::DrawIcon(dc, x, y, m_hIcon);
  ::EndPaint(m_hWnd, &paint);
  return true;
}

void CTouchMainDlg::OnTimer(UINT_PTR id) {
  if (id == kHealthTimer) {
    CompleteHealth();
    if (m_metrics && m_host.Platform().health != nullptr) {
      m_metrics->Update(*m_host.Platform().health, UnixNow());
    }
    if (m_host.Platform().health != nullptr) {
      m_lastTouch.Update(m_host.Platform().health->Figures().lastTouch, UnixNow());
    }
    return;
  }
  if (id != kHideTimer) {
    ui::CDialog::OnTimer(id);
    return;
  }
  ::KillTimer(m_hWnd, kHideTimer);
  HideToTray();
}

void CTouchMainDlg::OnOK() {
  End();
  ui::CDialog::OnOK();
}

// The end of the program: Find and the engine end side by side, each
// within its bound (a finger down is lifted), then the health's last
// writes. The health timer goes first, so that nothing writes the figures
// of a running program after them.
void CTouchMainDlg::End() {
  if (std::exchange(m_bEnded, true)) {
    return;
  }
  ::KillTimer(m_hWnd, kHealthTimer);
  m_finder.RequestStop();
  m_host.StopDriver();
  m_finder.Stop();
  if (m_metrics && m_host.Platform().health != nullptr) {
    m_metrics->WriteStopped(*m_host.Platform().health);
  }
  if (m_host.Platform().health != nullptr) {
    m_lastTouch.Flush(m_host.Platform().health->Figures().lastTouch);
  }
}

// A modal window up (a calibration, the setup sheet) runs its own message
// loop: the quit message ends it and every loop below it.
void CTouchMainDlg::Quit() {
  End();
  ui::CDialog::OnOK();
  ::PostQuitMessage(0);
}

void CTouchMainDlg::EnableCommands(BOOL enable) {
  EnableItem(IDC_MAIN_SETTING, enable != FALSE);
  EnableItem(IDC_MAIN_CALIBRATION, enable != FALSE);
  EnableItem(IDC_MAIN_ADVANCED, enable != FALSE);
}

void CTouchMainDlg::HideToTray() {
  if (!m_trayIcon.IsInTray()) {
    m_trayIcon.SetIconFromResourceId(IDR_MAINFRAME, true);
    m_trayIcon.AddToTray();
  }
  ::ShowWindow(m_hWnd, m_trayIcon.IsInTray() ? SW_HIDE : SW_MINIMIZE);
}

BOOL CTouchMainDlg::ShowOrCreateButtonWnd() {
  if (!m_pButtonWnd) {
    m_pButtonWnd.reset(new (std::nothrow) CButtonModeWnd(m_host, m_hWnd));
    if (!m_pButtonWnd) {
      return FALSE;
    }
    if (!m_pButtonWnd->Create()) {
      return TRUE;
    }
  }
  HWND indicator = m_pButtonWnd->GetSafeHwnd();
  if (indicator != nullptr) {
    m_pButtonWnd->Place();
    ::ShowWindow(indicator, m_host.m_nRight != 0 ? SW_SHOW : SW_HIDE);
  }
  return TRUE;
}

// The port box holds a port name and nothing else: a text that is not one
// is never stored, and where the link stands goes to the state line (a
// Find under way goes on). A port that cannot be saved (a key the user may
// not write) changes nothing: the state line says so, and the box shows
// the port in use again.
void CTouchMainDlg::OnApply() {
  if (m_bCalibrating || m_bEnded) {
    return;
  }
  UpdateData(true);
  if (!IsPortName(m_strPort)) {
    ShowState(kNotAPortName + m_strPort.substr(0, kPortTextShown));
    return;
  }
  // Find and the engine end side by side, each within its bound.
  m_finder.RequestStop();
  SetItemText(IDC_MAIN_FIND, "Find");
  if (!m_store.SavePort(m_strPort.c_str())) {
    m_finder.Stop();
    ShowState(kPortNotSaved + m_strPort.substr(0, kPortTextShown) + kStillOn + m_host.m_szPort);
    m_strPort = m_host.m_szPort;
    UpdateData(false);
    return;
  }
  m_host.ReloadAndStart(reinterpret_cast<WindowHandle>(m_hWnd));
  m_finder.Stop();
  ShowLinkState();
  ShowOrCreateButtonWnd();
  EnableCommands(m_host.ConnectedDriver() != nullptr ? TRUE : FALSE);
}

// A settings file another instance was started with: checked again, stored
// whole and then taken in place by an engine connected on the stored port
// (a finger down keeps its touch), or as Apply takes a port (the engine
// restarts on the stored settings). Refused while a calibration runs, as Apply waits then;
// not stored also when the engine did not start again on what was stored.
// The answer is settings::ImportAnswer's.
std::uint64_t CTouchMainDlg::OnImport(const std::string& path, const std::string& text) {
  const settings::SettingsFile file =
      settings::ReadSettingsFile(text, path, settings::FilePlatform::kWindows);
  if (m_bCalibrating || m_bEnded || !file.errors.empty()) {
    return 0;
  }
  m_finder.RequestStop();
  SetItemText(IDC_MAIN_FIND, "Find");
  const settings::ApplyOutcome outcome = settings::ApplySettingsFile(m_store.Registry(), file);
  if (!outcome.stored) {
    m_finder.Stop();
    ShowState(std::string(kSettingsNotImported) + "; " + settings::ApplyFailureText(outcome));
    CEventReporter* events = m_host.Platform().events;
    if (events != nullptr && !outcome.notRestored.empty()) {
      events->OnSettingsImportedInPart(path, settings::ApplyFailureText(outcome));
    }
    return settings::ImportAnswer(file, outcome);
  }
  if (CEventReporter* events = m_host.Platform().events) {
    events->OnSettingsImported(path);
  }
  const bool started = m_host.ReloadAndApply(reinterpret_cast<WindowHandle>(m_hWnd));
  m_finder.Stop();
  ReadMetricsPath();
  m_strPort = m_host.m_szPort;
  UpdateData(false);
  ShowLinkState();
  ShowOrCreateButtonWnd();
  EnableCommands(m_host.ConnectedDriver() != nullptr ? TRUE : FALSE);
  return started ? settings::kImportStored : 0;
}

void CTouchMainDlg::ReadMetricsPath() {
  const EnginePlatform& platform = m_host.Platform();
  if (platform.files != nullptr) {
    FollowMetricsSetting(m_metrics, m_store.ReadTextValue(settings::kMetrics),
                         {*platform.files, MetricsFolder(), platform.log, platform.events});
  }
}

// What the engine does not count itself: the output in use and when the
// calibration was stored, with their events.
void CTouchMainDlg::CompleteHealth() {
  CHealth* health = m_host.Platform().health;
  if (health == nullptr) {
    return;
  }
  const CTouchDriver* engine = m_host.Driver();
  const bool touchAsked = engine != nullptr && engine->Settings().output == kOutputTouch;
  health->SetTouchOutput(touchAsked && !engine->TouchOutputMissing());
  health->SetCalibrationStored(m_store.CalibrationStored());
  if (CEventReporter* events = m_host.Platform().events) {
    events->OnTouchOutputRefused(touchAsked && engine->TouchOutputMissing());
    events->OnCalibrationStored(m_store.CalibrationStored());
  }
}

// The health figures as JSON, into the file ZeltraTouch.exe /status named.
bool CTouchMainDlg::WriteStatus(const std::string& path) {
  CompleteHealth();
  const CHealth* health = m_host.Platform().health;
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << StatusJson(health != nullptr ? health->Figures() : HealthFigures{});
  file.close();
  return static_cast<bool>(file);
}

// Looks for the touch screen on the listed ports but the engine's own;
// pressed again while looking, stops. With no other port to look on, the
// link's state stays.
void CTouchMainDlg::OnFind() {
  if (m_bEnded) {
    return;
  }
  if (m_finder.IsLooking()) {
    m_finder.Stop();
    SetItemText(IDC_MAIN_FIND, "Find");
    ShowLinkState();
    return;
  }
  UpdateData(true);
  std::vector<std::string> ports = settings::ListSerialPorts(m_store.Registry(), m_host.m_szPort);
  if (m_host.Driver() != nullptr) {
    std::erase_if(ports,
                  [&](const std::string& port) { return IsSamePort(port, m_host.m_szPort); });
  }
  if (!m_finder.Start(ports, reinterpret_cast<WindowHandle>(m_hWnd))) {
    if (m_host.Driver() != nullptr) {
      ShowLinkState();
    } else {
      ShowState(kNoTouchScreenFound);
    }
    return;
  }
  SetItemText(IDC_MAIN_FIND, "Stop");
  ShowState(FindingText(ports));
}

// The port that answered is stored and started as Apply does. None: the
// link's state where the engine is connected (it may have connected while
// Find looked), else that nothing was found, with where the link stands.
void CTouchMainDlg::OnFindDone() {
  if (m_bEnded) {
    return;
  }
  if (m_bCalibrating) {
    m_bFindDoneWaiting = true;
    return;
  }
  std::string found;
  if (!m_finder.TakeResult(found)) {
    return;
  }
  SetItemText(IDC_MAIN_FIND, "Find");
  if (found.empty()) {
    const CTouchDriver* engine = m_host.Driver();
    const std::string state = StateText(engine, m_host.m_szPort);
    if (m_host.ConnectedDriver() != nullptr) {
      ShowState(state);
    } else {
      ShowState(engine != nullptr ? std::string(kNoTouchScreenFound) + "; " + state
                                  : std::string(kNoTouchScreenFound));
    }
    return;
  }
  m_strPort = found;
  UpdateData(false);
  OnApply();
}

void CTouchMainDlg::FillPortList() {
  HWND box = GetItem(IDC_MAIN_PORT);
  std::string text = m_strPort;
  if (box != nullptr) {
    char typed[CSerialConfig::kPortNameSize] = {};
    ::GetWindowTextA(box, typed, sizeof typed);
    text = typed;
  }
  const std::string stored = m_host.m_szPort;
  ::SendMessageA(box, CB_RESETCONTENT, 0, 0);
  for (const std::string& port : settings::ListSerialPorts(m_store.Registry(), stored)) {
    ::SendMessageA(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(port.c_str()));
  }
  ::SetWindowTextA(box, text.c_str());
}

void CTouchMainDlg::OnNotifyMain(LPARAM lParam) {
  if (lParam == kNotifyShowWindow) {
    ::ShowWindow(m_hWnd, SW_SHOW);
  } else if (lParam == kNotifyLinkState) {
    OnLinkStateChanged();
  } else if (lParam == kNotifyFindDone) {
    OnFindDone();
  } else if (lParam == kNotifyRightClickDone && m_pButtonWnd &&
             m_pButtonWnd->GetSafeHwnd() != nullptr) {
    ::PostMessageA(m_pButtonWnd->GetSafeHwnd(), kWmResetButton, 0, 0);
  }
}

void CTouchMainDlg::OnLinkStateChanged() {
  if (!m_finder.IsLooking()) {
    ShowLinkState();
  }
  const bool connected = m_host.ConnectedDriver() != nullptr;
  EnableCommands(connected ? TRUE : FALSE);
  if (!connected) {
    return;
  }
  if (m_bCalibrateWhenConnected) {
    m_bCalibrateWhenConnected = false;
    OnCalibration();
  }
}

void CTouchMainDlg::ShowLinkState() {
  ShowState(StateText(m_host.Driver(), m_host.m_szPort));
}

void CTouchMainDlg::ShowState(const std::string& text) {
  const std::wstring wide = FromUtf8(text);
  ::SetDlgItemTextW(m_hWnd, IDC_MAIN_LINK_STATE, wide.c_str());
  const std::wstring tipWide = FromUtf8(CutAtWord(text, kTipLength));
  char tip[kTipLength + 1] = {};
  ::WideCharToMultiByte(CP_ACP, 0, tipWide.c_str(), -1, tip, sizeof tip - 1, "-", nullptr);
  m_trayIcon.SetTipText(tip, true);
}

// A resolution changed, a monitor came or went: touches follow.
void CTouchMainDlg::OnDisplayChange() {
  if (m_host.Driver() != nullptr) {
    m_host.Driver()->DisplayChanged();
    ShowOrCreateButtonWnd();
  }
  ShowLinkState();
}

void CTouchMainDlg::OnHoldRing(WPARAM point, LPARAM ring) {
  const CTouchDriver* engine = m_host.Driver();
  if (ring == kRingHidden || engine == nullptr) {
    m_holdRing.Hide();
    return;
  }
  if (ring == kRingArmed) {
    m_holdRing.Arm();
    return;
  }
  const IntPoint pixel =
      MonitorPixel(engine->TouchMonitor(), static_cast<std::int32_t>(point & 0xFFFF),
                   static_cast<std::int32_t>((point >> 16) & 0xFFFF));
  m_holdRing.Show({pixel.x, pixel.y}, RingHoldMs(ring));  // the touch's own, not today's setting
}

void CTouchMainDlg::OnAbout() {
  CAboutDlg about(m_hWnd);
  about.DoModal();
}

// The calibration run, the setup sheet and the sensitivity dialog act on
// the running engine; without one they do nothing.
void CTouchMainDlg::OnCalibration() {
  if (m_host.ConnectedDriver() == nullptr || m_bCalibrating || m_bEnded) {
    return;
  }
  m_bCalibrating = true;
  RunCalibration(m_hWnd, m_host, m_store);
  m_bCalibrating = false;
  if (std::exchange(m_bFindDoneWaiting, false)) {
    OnFindDone();
  }
}

void CTouchMainDlg::OnSetting() {
  if (m_host.ConnectedDriver() != nullptr && !m_bEnded) {
    RunSetupSheet(m_hWnd, m_host, m_store, m_input, [this] {
      ShowOrCreateButtonWnd();
      ShowLinkState();
    });
  }
}

void CTouchMainDlg::OnAdvanced() {
  if (m_host.ConnectedDriver() != nullptr && !m_bEnded) {
    RunAdvancedDlg(m_hWnd, m_host, m_threads);
  }
}

}  // namespace zt
