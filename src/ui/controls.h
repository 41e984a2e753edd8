// Thin wrappers of dialog controls, bound to a dialog's control by
// CDataExchange::Control.
#pragma once

#include <windows.h>

namespace zt::ui {

// Any control: the window handle and nothing else.
class CControl {
public:
  HWND GetSafeHwnd() const { return m_hWnd; }
  void Attach(HWND control) { m_hWnd = control; }

protected:
  HWND m_hWnd = nullptr;
};

// A trackbar ("slider"). Positions are clamped into the range by the control.
class CSliderCtrl : public CControl {
public:
  void SetRange(int minimum, int maximum, bool redraw = true);
  int GetRangeMin() const;
  int GetRangeMax() const;
  int GetPos() const;
  void SetPos(int position);
};

}  // namespace zt::ui
