#include "ui/controls.h"

#include <commctrl.h>

#include "ui/win32_helpers.h"

namespace zt::ui {

void EnsureCommonControls() {
  static const bool registered = [] {
    INITCOMMONCONTROLSEX classes{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
    return ::InitCommonControlsEx(&classes) != FALSE;
  }();
  static_cast<void>(registered);
}

void CSliderCtrl::SetRange(int minimum, int maximum, bool redraw) {
  ::SendMessageA(m_hWnd, TBM_SETRANGEMIN, FALSE, minimum);
  ::SendMessageA(m_hWnd, TBM_SETRANGEMAX, redraw ? TRUE : FALSE, maximum);
}

int CSliderCtrl::GetRangeMin() const {
  return static_cast<int>(::SendMessageA(m_hWnd, TBM_GETRANGEMIN, 0, 0));
}

int CSliderCtrl::GetRangeMax() const {
  return static_cast<int>(::SendMessageA(m_hWnd, TBM_GETRANGEMAX, 0, 0));
}

int CSliderCtrl::GetPos() const {
  return static_cast<int>(::SendMessageA(m_hWnd, TBM_GETPOS, 0, 0));
}

void CSliderCtrl::SetPos(int position) {
  ::SendMessageA(m_hWnd, TBM_SETPOS, TRUE, position);
}

}  // namespace zt::ui
