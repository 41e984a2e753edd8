// A small UI driver for the end-to-end tests: answers one command per line
// on stdin, the way a user's tools reach another program's windows (window
// captions, control ids, posted clicks), and hosts a probe window that logs
// the mouse messages it receives. Fields are separated by tabs; every answer
// is one line, "OK" plus tab-separated results, or "ERR" and a reason.
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Fields = std::vector<std::string>;

Fields Split(const std::string& line) {
  Fields fields;
  std::string field;
  std::istringstream stream(line);
  while (std::getline(stream, field, '\t')) {
    fields.push_back(field);
  }
  if (!line.empty() && line.back() == '\t') {
    fields.emplace_back();
  }
  return fields;
}

HWND ToWindow(const std::string& text) {
  return reinterpret_cast<HWND>(
      static_cast<std::uintptr_t>(std::strtoull(text.c_str(), nullptr, 0)));
}

std::string FromWindow(HWND window) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%llx",
                static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(window)));
  return text;
}

long long Number(const std::string& text) {
  return std::strtoll(text.c_str(), nullptr, 0);
}

std::string WindowText(HWND window) {
  wchar_t wide[2048] = {};
  SendMessageTimeoutW(window, WM_GETTEXT, 2048, reinterpret_cast<LPARAM>(wide), SMTO_ABORTIFHUNG,
                      2000, nullptr);
  char narrow[4096] = {};
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, narrow, sizeof narrow, nullptr, nullptr);
  return narrow;
}

std::string ClassOf(HWND window) {
  char name[256] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

// The probe: a plain top-level window that records mouse messages.
std::mutex g_probeMutex;
std::string g_probeLog;
HWND g_probe = nullptr;

// Draws the path of the pointer while the left button is held, so that a
// drag on the touch screen leaves a visible trace. A stroke starts at the
// first move after the press: under Wine the press itself may carry the
// pointer's position from before the move that came with it.
void Scribble(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  static POINT last{};
  static bool strokeStarted = false;
  const POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
  if (message == WM_LBUTTONDOWN || (wParam & MK_LBUTTON) == 0) {
    strokeStarted = false;
    return;
  }
  if (strokeStarted) {
    HDC dc = GetDC(window);
    HPEN pen = CreatePen(PS_SOLID, 3, RGB(200, 30, 30));
    HGDIOBJ old = SelectObject(dc, pen);
    MoveToEx(dc, last.x, last.y, nullptr);
    LineTo(dc, point.x, point.y);
    SelectObject(dc, old);
    DeleteObject(pen);
    ReleaseDC(window, dc);
  }
  last = point;
  strokeStarted = true;
}

LRESULT CALLBACK ProbeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const char* name = nullptr;
  if (message == WM_MOUSEMOVE || message == WM_LBUTTONDOWN) {
    Scribble(window, message, wParam, lParam);
  }
  switch (message) {
    case WM_LBUTTONDOWN:
      name = "LDOWN";
      break;
    case WM_LBUTTONUP:
      name = "LUP";
      break;
    case WM_LBUTTONDBLCLK:
      name = "LDBL";
      break;
    case WM_RBUTTONDOWN:
      name = "RDOWN";
      break;
    case WM_RBUTTONUP:
      name = "RUP";
      break;
    case WM_RBUTTONDBLCLK:
      name = "RDBL";
      break;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
  std::lock_guard<std::mutex> lock(g_probeMutex);
  g_probeLog += std::string(name) + " " + std::to_string(static_cast<short>(LOWORD(lParam))) + " " +
                std::to_string(static_cast<short>(HIWORD(lParam))) + ";";
  return 0;
}

struct ProbeRequest {
  RECT rect;
  HANDLE ready;
};

DWORD WINAPI ProbeThread(LPVOID parameter) {
  auto* request = static_cast<ProbeRequest*>(parameter);
  WNDCLASSA windowClass{};
  windowClass.style = CS_DBLCLKS;
  windowClass.lpfnWndProc = ProbeProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.hCursor =
      LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(32512)));  // IDC_ARROW
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  windowClass.lpszClassName = "ZtProbe";
  RegisterClassA(&windowClass);
  const RECT& r = request->rect;
  g_probe = CreateWindowExA(0, "ZtProbe", "ZtProbe", WS_POPUP | WS_VISIBLE, r.left, r.top,
                            r.right - r.left, r.bottom - r.top, nullptr, nullptr,
                            GetModuleHandleA(nullptr), nullptr);
  SetEvent(request->ready);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    DispatchMessageA(&message);
  }
  return 0;
}

std::string Ok(const std::string& value = {}) {
  return value.empty() ? "OK" : "OK\t" + value;
}

