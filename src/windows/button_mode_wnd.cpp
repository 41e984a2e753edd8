#include "windows/button_mode_wnd.h"

#include "engine/window_messages.h"
#include "mapping/desktop_mapping.h"
#include "resource.h"
#include "ui/win32_helpers.h"

namespace zt {
namespace {

constexpr char kLeft[] = "Left";
constexpr char kRight[] = "Right";
constexpr int kRightMargin = 30;
constexpr int kBottomMargin = 10;
constexpr UINT_PTR kResetTimer = 1;

}  // namespace

CButtonModeWnd::CButtonModeWnd(CTouchHost& host, HWND parent)
    : ui::CDialog(IDD_BUTTON_MODE, parent), m_pParentWnd(parent), m_host(host) {}

CButtonModeWnd::~CButtonModeWnd() {
  DestroyWindow();
}

void CButtonModeWnd::DoDataExchange(ui::CDataExchange& exchange) {
  exchange.Text(IDC_INDICATOR_TEXT, m_strButton);
}

// Above every window that is not topmost itself.
bool CButtonModeWnd::OnInitDialog() {
  ui::CDialog::OnInitDialog();
  Place();
  ::ShowWindow(m_hWnd, SW_SHOW);
  return true;
}

// At the bottom right of the touch screen's monitor, clear of its taskbar
// and other docked bars.
void CButtonModeWnd::Place() {
  const CTouchDriver* engine = m_host.Driver();
  const MonitorChoice choice = ChooseMonitor(m_host.Monitors().Layout(),
                                             engine != nullptr ? engine->Settings().monitor : "");
  PixelRect work = choice.monitor.work;
  if (work.IsEmpty()) {
    work = {0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
  }
  RECT outer;
  ::GetWindowRect(m_hWnd, &outer);
  const int width = outer.right - outer.left;
  const int height = outer.bottom - outer.top;
  ::SetWindowPos(m_hWnd, HWND_TOPMOST, work.right - width - ui::ScaleForDpi(m_hWnd, kRightMargin),
                 work.bottom - height - ui::ScaleForDpi(m_hWnd, kBottomMargin), width, height,
                 SWP_NOACTIVATE | SWP_NOSIZE);
}

bool CButtonModeWnd::OnMessage(UINT message, WPARAM wParam, LPARAM /*lParam*/, LRESULT& result) {
  switch (message) {
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
      OnButtonUp();
      return false;  // the default processing follows
    case kWmResetButton:
      // The notification of a right click can overtake that click's own
      // button-up, which is still waiting in the input queue (posted
      // messages come first). A timer message comes only after pending
      // input, so the release toggles first and the reset has the last word.
      ::SetTimer(m_hWnd, kResetTimer, 0, nullptr);
      result = 0;
      return true;
    case WM_TIMER:
      if (wParam != kResetTimer) {
        return false;
      }
      ::KillTimer(m_hWnd, kResetTimer);
      OnResetButton();
      result = 0;
      return true;
    default:
      return false;
  }
}

void CButtonModeWnd::OnButtonUp() {
  CTouchDriver* engine = m_host.Driver();
  if (engine == nullptr) {
    return;
  }
  if (engine->m_bRightSelected.load() != 0) {
    engine->m_bRightSelected.store(0);
    Show(kLeft);
  } else {
    engine->m_bRightSelected.store(1);
    Show(kRight);
  }
}

void CButtonModeWnd::OnResetButton() {
  if (CTouchDriver* engine = m_host.Driver()) {
    engine->m_bRightSelected.store(0);
  }
  Show(kLeft);
}

void CButtonModeWnd::Show(const char* text) {
  m_strButton = text;
  UpdateData(false);
}

}  // namespace zt
