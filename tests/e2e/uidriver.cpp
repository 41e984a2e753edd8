// A small UI driver for the end-to-end tests: answers one command per line
// on stdin, the way a user's tools reach another program's windows (window
// captions, control ids, posted clicks), and hosts a probe window that logs
// the mouse buttons it receives. Fields are separated by tabs; every answer
// is one line, "OK" plus tab-separated results, or "ERR".
#include <aclapi.h>
#include <commctrl.h>
#include <sddl.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

using Fields = std::vector<std::string>;

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

using Answer = std::optional<std::string>;  // nothing: ERR

// A window found, or ERR.
Answer Found(HWND window) {
  return window != nullptr ? Answer(FromWindow(window)) : std::nullopt;
}

// An action done, or ERR.
Answer Done(bool done) {
  return done ? Answer("") : std::nullopt;
}

template <typename T>
T As(const std::string& text) {
  return static_cast<T>(std::strtoll(text.c_str(), nullptr, 0));
}

std::string WindowText(HWND window) {
  wchar_t wide[2048] = {};
  SendMessageTimeoutW(window, WM_GETTEXT, 2048, reinterpret_cast<LPARAM>(wide), SMTO_ABORTIFHUNG,
                      2000, nullptr);
  char narrow[4096] = {};
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, narrow, sizeof narrow, nullptr, nullptr);
  return narrow;
}

// Top-level windows of a class for which keep is true, tab-separated.
std::string TopLevel(const char* cls, const std::function<bool(HWND)>& keep) {
  std::string list;
  for (HWND window = nullptr; (window = FindWindowExA(nullptr, window, cls, nullptr)) != nullptr;) {
    if (keep(window)) {
      list.append(list.empty() ? "" : "\t").append(FromWindow(window));
    }
  }
  return list;
}

// The probe: a plain top-level window that records the mouse buttons it
// receives.
std::mutex g_probeMutex;
std::string g_probeLog;

LRESULT CALLBACK ProbeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  static const std::map<UINT, const char*> kNames{
      {WM_LBUTTONDOWN, "LDOWN"}, {WM_LBUTTONUP, "LUP"}, {WM_LBUTTONDBLCLK, "LDBL"},
      {WM_RBUTTONDOWN, "RDOWN"}, {WM_RBUTTONUP, "RUP"}, {WM_RBUTTONDBLCLK, "RDBL"}};
  const auto name = kNames.find(message);
  if (name == kNames.end()) {
    return DefWindowProcA(window, message, wParam, lParam);
  }
  char entry[48];
  std::snprintf(entry, sizeof entry, "%s %d %d;", name->second, static_cast<short>(LOWORD(lParam)),
                static_cast<short>(HIWORD(lParam)));
  std::lock_guard<std::mutex> lock(g_probeMutex);
  g_probeLog += entry;
  return 0;
}

// Makes the probe at x, y, width, height on a thread of its own with its own
// message loop; returns the window.
HWND StartProbe(const Fields& f) {
  struct Request {
    RECT rect;
    HANDLE ready;
    HWND probe;
  } request{{As<LONG>(f[1]), As<LONG>(f[2]), As<LONG>(f[3]), As<LONG>(f[4])},
            CreateEventA(nullptr, TRUE, FALSE, nullptr),
            nullptr};
  auto thread = [](LPVOID parameter) -> DWORD {
    auto* r = static_cast<Request*>(parameter);
    WNDCLASSA windowClass{};
    windowClass.style = CS_DBLCLKS;
    windowClass.lpfnWndProc = ProbeProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszClassName = "ZtProbe";
    RegisterClassA(&windowClass);
    r->probe = CreateWindowExA(0, "ZtProbe", "ZtProbe", WS_POPUP | WS_VISIBLE, r->rect.left,
                               r->rect.top, r->rect.right, r->rect.bottom, nullptr, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
    SetEvent(r->ready);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
      DispatchMessageA(&message);
    }
    return 0;
  };
  CloseHandle(CreateThread(nullptr, 0, thread, &request, 0, nullptr));
  WaitForSingleObject(request.ready, 10000);
  CloseHandle(request.ready);
  return request.probe;
}