// Sends a message that fills a RECT at lParam, such as TBM_GETTHUMBRECT, to
// a window of another process: the RECT lives in that process's memory.
bool RemoteRect(HWND window, UINT message, RECT& rect) {
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  HANDLE process =
      OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
  if (process == nullptr) {
    return false;
  }
  bool read = false;
  if (void* remote = VirtualAllocEx(process, nullptr, sizeof rect, MEM_COMMIT, PAGE_READWRITE)) {
    DWORD_PTR result = 0;
    SendMessageTimeoutA(window, message, 0, reinterpret_cast<LPARAM>(remote), SMTO_ABORTIFHUNG,
                        5000, &result);
    SIZE_T copied = 0;
    read = ReadProcessMemory(process, remote, &rect, sizeof rect, &copied) && copied == sizeof rect;
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  }
  CloseHandle(process);
  return read;
}

// Drags a trackbar's thumb as a user would, with posted button and mouse
// messages, to client x toX; the button-up makes the trackbar report the
// release (NM_RELEASEDCAPTURE) to its dialog. Beyond either end of the
// channel the thumb stops at that end.
std::string Slide(HWND trackbar, int toX) {
  RECT thumb{};
  if (!RemoteRect(trackbar, TBM_GETTHUMBRECT, thumb)) {
    return "ERR\tno thumb";
  }
  const int fromX = (thumb.left + thumb.right) / 2;
  const int y = (thumb.top + thumb.bottom) / 2;
  PostMessageA(trackbar, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(fromX, y));
  constexpr int kMoves = 8;
  for (int move = 1; move <= kMoves; ++move) {
    const int x = fromX + (toX - fromX) * move / kMoves;
    PostMessageA(trackbar, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x, y));
  }
  PostMessageA(trackbar, WM_LBUTTONUP, 0, MAKELPARAM(toX, y));
  return Ok();
}

