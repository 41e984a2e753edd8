#include "ui/data_exchange.h"

#include <commctrl.h>

#include "ui/controls.h"

namespace zt::ui {
namespace {

bool IsRadioButton(HWND control) {
  return (::SendMessageA(control, WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON) != 0;
}

bool StartsGroup(HWND control) {
  return (::GetWindowLongPtrA(control, GWL_STYLE) & WS_GROUP) != 0;
}

}  // namespace

std::string GetWindowString(HWND window) {
  const int length = ::GetWindowTextLengthA(window);
  if (length <= 0) {
    return {};
  }
  std::string text(static_cast<size_t>(length) + 1, '\0');
  const int copied = ::GetWindowTextA(window, text.data(), length + 1);
  text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
  return text;
}

HWND CDataExchange::Item(int id) {
  HWND control = ::GetDlgItem(m_hDialog, id);
  if (control == nullptr) {
    m_bSucceeded = false;
  }
  return control;
}

void CDataExchange::Control(int id, CControl& control) {
  if (HWND item = Item(id)) {
    control.Attach(item);
  }
}

void CDataExchange::Text(int id, std::string& value) {
  HWND control = Item(id);
  if (control == nullptr) {
    return;
  }
  if (m_bSaveAndValidate) {
    value = GetWindowString(control);
  } else {
    ::SetWindowTextA(control, value.c_str());
  }
}

void CDataExchange::Check(int id, int& value) {
  HWND control = Item(id);
  if (control == nullptr) {
    return;
  }
  if (m_bSaveAndValidate) {
    value = static_cast<int>(::SendMessageA(control, BM_GETCHECK, 0, 0));
  } else {
    const bool known = value == BST_UNCHECKED || value == BST_CHECKED || value == BST_INDETERMINATE;
    ::SendMessageA(control, BM_SETCHECK, known ? static_cast<WPARAM>(value) : BST_UNCHECKED, 0);
  }
}

void CDataExchange::Radio(int firstId, int& index) {
  HWND control = Item(firstId);
  if (control == nullptr) {
    return;
  }
  if (m_bSaveAndValidate) {
    index = -1;
  }
  int position = 0;
  do {
    if (IsRadioButton(control)) {
      if (m_bSaveAndValidate) {
        if (::SendMessageA(control, BM_GETCHECK, 0, 0) == BST_CHECKED) {
          index = position;
        }
      } else {
        ::SendMessageA(control, BM_SETCHECK, position == index ? BST_CHECKED : BST_UNCHECKED, 0);
      }
      ++position;
    }
    control = ::GetWindow(control, GW_HWNDNEXT);
  } while (control != nullptr && !StartsGroup(control));
}

void CDataExchange::SliderPos(int id, int& position) {
  HWND control = Item(id);
  if (control == nullptr) {
    return;
  }
  if (m_bSaveAndValidate) {
    position = static_cast<int>(::SendMessageA(control, TBM_GETPOS, 0, 0));
  } else {
    ::SendMessageA(control, TBM_SETPOS, TRUE, position);
  }
}

void CDataExchange::ComboText(int id, std::string& value) {
  HWND control = Item(id);
  if (control == nullptr) {
    return;
  }
  if (m_bSaveAndValidate) {
    value = GetWindowString(control);
    return;
  }
  // Every item begins with the empty string, so an empty value would select
  // the first item; it means "no text" instead.
  if (value.empty()) {
    ::SendMessageA(control, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    ::SetWindowTextA(control, "");
    return;
  }
  const LRESULT found = ::SendMessageA(control, CB_SELECTSTRING, static_cast<WPARAM>(-1),
                                       reinterpret_cast<LPARAM>(value.c_str()));
  if (found == CB_ERR) {
    ::SetWindowTextA(control, value.c_str());
  }
}

}  // namespace zt::ui
