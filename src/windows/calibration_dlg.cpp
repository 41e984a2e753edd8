#include "windows/calibration_dlg.h"

#include <cstdio>

#include "engine/touch_host.h"
#include "mapping/calibration_layout.h"
#include "resource.h"
#include "settings/calibration_outcome.h"
#include "settings/setup_changes.h"
#include "ui/message_box.h"
#include "ui/win32_helpers.h"

namespace zt {
namespace {

constexpr UINT_PTR kEvaluateTimer = 0;
constexpr UINT_PTR kIdleTimer = 1;
// How often the window looks at the link while it is up.
constexpr UINT_PTR kLinkTimer = 2;
constexpr UINT kLinkCheckMs = 250;
constexpr UINT kEvaluateDelayMs = CCalibrationRun::kEvaluateDelayMs;
constexpr UINT kIdleTickMs = CCalibrationRun::kIdleTickMs;

namespace layout = calibration_layout;

COLORREF Rgb(layout::Colour colour) {
  return RGB(colour.red, colour.green, colour.blue);
}

using State = CCalibrationRun::State;

constexpr char kNotConnected[] = "The touch screen is not connected: waiting for it";

constexpr char kNotSaved[] =
    "The new calibration is used until ZeltraTouch ends, but it could not be saved.";

void PaintText(HDC dc, int x, int y, const std::string& text) {
  ::TextOutA(dc, x, y, text.c_str(), static_cast<int>(text.size()));
}

}  // namespace

CCalibrationDlg::CCalibrationDlg(CTouchHost& host, HWND owner)
    : ui::CDialog(IDD_CALIBRATION, owner), m_host(host) {}

std::optional<CCalibrationRun::Outcome> CCalibrationDlg::Outcome() const {
  return m_run ? std::optional(m_run->GetOutcome()) : std::nullopt;
}

bool CCalibrationDlg::OnCreate() {
  CTouchDriver* engine = m_host.Driver();
  if (engine == nullptr) {
    return false;
  }
  m_applied = engine->Calibration();
  TakeMonitor();
  m_run.emplace(m_applied, m_cxScreen, m_cyScreen);
  return true;
}

void CCalibrationDlg::TakeMonitor() {
  m_monitor = {};
  if (CTouchDriver* engine = m_host.Driver(); engine != nullptr) {
    engine->UpdateDesktop();
    m_monitor = engine->TouchMonitor();
  }
  if (m_monitor.IsEmpty()) {
    m_monitor = {0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
  }
  m_cxScreen = m_monitor.Width();
  m_cyScreen = m_monitor.Height();
}

void CCalibrationDlg::OnDisplayChange() {
  TakeMonitor();
  ::SetWindowPos(m_hWnd, HWND_TOPMOST, m_monitor.left, m_monitor.top, m_cxScreen, m_cyScreen, 0);
  ::KillTimer(m_hWnd, kEvaluateTimer);
  m_run->Resize(m_cxScreen, m_cyScreen);
  RestartIdleTimer();
  Follow();
}

bool CCalibrationDlg::OnInitDialog() {
  // Above every other window, over the whole of the touch screen's monitor.
  ::SetWindowPos(m_hWnd, HWND_TOPMOST, m_monitor.left, m_monitor.top, m_cxScreen, m_cyScreen, 0);
  ui::CDialog::OnInitDialog();
  ::ShowCursor(FALSE);
  m_bCursorShown = false;
  ::ShowWindow(m_hWnd, SW_SHOW);
  ::ShowWindow(m_hWnd, SW_HIDE);
  ::ShowWindow(m_hWnd, SW_SHOW);
  ::SetTimer(m_hWnd, kIdleTimer, kIdleTickMs, nullptr);
  ::SetTimer(m_hWnd, kLinkTimer, kLinkCheckMs, nullptr);
  Follow();
  return true;
}

// A link lost while the run waits for touches: the window says so, and
// the run's time-outs wait until it is back. A link that is not tried
// again ("Reconnect" 0) never comes back: the time-outs run.
void CCalibrationDlg::FollowLink() {
  const CTouchDriver* engine = m_host.Driver();
  const LinkState state = engine != nullptr ? engine->GetLinkState() : LinkState::kLost;
  const bool up = state != LinkState::kRetrying && state != LinkState::kWaiting;
  if (up != m_run->LinkUp()) {
    m_run->SetLinkUp(up);
    ::InvalidateRect(m_hWnd, nullptr, TRUE);
  }
}

void CCalibrationDlg::OnOK() {}

void CCalibrationDlg::OnCancel() {
  m_run->Escape();
  Follow();
}

bool CCalibrationDlg::OnCommand(int id, int code, HWND control) {
  if (m_run->GetState() == State::kReport) {
    switch (id) {
      case CCalibrationReport::kKeepId:
        m_run->Keep(m_report.Ticked());
        break;
      case CCalibrationReport::kRedoId:
        m_run->Redo();
        break;
      case CCalibrationReport::kCancelId:
        m_run->Cancel();
        break;
      default:
        m_run->TouchOnReport();
        return ui::CDialog::OnCommand(id, code, control);
    }
    Follow();
    return true;
  }
  return ui::CDialog::OnCommand(id, code, control);
}

void CCalibrationDlg::Follow() {
  if (CTouchDriver* engine = m_host.Driver(); engine != nullptr && m_run->Live() != m_applied) {
    engine->UseCalibration(m_run->Live());
    m_applied = m_run->Live();
  }
  const State state = m_run->GetState();
  if (state == State::kEnded) {
    ::KillTimer(m_hWnd, kIdleTimer);
    ::KillTimer(m_hWnd, kEvaluateTimer);
    ::KillTimer(m_hWnd, kLinkTimer);
    ui::CDialog::OnOK();
    return;
  }
  const bool report = state == State::kReport;
  if (report && !m_report.IsShown()) {
    m_report.Show(m_hWnd, m_run->Report(), m_cxScreen, m_cyScreen);
    RestartIdleTimer();
  } else if (!report && m_report.IsShown()) {
    m_report.Destroy();
  }
  if (report != m_bCursorShown) {
    ::ShowCursor(report ? TRUE : FALSE);
    m_bCursorShown = report;
  }
  ::InvalidateRect(m_hWnd, nullptr, TRUE);
}

void CCalibrationDlg::OnDestroy() {
  if (!m_bCursorShown) {
    ::ShowCursor(TRUE);
  }
}

bool CCalibrationDlg::OnMessage(UINT message, WPARAM wParam, LPARAM, LRESULT&) {
  switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:  // a quick second touch on the same spot
      OnButtonDown();
      break;
    case WM_MOUSEMOVE:
      OnMouseMove();
      break;
    case WM_LBUTTONUP:
      OnButtonUp();
      break;
    case WM_DISPLAYCHANGE:
      OnDisplayChange();
      break;
    case WM_PARENTNOTIFY:  // a touch on one of the report's controls
      if (LOWORD(wParam) == WM_LBUTTONDOWN) {
        m_run->TouchOnReport();
      }
      break;
    default:
      break;
  }
  return false;
}

bool CCalibrationDlg::TakeRawPoint(IntPoint& raw) const {
  const CTouchDriver* engine = m_host.Driver();
  if (engine == nullptr) {
    return false;
  }
  raw = engine->GetRawPoint();
  return true;
}

void CCalibrationDlg::OnButtonDown() {
  IntPoint raw;
  m_run->TouchOnReport();
  if (!TakeRawPoint(raw) || !m_run->ButtonDown(raw)) {
    return;
  }
  RestartIdleTimer();
  ::SetTimer(m_hWnd, kEvaluateTimer, kEvaluateDelayMs, nullptr);
  Follow();
}

void CCalibrationDlg::OnMouseMove() {
  IntPoint raw;
  if (TakeRawPoint(raw) && m_run->Move(raw)) {
    RestartIdleTimer();
  }
}

// Sampling stops; the target turns green at the next redraw, and the
// touch is still judged 1.5 s after its button-down.
void CCalibrationDlg::OnButtonUp() {
  if (m_run->Release()) {
    RestartIdleTimer();
  }
}

void CCalibrationDlg::OnTimer(UINT_PTR id) {
  if (id == kLinkTimer) {
    FollowLink();
    return;
  }
  FollowLink();
  if (id == kEvaluateTimer) {
    ::KillTimer(m_hWnd, kEvaluateTimer);
    RestartIdleTimer();
    m_run->Evaluate();
  } else if (id == kIdleTimer) {
    m_run->IdleTick();
  }
  Follow();
}

void CCalibrationDlg::RestartIdleTimer() {
  ::KillTimer(m_hWnd, kIdleTimer);
  ::SetTimer(m_hWnd, kIdleTimer, kIdleTickMs, nullptr);
}

bool CCalibrationDlg::OnPaint() {
  PAINTSTRUCT paint;
  HDC dc = ::BeginPaint(m_hWnd, &paint);
  if (m_run->GetState() != State::kReport) {
    DrawTarget(dc);
  }
  DrawTexts(dc);
  ::EndPaint(m_hWnd, &paint);
  return true;
}

// A circle of 40 pixels, blue while a touch is held and green otherwise
// (orange for a check target asked again),
// outlined in black, with a cross-hair reaching 3 pixels beyond it.
void CCalibrationDlg::DrawTarget(HDC dc) const {
  HBRUSH held = ::CreateSolidBrush(Rgb(layout::kHeld));
  HBRUSH waiting = ::CreateSolidBrush(Rgb(m_run->AskedAgain() ? layout::kAgain : layout::kWaiting));
  HPEN outline = ::CreatePen(PS_SOLID, 1, Rgb(layout::kInk));
  HGDIOBJ oldBrush = ::SelectObject(dc, m_run->Held() ? held : waiting);
  HGDIOBJ oldPen = ::SelectObject(dc, outline);

  const IntPoint centre = m_run->Target();
  const int radius = ui::ScaleForDpi(m_hWnd, layout::kTargetRadius);
  const int cross = ui::ScaleForDpi(m_hWnd, layout::kCrossHalfLength);
  ::Ellipse(dc, centre.x - radius, centre.y - radius, centre.x + radius, centre.y + radius);
  ::MoveToEx(dc, centre.x - cross, centre.y, nullptr);
  ::LineTo(dc, centre.x + cross, centre.y);
  ::MoveToEx(dc, centre.x, centre.y - cross, nullptr);
  ::LineTo(dc, centre.x, centre.y + cross);

  ::SelectObject(dc, oldPen);
  ::SelectObject(dc, oldBrush);
  ::DeleteObject(outline);
  ::DeleteObject(waiting);
  ::DeleteObject(held);
}

// The step under the centre and the idle countdown below it (on the report,
// the countdown below its buttons), in the device context's default font.
void CCalibrationDlg::DrawTexts(HDC dc) const {
  ::SetTextColor(dc, Rgb(layout::kInk));
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextAlign(dc, TA_LEFT | TA_TOP);
  const int middleX = m_cxScreen / 2;
  const int middleY = m_cyScreen / 2;
  const bool report = m_run->GetState() == State::kReport;
  if (!report) {
    char step[32];
    std::snprintf(step, sizeof step, "%s%d", m_run->GetState() == State::kCheck ? "Check" : "Step",
                  m_run->Step());
    PaintText(dc, middleX, middleY + ui::ScaleForDpi(m_hWnd, layout::kStepTextDown), step);
  }
  char countdown[48];
  std::snprintf(countdown, sizeof countdown, "Timeout Count %d sec", m_run->SecondsLeft());
  const int down = report ? layout::kReportCountdownDown : layout::kCountdownDown;
  const int below = middleY + ui::ScaleForDpi(m_hWnd, down);
  if (m_run->LinkUp()) {
    PaintText(dc, middleX - ui::ScaleForDpi(m_hWnd, layout::kCountdownLeft), below, countdown);
  } else {
    ::SetTextAlign(dc, TA_CENTER | TA_TOP);
    PaintText(dc, middleX, below, kNotConnected);
  }
}

// The owner stays disabled while the window is up, so that none of its
// commands can start another run or replace the engine.
void RunCalibration(HWND owner, CTouchHost& host, settings::CSettingsStore& store) {
  CTouchDriver* engine = host.Driver();
  if (engine == nullptr) {
    return;
  }
  // A button a finger holds would stay down under the window's targets;
  // the run takes touches as they are read, whatever press-and-hold and
  // smoothing say.
  engine->ReleaseTouch();
  engine->SetPlainTouches(true);
  CCalibrationDlg dialog(host, owner);
  dialog.DoModal();
  // The program may have ended while the window was up (a logoff, a
  // quit): its engine is gone then.
  if (host.Driver() != engine) {
    return;
  }
  engine->SetPlainTouches(false);
  const std::optional<CCalibrationRun::Outcome> outcome = dialog.Outcome();
  if (!outcome) {
    return;
  }
  if (!settings::KeepCalibrationOutcome(*engine, store, *outcome)) {
    ui::AppMessageBox(owner, kNotSaved, MB_OK | MB_ICONWARNING);
  }
}

}  // namespace zt
