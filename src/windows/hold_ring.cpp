#include "windows/hold_ring.h"

#include <algorithm>
#include <cmath>

#include "ui/win32_helpers.h"

namespace zt {
namespace {

constexpr char kRingClass[] = "ZeltraTouchHoldRing";
constexpr UINT_PTR kFillTimer = 1;
constexpr UINT kFillStepMs = 30;
constexpr int kSide = 72;      // pixels at 96 DPI
constexpr int kThickness = 6;  // pixels at 96 DPI
constexpr COLORREF kTransparent = RGB(255, 0, 255);
constexpr COLORREF kFilling = RGB(0, 120, 215);
constexpr COLORREF kArmed = RGB(0, 170, 80);

}  // namespace

CHoldRing::~CHoldRing() {
  if (m_hWnd != nullptr) {
    ::DestroyWindow(m_hWnd);
  }
}

// A layered, transparent tool window: the system passes every click on it
// to the window below, and it is never activated.
bool CHoldRing::Create() {
  static const bool registered = [] {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = &CHoldRing::WindowProc;
    windowClass.hInstance = ui::ResourceModule();
    windowClass.lpszClassName = kRingClass;
    return ::RegisterClassA(&windowClass) != 0;
  }();
  if (!registered) {
    return false;
  }
  m_hWnd = ::CreateWindowExA(
      WS_EX_LAYERED | WS_EX_TRANSPARENT | WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE,
      kRingClass, "", WS_POPUP, 0, 0, kSide, kSide, nullptr, nullptr, ui::ResourceModule(), this);
  if (m_hWnd == nullptr) {
    return false;
  }
  ::SetWindowLongPtrA(m_hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  ::SetLayeredWindowAttributes(m_hWnd, kTransparent, 0, LWA_COLORKEY);
  return true;
}

void CHoldRing::Show(POINT centre, std::uint32_t holdMs) {
  if (m_hWnd == nullptr && !Create()) {
    return;
  }
  m_startTick = ::GetTickCount();
  m_holdMs = std::max<std::uint32_t>(holdMs, 1);
  m_armed = false;
  const int side = ui::ScaleForDpi(m_hWnd, kSide);
  ::SetWindowPos(m_hWnd, HWND_TOPMOST, centre.x - side / 2, centre.y - side / 2, side, side,
                 SWP_NOACTIVATE | SWP_SHOWWINDOW);
  ::InvalidateRect(m_hWnd, nullptr, TRUE);
  ::SetTimer(m_hWnd, kFillTimer, kFillStepMs, nullptr);
}

void CHoldRing::Arm() {
  if (m_hWnd != nullptr) {
    m_armed = true;
    ::InvalidateRect(m_hWnd, nullptr, TRUE);
  }
}

void CHoldRing::Hide() {
  if (m_hWnd != nullptr) {
    ::KillTimer(m_hWnd, kFillTimer);
    ::ShowWindow(m_hWnd, SW_HIDE);
  }
}

// The part of the ring filled so far, clockwise from the top; the whole
// ring in the armed colour once the engine has armed the right click (the
// fill may wait full for it a moment).
void CHoldRing::Paint() {
  PAINTSTRUCT paint;
  HDC dc = ::BeginPaint(m_hWnd, &paint);
  RECT client;
  ::GetClientRect(m_hWnd, &client);
  HBRUSH background = ::CreateSolidBrush(kTransparent);
  ::FillRect(dc, &client, background);
  ::DeleteObject(background);

  const bool armed = m_armed;
  const double filled =
      armed ? 1.0 : std::min(1.0, static_cast<double>(::GetTickCount() - m_startTick) / m_holdMs);
  const int thickness = ui::ScaleForDpi(m_hWnd, kThickness);
  HPEN pen = ::CreatePen(PS_SOLID, thickness, armed ? kArmed : kFilling);
  HGDIOBJ previousPen = ::SelectObject(dc, pen);
  HGDIOBJ previousBrush = ::SelectObject(dc, ::GetStockObject(NULL_BRUSH));
  const int inset = thickness;
  const int middle = client.right / 2;
  const double angle = 2.0 * 3.14159265358979 * filled;
  const int endX = middle + static_cast<int>(std::lround(middle * std::sin(angle)));
  const int endY = middle - static_cast<int>(std::lround(middle * std::cos(angle)));
  if (filled >= 1.0) {
    ::Ellipse(dc, inset, inset, client.right - inset, client.bottom - inset);
  } else if (filled > 0.0) {
    ::SetArcDirection(dc, AD_CLOCKWISE);
    ::Arc(dc, inset, inset, client.right - inset, client.bottom - inset, middle, 0, endX, endY);
  }
  ::SelectObject(dc, previousBrush);
  ::SelectObject(dc, previousPen);
  ::DeleteObject(pen);
  ::EndPaint(m_hWnd, &paint);
  if (filled >= 1.0) {
    ::KillTimer(m_hWnd, kFillTimer);  // nothing changes but by the engine's word
  }
}

LRESULT CALLBACK CHoldRing::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* ring = reinterpret_cast<CHoldRing*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
  switch (message) {
    case WM_PAINT:
      if (ring != nullptr) {
        ring->Paint();
        return 0;
      }
      break;
    case WM_TIMER:
      ::InvalidateRect(window, nullptr, TRUE);
      return 0;
    case WM_MOUSEACTIVATE:
      return MA_NOACTIVATE;
    case WM_NCHITTEST:
      return HTTRANSPARENT;
    default:
      break;
  }
  return ::DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace zt