std::string Run(const Fields& f) {
  const std::string& verb = f[0];
  auto arg = [&f](std::size_t i) { return i < f.size() ? f[i] : std::string(); };
  if (verb == "find") {
    const std::string cls = arg(1);
    HWND window =
        FindWindowA(cls == "-" ? nullptr : cls.c_str(), f.size() > 2 ? f[2].c_str() : nullptr);
    return window != nullptr ? Ok(FromWindow(window)) : "ERR\tnot found";
  }
  if (verb == "findmain") {
    // The first matching window that no other window owns.
    HWND window = nullptr;
    while ((window = FindWindowExA(nullptr, window, arg(1).c_str(), arg(2).c_str())) != nullptr) {
      if (GetWindow(window, GW_OWNER) == nullptr) {
        return Ok(FromWindow(window));
      }
    }
    return "ERR\tnot found";
  }
  if (verb == "fullscreen") {
    // The first visible top-level window of a class that covers the whole
    // primary screen, such as the calibration window.
    const RECT screen{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    HWND window = nullptr;
    while ((window = FindWindowExA(nullptr, window, arg(1).c_str(), nullptr)) != nullptr) {
      RECT rect{};
      if (IsWindowVisible(window) && GetWindowRect(window, &rect) && EqualRect(&rect, &screen)) {
        return Ok(FromWindow(window));
      }
    }
    return "ERR\tnot found";
  }
  if (verb == "owned") {
    // The first window of a class that the given window owns.
    HWND owner = ToWindow(arg(1));
    HWND window = nullptr;
    while ((window = FindWindowExA(nullptr, window, arg(2).c_str(), nullptr)) != nullptr) {
      if (GetWindow(window, GW_OWNER) == owner) {
        return Ok(FromWindow(window));
      }
    }
    return "ERR\tnot found";
  }
  if (verb == "ownedall") {
    // Every window of a class that the given window owns.
    HWND owner = ToWindow(arg(1));
    HWND window = nullptr;
    std::string list;
    while ((window = FindWindowExA(nullptr, window, arg(2).c_str(), nullptr)) != nullptr) {
      if (GetWindow(window, GW_OWNER) == owner) {
        if (!list.empty()) {
          list += '\t';
        }
        list += FromWindow(window);
      }
    }
    return Ok(list);
  }
  if (verb == "windows") {
    // Every top-level window: handle, class, owner, visibility and title.
    std::string list;
    EnumWindows(
        [](HWND window, LPARAM out) -> BOOL {
          auto* text = reinterpret_cast<std::string*>(out);
          *text += FromWindow(window) + "," + ClassOf(window) + "," +
                   FromWindow(GetWindow(window, GW_OWNER)) + "," +
                   (IsWindowVisible(window) ? "1" : "0") + "," + WindowText(window) + "\t";
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&list));
    return Ok(list);
  }
  if (verb == "slide") return Slide(ToWindow(arg(1)), static_cast<int>(Number(arg(2))));
  if (verb == "item") {
    HWND item = GetDlgItem(ToWindow(arg(1)), static_cast<int>(Number(arg(2))));
    return item != nullptr ? Ok(FromWindow(item)) : "ERR\tno item";
  }
  if (verb == "text") return Ok(WindowText(ToWindow(arg(1))));
  if (verb == "class") return Ok(ClassOf(ToWindow(arg(1))));
  if (verb == "settext") {
    SendMessageA(ToWindow(arg(1)), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(arg(2).c_str()));
    return Ok();
  }
  if (verb == "enabled") return Ok(IsWindowEnabled(ToWindow(arg(1))) ? "1" : "0");
  if (verb == "visible") return Ok(IsWindowVisible(ToWindow(arg(1))) ? "1" : "0");
  if (verb == "exists") return Ok(IsWindow(ToWindow(arg(1))) ? "1" : "0");
  if (verb == "click") {
    return PostMessageA(ToWindow(arg(1)), BM_CLICK, 0, 0) ? Ok() : "ERR\tpost failed";
  }
  if (verb == "post") {
    return PostMessageA(ToWindow(arg(1)), static_cast<UINT>(Number(arg(2))),
                        static_cast<WPARAM>(Number(arg(3))), static_cast<LPARAM>(Number(arg(4))))
               ? Ok()
               : "ERR\tpost failed";
  }
  if (verb == "send") {
    DWORD_PTR result = 0;
    SendMessageTimeoutA(ToWindow(arg(1)), static_cast<UINT>(Number(arg(2))),
                        static_cast<WPARAM>(Number(arg(3))), static_cast<LPARAM>(Number(arg(4))),
                        SMTO_ABORTIFHUNG, 5000, &result);
    return Ok(std::to_string(static_cast<long long>(result)));
  }
  if (verb == "rect" || verb == "client") {
    RECT rect{};
    HWND window = ToWindow(arg(1));
    if (verb == "rect") {
      GetWindowRect(window, &rect);
    } else {
      GetClientRect(window, &rect);
      MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&rect), 2);
    }
    return Ok(std::to_string(rect.left) + "\t" + std::to_string(rect.top) + "\t" +
              std::to_string(rect.right) + "\t" + std::to_string(rect.bottom));
  }
  if (verb == "topmost") {
    const LONG_PTR style = GetWindowLongPtrA(ToWindow(arg(1)), GWL_EXSTYLE);
    return Ok((style & WS_EX_TOPMOST) != 0 ? "1" : "0");
  }
  if (verb == "owner") return Ok(FromWindow(GetWindow(ToWindow(arg(1)), GW_OWNER)));
  if (verb == "foreground") return Ok(FromWindow(GetForegroundWindow()));
  if (verb == "foreground-set") {
    return SetForegroundWindow(ToWindow(arg(1))) ? Ok() : "ERR\tnot allowed";
  }
  if (verb == "cursor") {
    POINT point{};
    GetCursorPos(&point);
    return Ok(std::to_string(point.x) + "\t" + std::to_string(point.y));
  }
  if (verb == "metrics") {
    return Ok(std::to_string(GetSystemMetrics(static_cast<int>(Number(arg(1))))));
  }
  if (verb == "doubleclicktime") return Ok(std::to_string(GetDoubleClickTime()));
  if (verb == "setdoubleclicktime") {
    return SetDoubleClickTime(static_cast<UINT>(Number(arg(1)))) ? Ok() : "ERR\tnot set";
  }
  if (verb == "setpos") {
    SetWindowPos(ToWindow(arg(1)), HWND_TOPMOST, static_cast<int>(Number(arg(2))),
                 static_cast<int>(Number(arg(3))), 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
    return Ok();
  }
  if (verb == "children") {
    std::string list;
    EnumChildWindows(
        ToWindow(arg(1)),
        [](HWND child, LPARAM out) -> BOOL {
          auto* text = reinterpret_cast<std::string*>(out);
          *text += FromWindow(child) + "," + std::to_string(GetDlgCtrlID(child)) + "," +
                   ClassOf(child) + "," + WindowText(child) + "\t";
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&list));
    return Ok(list);
  }
  if (verb == "probe") {
    ProbeRequest request{{static_cast<LONG>(Number(arg(1))), static_cast<LONG>(Number(arg(2))),
                          static_cast<LONG>(Number(arg(1)) + Number(arg(3))),
                          static_cast<LONG>(Number(arg(2)) + Number(arg(4)))},
                         CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    CloseHandle(CreateThread(nullptr, 0, ProbeThread, &request, 0, nullptr));
    WaitForSingleObject(request.ready, 10000);
    CloseHandle(request.ready);
    return g_probe != nullptr ? Ok(FromWindow(g_probe)) : "ERR\tno probe";
  }
  if (verb == "events") {
    std::lock_guard<std::mutex> lock(g_probeMutex);
    std::string log;
    log.swap(g_probeLog);
    return Ok(log);
  }
  return "ERR\tunknown command";
}

}  // namespace

int main() {
  std::string line;
  while (std::getline(std::cin, line)) {
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    const Fields fields = Split(line);
    if (fields.empty()) {
      continue;
    }
    if (fields[0] == "quit") {
      break;
    }
    std::cout << Run(fields) << std::endl;
  }
  return 0;
}
