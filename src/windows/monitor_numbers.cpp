#include "windows/monitor_numbers.h"

#include <windows.h>

#include <string>

#include "ui/win32_helpers.h"

namespace zt {
namespace {

constexpr char kNumberClass[] = "ZeltraTouchMonitorNumber";
constexpr UINT_PTR kCloseTimer = 1;
constexpr UINT kShownMs = 2000;
constexpr int kSide = 160;  // pixels at 96 DPI

void PaintNumber(HWND window) {
  PAINTSTRUCT paint;
  HDC dc = ::BeginPaint(window, &paint);
  RECT client;
  ::GetClientRect(window, &client);
  HBRUSH background = ::CreateSolidBrush(RGB(0, 90, 200));
  ::FillRect(dc, &client, background);
  ::DeleteObject(background);
  HFONT font = ::CreateFontA(client.bottom * 3 / 4, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE,
                             DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                             DEFAULT_QUALITY, DEFAULT_PITCH, "Arial");
  HGDIOBJ previous = ::SelectObject(dc, font);
  ::SetTextColor(dc, RGB(255, 255, 255));
  ::SetBkMode(dc, TRANSPARENT);
  char text[16] = {};
  ::GetWindowTextA(window, text, sizeof text);
  ::DrawTextA(dc, text, -1, &client, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  ::SelectObject(dc, previous);
  ::DeleteObject(font);
  ::EndPaint(window, &paint);
}

LRESULT CALLBACK NumberProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT:
      PaintNumber(window);
      return 0;
    case WM_TIMER:
      ::DestroyWindow(window);
      return 0;
    default:
      return ::DefWindowProcA(window, message, wParam, lParam);
  }
}

bool RegisterNumberClass() {
  static const bool registered = [] {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = NumberProc;
    windowClass.hInstance = ui::ResourceModule();
    windowClass.lpszClassName = kNumberClass;
    return ::RegisterClassA(&windowClass) != 0;
  }();
  return registered;
}

}  // namespace

void ShowMonitorNumbers(const std::vector<MonitorInfo>& monitors) {
  if (!RegisterNumberClass()) {
    return;
  }
  for (std::size_t i = 0; i < monitors.size(); ++i) {
    const PixelRect& rect = monitors[i].rect;
    HWND window = ::CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE,
                                    kNumberClass, std::to_string(i + 1).c_str(), WS_POPUP, 0, 0, 0,
                                    0, nullptr, nullptr, ui::ResourceModule(), nullptr);
    if (window == nullptr) {
      continue;
    }
    const int side = ui::ScaleForDpi(window, kSide);
    ::SetWindowPos(window, HWND_TOPMOST, rect.left + (rect.Width() - side) / 2,
                   rect.top + (rect.Height() - side) / 2, side, side,
                   SWP_NOACTIVATE | SWP_SHOWWINDOW);
    ::SetTimer(window, kCloseTimer, kShownMs, nullptr);
  }
}

}  // namespace zt
