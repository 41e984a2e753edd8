#include "ui/dialog.h"

#include <commctrl.h>

#include <cstdint>
#include <cstring>

#include "ui/dialog_init_data.h"
#include "ui/win32_helpers.h"

namespace zt::ui {
namespace {

CDialog* FromWindow(HWND window) {
  return reinterpret_cast<CDialog*>(::GetWindowLongPtrA(window, DWLP_USER));
}

// Messages whose result a dialog procedure returns itself instead of
// storing it in DWLP_MSGRESULT.
bool ReturnsResultDirectly(UINT message) {
  switch (message) {
    case WM_CHARTOITEM:
    case WM_COMPAREITEM:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_INITDIALOG:
    case WM_QUERYDRAGICON:
    case WM_VKEYTOITEM:
      return true;
    default:
      return false;
  }
}

bool IsTrackbar(HWND control) {
  char className[32] = {};
  ::GetClassNameA(control, className, sizeof className);
  return ::lstrcmpiA(className, TRACKBAR_CLASSA) == 0;
}

std::uint16_t ReadWord(const std::uint8_t* bytes) {
  return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
}

std::uint32_t ReadDword(const std::uint8_t* bytes) {
  return static_cast<std::uint32_t>(ReadWord(bytes)) |
         (static_cast<std::uint32_t>(ReadWord(bytes + 2)) << 16);
}

}  // namespace

CDialog::CDialog(unsigned templateId, HWND owner) : m_templateId(templateId), m_hOwner(owner) {}

CDialog::~CDialog() {
  DestroyWindow();
}

INT_PTR CDialog::DoModal() {
  if (m_hWnd != nullptr || !OnCreate()) {
    return -1;
  }
  EnsureCommonControls();
  m_bModal = true;
  const INT_PTR result = ::DialogBoxParamA(ResourceModule(), ResourceName(m_templateId), m_hOwner,
                                           DialogProc, reinterpret_cast<LPARAM>(this));
  m_bModal = false;
  return result;
}

bool CDialog::Create() {
  if (m_hWnd != nullptr || !OnCreate()) {
    return false;
  }
  EnsureCommonControls();
  return ::CreateDialogParamA(ResourceModule(), ResourceName(m_templateId), m_hOwner, DialogProc,
                              reinterpret_cast<LPARAM>(this)) != nullptr;
}

void CDialog::DestroyWindow() {
  if (m_hWnd != nullptr && !m_bModal) {
    ::DestroyWindow(m_hWnd);
  }
}

void CDialog::EndDialog(INT_PTR result) {
  if (m_hWnd == nullptr) {
    return;
  }
  if (m_bModal) {
    ::EndDialog(m_hWnd, result);
  } else {
    ::ShowWindow(m_hWnd, SW_HIDE);
  }
}

std::string CDialog::GetItemText(int id) const {
  return GetWindowString(GetItem(id));
}

void CDialog::SetItemText(int id, const std::string& text) {
  ::SetDlgItemTextA(m_hWnd, id, text.c_str());
}

void CDialog::EnableItem(int id, bool enable) {
  ::EnableWindow(GetItem(id), enable ? TRUE : FALSE);
}

bool CDialog::UpdateData(bool saveAndValidate) {
  if (m_hWnd == nullptr) {
    return false;
  }
  CDataExchange exchange(m_hWnd, saveAndValidate);
  DoDataExchange(exchange);
  return exchange.Succeeded();
}

bool CDialog::OnInitDialog() {
  UpdateData(false);
  return true;
}

void CDialog::DoDataExchange(CDataExchange&) {}

bool CDialog::OnCommand(int id, int code, HWND) {
  if (code != BN_CLICKED) {
    return false;
  }
  switch (id) {
    case IDOK:
      OnOK();
      return true;
    case IDCANCEL:
      OnCancel();
      return true;
    default:
      return false;
  }
}

bool CDialog::OnNotify(int id, NMHDR& header, LRESULT& result) {
  if (header.code == NM_RELEASEDCAPTURE && IsTrackbar(header.hwndFrom)) {
    OnSliderReleased(id);
    result = 0;
    return true;
  }
  return false;
}

void CDialog::OnSliderReleased(int) {}

void CDialog::OnOK() {
  if (UpdateData(true)) {
    EndDialog(IDOK);
  }
}

void CDialog::OnCancel() {
  EndDialog(IDCANCEL);
}

void CDialog::OnTimer(UINT_PTR) {}

bool CDialog::OnPaint() {
  return false;
}

void CDialog::OnDestroy() {}

bool CDialog::OnMessage(UINT, WPARAM, LPARAM, LRESULT&) {
  return false;
}

INT_PTR CALLBACK CDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    reinterpret_cast<CDialog*>(lParam)->Attach(window);
  }
  return Route(window, message, wParam, lParam);
}

