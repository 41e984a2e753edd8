#include "windows/calibration_dlg.h"

#include <cstdio>

#include "engine/touch_host.h"
#include "resource.h"
#include "settings/setup_changes.h"
#include "ui/win32_helpers.h"

namespace zt {
namespace {

constexpr UINT_PTR kEvaluateTimer = 0;
constexpr UINT kEvaluateDelayMs = 1500;
constexpr UINT_PTR kIdleTimer = 1;
constexpr UINT kIdleTickMs = 1000;

constexpr int kTargetRadius = 20;
constexpr int kCrossHalfLength = 23;
constexpr int kStepTextDown = 22;
constexpr int kCountdownLeft = 60;
constexpr int kCountdownDown = 40;

// RGB without its casts.
constexpr COLORREF Rgb(unsigned red, unsigned green, unsigned blue) {
  return red | (green << 8) | (blue << 16);
}

constexpr COLORREF kHeldColour = Rgb(0, 0, 255);
constexpr COLORREF kWaitingColour = Rgb(0, 255, 0);
constexpr COLORREF kAgainColour = Rgb(255, 160, 0);  // a check target missed once
constexpr COLORREF kOutlineColour = Rgb(0, 0, 0);

std::string StepText(const char* name, int step) {
  char text[32];
  std::snprintf(text, sizeof text, "%s%d", name, step);
  return text;
}

void PaintText(HDC dc, int x, int y, const std::string& text) {
  ::TextOutA(dc, x, y, text.c_str(), static_cast<int>(text.size()));
}

}  // namespace

CCalibrationDlg::CCalibrationDlg(CTouchHost& host, HWND owner)
    : ui::CDialog(IDD_CALIBRATION, owner), m_host(host), m_strStep(StepText("Step", 0)) {}

// The monitor that touches go to; the primary screen without an engine.
bool CCalibrationDlg::OnCreate() {
  CTouchDriver* engine = m_host.Driver();
  if (engine != nullptr) {
    engine->UpdateDesktop();
    m_monitor = engine->TouchMonitor();
  }
  if (m_monitor.IsEmpty()) {
    m_monitor = {0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
  }
  m_cxScreen = m_monitor.Width();
  m_cyScreen = m_monitor.Height();
  return true;
}

bool CCalibrationDlg::OnInitDialog() {
  // Above every other window, over the whole of the touch screen's monitor.
  ::SetWindowPos(m_hWnd, HWND_TOPMOST, m_monitor.left, m_monitor.top, m_cxScreen, m_cyScreen, 0);
  ui::CDialog::OnInitDialog();
  ::ShowCursor(FALSE);
  ::ShowWindow(m_hWnd, SW_SHOW);
  ::ShowWindow(m_hWnd, SW_HIDE);
  ::ShowWindow(m_hWnd, SW_SHOW);
  ::SetTimer(m_hWnd, kIdleTimer, kIdleTickMs, nullptr);
  return true;
}

// Enter (IDOK) never ends a run: only its own course does (Finish).
void CCalibrationDlg::OnOK() {}

void CCalibrationDlg::Finish() {
  ::KillTimer(m_hWnd, kIdleTimer);
  ::KillTimer(m_hWnd, kEvaluateTimer);
  ui::CDialog::OnOK();
}

void CCalibrationDlg::OnCancel() {
  if (m_phase == Phase::kCheck) {
    Finish();
    return;
  }
  ui::CDialog::OnCancel();
}

bool CCalibrationDlg::OnCommand(int id, int code, HWND control) {
  if (m_phase == Phase::kReport && id == CCalibrationReport::kKeepId) {
    m_chosenMapping = m_report.Ticked();
    Finish();
    return true;
  }
  if (m_phase == Phase::kReport && id == CCalibrationReport::kRedoId) {
    Redo();
    return true;
  }
  return ui::CDialog::OnCommand(id, code, control);
}

CCalibrationProcedure& CCalibrationDlg::Touch() {
  return m_phase == Phase::kCheck ? m_check->Touch() : m_run;
}

const CCalibrationProcedure& CCalibrationDlg::Touch() const {
  return m_phase == Phase::kCheck ? m_check->Touch() : m_run;
}

// A set the grid cannot map has nothing to check: the run ends and the set
// is dropped.
void CCalibrationDlg::StartCheck() {
  if (!IsUsableCalibration(m_run.Points())) {
    Finish();
    return;
  }
  m_check.emplace(m_run.Points(), m_cxScreen, m_cyScreen);
  m_phase = Phase::kCheck;
  m_strStep = StepText("Check", 0);
}

void CCalibrationDlg::Redo() {
  m_report.Destroy();
  ::ShowCursor(FALSE);
  m_check.reset();
  m_run = CCalibrationProcedure{};
  m_phase = Phase::kTargets;
  m_strStep = StepText("Step", 0);
  RestartIdleTimer();
  Redraw();
}

void CCalibrationDlg::OnDestroy() {
  if (m_phase != Phase::kReport) {
    ::ShowCursor(TRUE);
  }
}

bool CCalibrationDlg::OnMessage(UINT message, WPARAM, LPARAM, LRESULT&) {
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
  if (m_phase == Phase::kReport || Touch().Complete() || !TakeRawPoint(raw)) {
    return;
  }
  RestartIdleTimer();
  ::SetTimer(m_hWnd, kEvaluateTimer, kEvaluateDelayMs, nullptr);
  Touch().ButtonDown(raw);
  Redraw();
}

void CCalibrationDlg::OnMouseMove() {
  IntPoint raw;
  if (m_phase != Phase::kReport && TakeRawPoint(raw) && Touch().Move(raw)) {
    RestartIdleTimer();
  }
}

// Sampling stops; the target turns green at the next redraw, and the
// touch is still judged 1.5 s after its button-down.
void CCalibrationDlg::OnButtonUp() {
  if (m_phase != Phase::kReport && Touch().Release()) {
    RestartIdleTimer();
  }
}

void CCalibrationDlg::OnTimer(UINT_PTR id) {
  if (id == kEvaluateTimer) {
    OnEvaluate();
  } else if (id == kIdleTimer) {
    OnIdleTick();
  }
}

void CCalibrationDlg::OnEvaluate() {
  RestartIdleTimer();
  ::KillTimer(m_hWnd, kEvaluateTimer);
  if (m_phase == Phase::kReport) {
    return;
  }
  const CCalibrationProcedure::Outcome outcome = Touch().Evaluate();
  if (outcome == CCalibrationProcedure::Outcome::kNothing) {
    return;
  }
  if (m_phase == Phase::kTargets) {
    m_strStep = StepText("Step", m_run.Step());
    if (outcome == CCalibrationProcedure::Outcome::kComplete) {
      StartCheck();
    }
  } else if (outcome == CCalibrationProcedure::Outcome::kAccepted) {
    m_check->TakeAccepted();
    m_strStep = StepText("Check", m_check->Step());
    if (m_check->Complete()) {
      m_phase = Phase::kReport;
      ::KillTimer(m_hWnd, kIdleTimer);
      ::ShowCursor(TRUE);
      m_report.Show(m_hWnd, m_check->Report(), m_cxScreen, m_cyScreen);
    }
  }
  Redraw();
}

void CCalibrationDlg::OnIdleTick() {
  ::KillTimer(m_hWnd, kIdleTimer);
  if (m_phase == Phase::kReport) {
    return;
  }
  if (Touch().IdleTick()) {
    OnCancel();
    return;
  }
  ::SetTimer(m_hWnd, kIdleTimer, kIdleTickMs, nullptr);
  Redraw();
}

void CCalibrationDlg::RestartIdleTimer() {
  ::KillTimer(m_hWnd, kIdleTimer);
  ::SetTimer(m_hWnd, kIdleTimer, kIdleTickMs, nullptr);
}

void CCalibrationDlg::Redraw() {
  ::InvalidateRect(m_hWnd, nullptr, TRUE);
}

bool CCalibrationDlg::OnPaint() {
  PAINTSTRUCT paint;
  HDC dc = ::BeginPaint(m_hWnd, &paint);
  if (m_phase != Phase::kReport) {
    DrawTarget(dc);
    DrawTexts(dc);
  }
  ::EndPaint(m_hWnd, &paint);
  return true;
}

// A circle of 40 pixels, blue while a touch is held and green otherwise
// (orange for a check target asked again),
// outlined in black, with a cross-hair reaching 3 pixels beyond it.
void CCalibrationDlg::DrawTarget(HDC dc) const {
  HBRUSH held = ::CreateSolidBrush(kHeldColour);
  const bool again = m_phase == Phase::kCheck && m_check->AskedAgain();
  HBRUSH waiting = ::CreateSolidBrush(again ? kAgainColour : kWaitingColour);
  HPEN outline = ::CreatePen(PS_SOLID, 1, kOutlineColour);
  HGDIOBJ oldBrush = ::SelectObject(dc, Touch().Held() ? held : waiting);
  HGDIOBJ oldPen = ::SelectObject(dc, outline);

  const IntPoint centre = m_phase == Phase::kCheck
                              ? CheckTarget(m_check->Step(), m_cxScreen, m_cyScreen)
                              : CalibrationTarget(m_run.Step(), m_cxScreen, m_cyScreen);
  const int radius = ui::ScaleForDpi(m_hWnd, kTargetRadius);
  const int cross = ui::ScaleForDpi(m_hWnd, kCrossHalfLength);
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

// The step under the centre and the idle countdown below it, in the
// device context's default font.
void CCalibrationDlg::DrawTexts(HDC dc) const {
  ::SetTextColor(dc, kOutlineColour);
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextAlign(dc, TA_LEFT | TA_TOP);
  const int middleX = m_cxScreen / 2;
  const int middleY = m_cyScreen / 2;
  PaintText(dc, middleX, middleY + ui::ScaleForDpi(m_hWnd, kStepTextDown), m_strStep);
  char countdown[48];
  const int secondsLeft = Touch().SecondsLeft();
  std::snprintf(countdown, sizeof countdown, "Timeout Count %d sec", secondsLeft);
  PaintText(dc, middleX - ui::ScaleForDpi(m_hWnd, kCountdownLeft),
            middleY + ui::ScaleForDpi(m_hWnd, kCountdownDown), countdown);
}

// While the window is up the engine maps with the default calibration, so
// the pointer follows the finger over the whole screen and the window
// receives every touch. The owner stays disabled meanwhile, so that none of
// its commands can start another run or replace the engine.
void RunCalibration(HWND owner, CTouchHost& host, settings::CSettingsStore& store) {
  CTouchDriver* engine = host.Driver();
  if (engine == nullptr) {
    return;
  }
  CCalibrationDlg dialog(host, owner);
  // A button a finger holds would stay down under the window's targets.
  engine->ReleaseTouch();
  engine->SaveCalibration();
  engine->ResetCalibration();

  const bool measured = dialog.DoModal() == IDOK && dialog.Complete();
  const std::optional<std::int32_t> mapping = dialog.ChosenMapping();
  if (host.Driver() != engine) {
    return;  // another engine, which loaded the stored calibration itself
  }
  // A set the grid cannot map would leave the touch screen unusable: it
  // is dropped like a cancelled run.
  if (measured && IsUsableCalibration(dialog.Points())) {
    engine->ApplyCalibration(dialog.Points());
    store.StoreCalibration(dialog.Points());
    if (mapping) {
      setup::StoreMapping(store, *engine, *mapping);
    }
  } else {
    engine->RestoreCalibration();
  }
}

}  // namespace zt
