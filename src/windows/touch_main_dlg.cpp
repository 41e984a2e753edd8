#include "windows/touch_main_dlg.h"

#include <new>
#include <string>

#include "engine/window_messages.h"
#include "resource.h"
#include "windows/about_dlg.h"
#include "windows/advanced_dlg.h"
#include "windows/button_mode_wnd.h"
#include "windows/calibration_dlg.h"
#include "windows/setup_sheet.h"

namespace zt {
namespace {

constexpr UINT_PTR kHideTimer = 0;
constexpr UINT kHideDelayMs = 200;
constexpr char kCantOpen[] = "Can't Open";

std::wstring LinkStateText(const LinkState* state, const char* port) {
  if (state == nullptr) {
    return L"Not connected";
  }
  if (*state == LinkState::kConnected) {
    return L"Connected";
  }
  std::wstring text = L"No touch screen on ";
  for (const char* c = port; *c != '\0'; ++c) {
    text += static_cast<wchar_t>(static_cast<unsigned char>(*c));
  }
  return *state == LinkState::kRetrying ? text + L" \u2014 retrying" : text;
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

  const bool started = m_host.StartDriver(reinterpret_cast<WindowHandle>(m_hWnd));
  if (started) {
    EnableCommands(TRUE);
    m_strPort = m_host.m_szPort;
    UpdateData(false);
  }
  const LinkState connected = LinkState::kConnected;
  ShowLinkState(started ? &connected : nullptr);
  if (!ShowOrCreateButtonWnd()) {
    return false;
  }
  if (m_host.m_nFirst == 0) {
    ::SetTimer(m_hWnd, kHideTimer, kHideDelayMs, nullptr);
  }
  if (m_host.m_nStartUpMode == 1) {
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
    case kWmNotifyMain:
      OnNotifyMain(wParam, lParam);
      result = 0;
      return true;
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
  if (id != kHideTimer) {
    ui::CDialog::OnTimer(id);
    return;
  }
  ::KillTimer(m_hWnd, kHideTimer);
  HideToTray();
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
    ::ShowWindow(indicator, m_host.m_nRight != 0 ? SW_SHOW : SW_HIDE);
  }
  return TRUE;
}

void CTouchMainDlg::OnApply() {
  UpdateData(true);
  if (!m_store.SavePort(m_strPort.c_str())) {
    return;
  }
  const LinkState connected = LinkState::kConnected;
  if (m_host.ReloadAndStart(reinterpret_cast<WindowHandle>(m_hWnd))) {
    EnableCommands(TRUE);
    ShowLinkState(&connected);
    return;
  }
  ShowLinkState(nullptr);
  EnableCommands(FALSE);
  m_strPort = kCantOpen;
  UpdateData(false);
}

void CTouchMainDlg::OnNotifyMain(WPARAM wParam, LPARAM lParam) {
  if (lParam == kNotifyShowWindow) {
    ::ShowWindow(m_hWnd, SW_SHOW);
  } else if (lParam == kNotifyLinkState && m_host.Driver() != nullptr) {
    const auto state = static_cast<LinkState>(wParam);
    ShowLinkState(&state);
  } else if (lParam == kNotifyRightClickDone && m_pButtonWnd &&
             m_pButtonWnd->GetSafeHwnd() != nullptr) {
    ::PostMessageA(m_pButtonWnd->GetSafeHwnd(), kWmResetButton, 0, 0);
  }
}

void CTouchMainDlg::ShowLinkState(const LinkState* state) {
  const std::wstring text = LinkStateText(state, m_host.m_szPort);
  ::SetDlgItemTextW(m_hWnd, IDC_MAIN_LINK_STATE, text.c_str());
  char tip[64] = {};
  ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, tip, sizeof tip - 1, "-", nullptr);
  m_trayIcon.SetTipText(tip, true);
}

void CTouchMainDlg::OnAbout() {
  CAboutDlg about(m_hWnd);
  about.DoModal();
}

// The calibration run, the setup sheet and the sensitivity dialog act on
// the running engine; without one they do nothing.
void CTouchMainDlg::OnCalibration() {
  if (m_host.Driver() != nullptr) {
    RunCalibration(m_hWnd, m_host, m_store);
  }
}

void CTouchMainDlg::OnSetting() {
  if (m_host.Driver() != nullptr) {
    RunSetupSheet(m_hWnd, m_host, m_store, m_input, [this] { ShowOrCreateButtonWnd(); });
  }
}

void CTouchMainDlg::OnAdvanced() {
  if (m_host.Driver() != nullptr) {
    RunAdvancedDlg(m_hWnd, m_host, m_threads);
  }
}

}  // namespace zt