// Every dialog and page procedure ends here, called by the system: an
// exception from a handler is reported to the debugger and the message is
// left to the default processing, never thrown back into the system.
INT_PTR CDialog::Route(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  CDialog* dialog = FromWindow(window);
  if (dialog == nullptr) {
    return FALSE;
  }
  try {
    return dialog->HandleMessage(message, wParam, lParam);
  } catch (...) {
    ::OutputDebugStringA("ZeltraTouch: a window message handler failed\n");
    return FALSE;
  }
}

void CDialog::Attach(HWND window) {
  m_hWnd = window;
  ::SetWindowLongPtrA(window, DWLP_USER, reinterpret_cast<LONG_PTR>(this));
}

INT_PTR CDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  HWND window = m_hWnd;
  LRESULT result = 0;
  const bool handled =
      OnMessage(message, wParam, lParam, result) || Dispatch(message, wParam, lParam, result);
  if (message == WM_NCDESTROY) {
    ::SetWindowLongPtrA(window, DWLP_USER, 0);
    m_hWnd = nullptr;
  }
  if (!handled) {
    return FALSE;
  }
  if (ReturnsResultDirectly(message)) {
    return static_cast<INT_PTR>(result);
  }
  ::SetWindowLongPtrA(window, DWLP_MSGRESULT, result);
  return TRUE;
}

bool CDialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  switch (message) {
    case WM_INITDIALOG:
      LoadInitialData();
      result = OnInitDialog() ? TRUE : FALSE;
      return true;
    case WM_COMMAND:
      return OnCommand(LowWord(wParam), HighWord(wParam), reinterpret_cast<HWND>(lParam));
    case WM_NOTIFY: {
      NMHDR& header = *reinterpret_cast<NMHDR*>(lParam);
      return OnNotify(static_cast<int>(header.idFrom), header, result);
    }
    case WM_TIMER:
      OnTimer(wParam);
      return false;
    case WM_PAINT:
      return OnPaint();
    case WM_DESTROY:
      OnDestroy();
      return false;
    default:
      return false;
  }
}

// Fills combo box lists from the template's initial data, a resource of the
// template's id: records of control id (16 bits), code (16 bits), length
// (32 bits) and that many bytes of text, ended by a zero control id.
void CDialog::LoadInitialData() {
  HINSTANCE module = ResourceModule();
  HRSRC found =
      ::FindResourceA(module, ResourceName(m_templateId), ResourceName(RT_DIALOG_INIT_DATA));
  HGLOBAL loaded = found != nullptr ? ::LoadResource(module, found) : nullptr;
  const auto* data = static_cast<const std::uint8_t*>(loaded ? ::LockResource(loaded) : nullptr);
  if (data == nullptr) {
    return;
  }
  const size_t size = ::SizeofResource(module, found);
  constexpr size_t kHeaderSize = 8;
  size_t offset = 0;
  while (offset + kHeaderSize <= size) {
    const int controlId = ReadWord(data + offset);
    const unsigned code = ReadWord(data + offset + 2);
    const size_t length = ReadDword(data + offset + 4);
    if (controlId == 0 || length > size - offset - kHeaderSize) {
      return;
    }
    const char* text = reinterpret_cast<const char*>(data + offset + kHeaderSize);
    const std::string item(text, ::strnlen(text, length));
    if (code == DLGINIT_CB_ADDSTRING) {
      ::SendDlgItemMessageA(m_hWnd, controlId, CB_ADDSTRING, 0,
                            reinterpret_cast<LPARAM>(item.c_str()));
    }
    offset += kHeaderSize + length;
  }
}

}  // namespace zt::ui
