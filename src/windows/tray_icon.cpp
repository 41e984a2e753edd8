#include "windows/tray_icon.h"

#include <shellapi.h>

#include "engine/window_messages.h"
#include "ui/dialog.h"
#include "ui/win32_helpers.h"

namespace zt {
namespace {

constexpr char kIconWindowClass[] = "ZeltraTouchTaskbarIcon";
// The record with the 64-character tip, the one form every shell accepts.
constexpr int kTipCapacity = 64;

bool RegisterIconWindowClass(WNDPROC windowProc) {
  static const bool registered = [windowProc] {
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_GLOBALCLASS | CS_CLASSDC;
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = ui::ResourceModule();
    windowClass.lpszClassName = kIconWindowClass;
    return ::RegisterClassExA(&windowClass) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  }();
  return registered;
}

bool IsMouseMessage(LPARAM message) {
  return message >= WM_MOUSEFIRST && message <= WM_MOUSELAST;
}

}  // namespace

COXTaskbarIcon::~COXTaskbarIcon() {
  if (m_hWnd != nullptr) {
    if (m_bInTray) {
      RemoveFromTray();
    }
    ::DestroyWindow(m_hWnd);
  }
}

bool COXTaskbarIcon::CreateIconWindow(UINT iconId) {
  if (m_hWnd != nullptr) {
    return false;
  }
  m_nIconId = iconId;
  if (!RegisterIconWindowClass(StaticWindowProc)) {
    return false;
  }
  return ::CreateWindowExA(0, kIconWindowClass, "", 0, 0, 0, 0, 0, nullptr, nullptr,
                           ui::ResourceModule(), this) != nullptr;
}

void COXTaskbarIcon::SetTipFromResource(UINT stringId, bool update) {
  char text[kTipCapacity] = {};
  ::LoadStringA(ui::ResourceModule(), stringId, text, kTipCapacity);
  SetTipText(text, update);
}

bool COXTaskbarIcon::SetTipText(const char* text, bool update) {
  ::SetWindowTextA(m_hWnd, text);
  return m_bInTray && update ? UpdateInTray() : false;
}

HICON COXTaskbarIcon::SetIconFromResourceName(const char* name, bool update) {
  auto* icon = static_cast<HICON>(::LoadImageA(ui::ResourceModule(), name, IMAGE_ICON,
                                               ::GetSystemMetrics(SM_CXSMICON),
                                               ::GetSystemMetrics(SM_CYSMICON), LR_SHARED));
  return SetIconHandle(icon, update);
}

HICON COXTaskbarIcon::SetIconFromResourceId(UINT id, bool update) {
  return SetIconFromResourceName(ui::ResourceName(id & 0xFFFF), update);
}

HICON COXTaskbarIcon::SetIconHandle(HICON icon, bool update) {
  auto* previous = reinterpret_cast<HICON>(
      ::SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon)));
  if (m_bInTray && update) {
    UpdateInTray();
  }
  return previous;
}

bool COXTaskbarIcon::AddToTray() {
  if (m_bInTray) {
    return false;
  }
  m_bInTray = NotifyShell(NIM_ADD);
  return m_bInTray;
}

bool COXTaskbarIcon::RemoveFromTray() {
  if (!m_bInTray) {
    return false;
  }
  const bool removed = NotifyShell(NIM_DELETE);
  if (removed) {
    m_bInTray = false;
  }
  return removed;
}

bool COXTaskbarIcon::UpdateInTray() {
  return m_bInTray ? NotifyShell(NIM_MODIFY) : false;
}

void COXTaskbarIcon::GetTipText(std::string& text) {
  text.assign(static_cast<size_t>(::GetWindowTextLengthA(m_hWnd)) + 1, '\0');
  text.resize(static_cast<size_t>(GetTipText(text.data(), static_cast<int>(text.size()))));
}

int COXTaskbarIcon::GetTipText(char* buffer, int maxLength) {
  if (maxLength > 0) {
    buffer[0] = '\0';
  }
  return ::GetWindowTextA(m_hWnd, buffer, maxLength);
}

HICON COXTaskbarIcon::GetIconHandle() {
  return reinterpret_cast<HICON>(::SendMessageA(m_hWnd, WM_GETICON, ICON_SMALL, 0));
}

bool COXTaskbarIcon::NotifyShell(DWORD message) {
  NOTIFYICONDATAA record{};
  record.cbSize = NOTIFYICONDATAA_V1_SIZE;
  record.hWnd = m_hWnd;
  record.uID = m_nIconId;
  if (message != NIM_DELETE) {
    record.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    record.uCallbackMessage = kWmTrayNotify;
    record.hIcon = GetIconHandle();
    GetTipText(record.szTip, kTipCapacity);
  }
  return ::Shell_NotifyIconA(message, &record) != FALSE;
}

LRESULT COXTaskbarIcon::OnIconNotify(WPARAM wParam, LPARAM lParam) {
  HWND target = ::GetWindow(m_hWnd, GW_OWNER);
  if (target == nullptr) {
    target = ::GetParent(m_hWnd);
  }
  if (target != nullptr) {
    ::PostMessageA(target, kWmTrayNotify, wParam, lParam);
  } else if (IsMouseMessage(lParam)) {
    // Only mouse messages: any other number could make the window act on a
    // message nobody meant to send it (WM_CLOSE, WM_QUIT, ...).
    ::PostMessageA(m_hWnd, static_cast<UINT>(lParam), 0, 0);
  }
  return -1;
}

LRESULT COXTaskbarIcon::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  static const UINT taskbarCreated = ::RegisterWindowMessageA("TaskbarCreated");
  if (message == kWmTrayNotify) {
    return OnIconNotify(wParam, lParam);
  }
  if (message == taskbarCreated && taskbarCreated != 0 && m_bInTray) {
    // A shell that kept its icons refuses the add: the icon is still there.
    m_bInTray = NotifyShell(NIM_ADD) || NotifyShell(NIM_MODIFY);
    return 0;
  }
  return ::DefWindowProcA(m_hWnd, message, wParam, lParam);
}

LRESULT CALLBACK COXTaskbarIcon::StaticWindowProc(HWND window, UINT message, WPARAM wParam,
                                                  LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* icon =
        static_cast<COXTaskbarIcon*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
    icon->m_hWnd = window;
    ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(icon));
  }
  auto* icon = reinterpret_cast<COXTaskbarIcon*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
  if (icon == nullptr) {
    return ::DefWindowProcA(window, message, wParam, lParam);
  }
  // The system called us: nothing thrown below may go back into it.
  LRESULT result = 0;
  try {
    result = icon->WindowProc(message, wParam, lParam);
  } catch (...) {
    result = ::DefWindowProcA(window, message, wParam, lParam);
  }
  if (message == WM_NCDESTROY) {
    ::SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    icon->m_hWnd = nullptr;
  }
  return result;
}

LRESULT CTrayIcon::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN) {
    HWND notifyWindow = m_pNotifyDlg != nullptr ? m_pNotifyDlg->GetSafeHwnd() : nullptr;
    if (notifyWindow != nullptr) {
      ::PostMessageA(notifyWindow, kWmNotifyMain, 0, kNotifyShowWindow);
    }
    return 0;
  }
  return COXTaskbarIcon::WindowProc(message, wParam, lParam);
}

}  // namespace zt
