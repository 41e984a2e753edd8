#pragma once

#include <windows.h>

#include <cstdint>

namespace zt {

// The ring round a resting finger that may become a right click: it fills
// over the hold time and turns green when the engine says the right click is
// armed, never by its own clock. It never
// takes a click (clicks pass through to the window under it) nor the focus,
// and its timer runs only while it is shown.
class CHoldRing {
public:
  CHoldRing() = default;
  CHoldRing(const CHoldRing&) = delete;
  CHoldRing& operator=(const CHoldRing&) = delete;
  ~CHoldRing();

  // Centred on screen point (x, y) of the monitor it lies on; holdMs: the
  // time to fill.
  void Show(POINT centre, std::uint32_t holdMs);
  // The lift is now a right click.
  void Arm();
  void Hide();

private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  bool Create();
  void Paint();

  HWND m_hWnd = nullptr;
  std::uint32_t m_startTick = 0;
  std::uint32_t m_holdMs = 0;
  bool m_armed = false;
};

}  // namespace zt