// Sends a message that fills a RECT at lParam, such as TBM_GETTHUMBRECT, to
// a window of another process: the RECT lives in that process's memory.
bool RemoteRect(HWND window, UINT message, RECT& rect) {
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  HANDLE process =
      OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
  void* remote =
      process ? VirtualAllocEx(process, nullptr, sizeof rect, MEM_COMMIT, PAGE_READWRITE) : nullptr;
  SIZE_T copied = 0;
  if (remote != nullptr) {
    SendMessageTimeoutA(window, message, 0, reinterpret_cast<LPARAM>(remote), SMTO_ABORTIFHUNG,
                        5000, nullptr);
    ReadProcessMemory(process, remote, &rect, sizeof rect, &copied);
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  }
  if (process != nullptr) {
    CloseHandle(process);
  }
  return copied == sizeof rect;
}

// Drags a trackbar's thumb with posted button and mouse messages to client
// x toX, as a user would; the button-up makes the trackbar report the
// release to its dialog. Beyond either end the thumb stops at that end.
bool Slide(HWND trackbar, int toX) {
  RECT thumb{};
  if (!RemoteRect(trackbar, TBM_GETTHUMBRECT, thumb)) {
    return false;
  }
  const int fromX = (thumb.left + thumb.right) / 2;
  const int y = (thumb.top + thumb.bottom) / 2;
  PostMessageA(trackbar, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(fromX, y));
  for (int move = 1; move <= 8; ++move) {
    PostMessageA(trackbar, WM_MOUSEMOVE, MK_LBUTTON,
                 MAKELPARAM(fromX + (toX - fromX) * move / 8, y));
  }
  return PostMessageA(trackbar, WM_LBUTTONUP, 0, MAKELPARAM(toX, y)) != FALSE;
}

// The access that a key of HKEY_LOCAL_MACHINE allows BUILTIN\Users.
ACCESS_MASK UsersAccess(const char* path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, READ_CONTROL, &key) != ERROR_SUCCESS) {
    return 0;
  }
  PACL acl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  GetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, &acl, nullptr,
                  &descriptor);
  RegCloseKey(key);
  PSID users = nullptr;
  ConvertStringSidToSidA("BU", &users);
  ACCESS_MASK allowed = 0;
  for (DWORD i = 0; acl != nullptr && i < acl->AceCount; ++i) {
    void* entry = nullptr;
    if (GetAce(acl, i, &entry) &&
        static_cast<ACE_HEADER*>(entry)->AceType == ACCESS_ALLOWED_ACE_TYPE) {
      auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(entry);
      allowed |= EqualSid(&ace->SidStart, users) ? ace->Mask : 0;
    }
  }
  LocalFree(users);
  LocalFree(descriptor);
  return allowed;
}

std::string Rect(HWND window, bool client) {
  RECT r{};
  if (client) {
    GetClientRect(window, &r);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&r), 2);
  } else {
    GetWindowRect(window, &r);
  }
  return std::to_string(r.left) + "\t" + std::to_string(r.top) + "\t" + std::to_string(r.right) +
         "\t" + std::to_string(r.bottom);
}

std::string Flag(bool value) {
  return value ? "1" : "0";
}

// The first window of class and title that nobody owns.
HWND FindMain(const Fields& f) {
  HWND window = nullptr;
  while ((window = FindWindowExA(nullptr, window, f[1].c_str(), f[2].c_str())) != nullptr &&
         GetWindow(window, GW_OWNER) != nullptr) {
  }
  return window;
}

HWND W(const Fields& f) {
  return ToWindow(f[1]);
}

// Visible windows of a class that cover a monitor (left, top, width,
// height) exactly.
Answer FullScreen(const Fields& f) {
  const LONG left = As<LONG>(f[2]), top = As<LONG>(f[3]);
  const RECT screen{left, top, left + As<LONG>(f[4]), top + As<LONG>(f[5])};
  const std::string found = TopLevel(f[1].c_str(), [&](HWND w) {
    RECT rect{};
    return IsWindowVisible(w) && GetWindowRect(w, &rect) && EqualRect(&rect, &screen);
  });
  return found.empty() ? std::nullopt : Answer(found);
}

// A window of class ("-": any) and title (when given).
HWND Find(const Fields& f) {
  return FindWindowA(f[1] == "-" ? nullptr : f[1].c_str(), f[2].empty() ? nullptr : f[2].c_str());
}

// Every window of a class that the window owns.
std::string Owned(const Fields& f) {
  return TopLevel(f[2].c_str(), [&](HWND w) { return GetWindow(w, GW_OWNER) == W(f); });
}

bool Post(const Fields& f) {
  return PostMessageA(W(f), As<UINT>(f[2]), As<WPARAM>(f[3]), As<LPARAM>(f[4])) != FALSE;
}

bool SetText(const Fields& f) {
  return SendMessageA(W(f), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(f[2].c_str())) != 0;
}

Answer SendTo(const Fields& f) {
  DWORD_PTR result = 0;
  SendMessageTimeoutA(W(f), As<UINT>(f[2]), As<WPARAM>(f[3]), As<LPARAM>(f[4]), SMTO_ABORTIFHUNG,
                      5000, &result);
  return Answer(std::to_string(static_cast<long long>(result)));
}

Answer CursorPosition(const Fields&) {
  POINT point{};
  GetCursorPos(&point);
  return Answer(std::to_string(point.x) + "\t" + std::to_string(point.y));
}

Answer TakeProbeLog(const Fields&) {
  std::lock_guard<std::mutex> lock(g_probeMutex);
  return Answer(std::exchange(g_probeLog, {}));
}

// clang-format off
const std::map<std::string, std::function<Answer(const Fields&)>> kCommands{
  {"find", [](const Fields& f) { return Found(Find(f)); }},
  {"findmain", [](const Fields& f) { return Found(FindMain(f)); }},
  {"owned", [](const Fields& f) { return Answer(Owned(f)); }},
  {"fullscreen", FullScreen},
  {"child", [](const Fields& f) { return Found(FindWindowExA(W(f), nullptr, f[2].c_str(), f[3].c_str())); }},
  {"item", [](const Fields& f) { return Found(GetDlgItem(W(f), As<int>(f[2]))); }},
  {"text", [](const Fields& f) { return Answer(WindowText(W(f))); }},
  {"settext", [](const Fields& f) { return Done(SetText(f)); }},
  {"enabled", [](const Fields& f) { return Answer(Flag(IsWindowEnabled(W(f)))); }},
  {"visible", [](const Fields& f) { return Answer(Flag(IsWindowVisible(W(f)))); }},
  {"exists", [](const Fields& f) { return Answer(Flag(IsWindow(W(f)))); }},
  {"topmost", [](const Fields& f) { return Answer(Flag(GetWindowLongPtrA(W(f), GWL_EXSTYLE) & WS_EX_TOPMOST)); }},
  {"owner", [](const Fields& f) { return Found(GetWindow(W(f), GW_OWNER)); }},
  {"post", [](const Fields& f) { return Done(Post(f)); }},
  {"send", SendTo},
  {"rect", [](const Fields& f) { return Answer(Rect(W(f), f[2] == "client")); }},  // client: on screen
  {"slide", [](const Fields& f) { return Done(Slide(W(f), As<int>(f[2]))); }},
  {"cursor", CursorPosition},
  {"metrics", [](const Fields& f) { return Answer(std::to_string(GetSystemMetrics(As<int>(f[1])))); }},
  {"doubleclicktime", [](const Fields&) { return Answer(std::to_string(GetDoubleClickTime())); }},
  {"setdoubleclicktime", [](const Fields& f) { return Done(SetDoubleClickTime(As<UINT>(f[1]))); }},
  {"usersaccess", [](const Fields& f) { return Answer(std::to_string(UsersAccess(f[1].c_str()))); }},
  // A mutex of that name, held while the driver runs (another program's object).
  {"mutex", [](const Fields& f) { return Done(CreateMutexA(nullptr, FALSE, f[1].c_str()) != nullptr); }},
  {"probe", [](const Fields& f) { return Found(StartProbe(f)); }},  // x, y, width, height
  {"events", TakeProbeLog},
};
// clang-format on

}  // namespace

int main() {
  for (std::string line; std::getline(std::cin, line) && line.rfind("quit", 0) != 0;) {
    Fields fields;
    std::istringstream stream(line.substr(0, line.find_last_not_of('\r') + 1));
    for (std::string field; std::getline(stream, field, '\t');) {
      fields.push_back(field);
    }
    fields.resize(std::max<std::size_t>(fields.size(), 6));
    const auto command = kCommands.find(fields[0]);
    const Answer answer = command != kCommands.end() ? command->second(fields) : std::nullopt;
    std::cout << (answer ? "OK" : "ERR") << (answer && !answer->empty() ? "\t" : "")
              << answer.value_or("") << std::endl;
  }
  return 0;
}
