#include "platform/win32/win32_user_sessions.h"

#include <windows.h>

#include <userenv.h>
#include <wtsapi32.h>

#include <string>

namespace zt {
namespace {

SessionState StateOf(WTS_CONNECTSTATE_CLASS state) {
  switch (state) {
    case WTSActive:
      return SessionState::kActive;
    case WTSConnected:
      return SessionState::kConnected;
    case WTSDisconnected:
      return SessionState::kDisconnected;
    case WTSIdle:
      return SessionState::kIdle;
    default:
      return SessionState::kOther;
  }
}

std::wstring ProgramPath() {
  std::wstring path(MAX_PATH, L'\0');
  const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), MAX_PATH);
  path.resize(length < MAX_PATH ? length : 0);
  return path;
}

std::wstring FolderOf(const std::wstring& path) {
  const std::size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring FileNameOf(const std::wstring& path) {
  const std::size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// The program as the token's user, on the interactive desktop of the
// token's session, in the program's own folder.
DWORD CreateProgramProcess(HANDLE token, void* environment) {
  const std::wstring path = ProgramPath();
  if (path.empty()) {
    return ::GetLastError();
  }
  std::wstring commandLine = L"\"" + path + L"\"";
  const std::wstring folder = FolderOf(path);
  wchar_t desktop[] = L"winsta0\\default";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.lpDesktop = desktop;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessAsUserW(token, path.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                              CREATE_UNICODE_ENVIRONMENT, environment,
                              folder.empty() ? nullptr : folder.c_str(), &startup, &process)) {
    return ::GetLastError();
  }
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return ERROR_SUCCESS;
}

}  // namespace

std::uint32_t Win32UserSessions::ConsoleSession() {
  return ::WTSGetActiveConsoleSessionId();
}

bool Win32UserSessions::ListSessions(std::vector<UserSession>& sessions, std::uint32_t& error) {
  WTS_SESSION_INFOW* listed = nullptr;
  DWORD count = 0;
  if (!::WTSEnumerateSessionsW(WTS_CURRENT_SERVER_HANDLE, 0, 1, &listed, &count)) {
    error = ::GetLastError();
    return false;
  }
  for (DWORD i = 0; i < count; ++i) {
    sessions.push_back({listed[i].SessionId, StateOf(listed[i].State)});
  }
  ::WTSFreeMemory(listed);
  return true;
}

// By the program's file name, in any session. A list the system refuses
// counts as none: the program started then keeps to the single-instance
// rule itself.
std::uint32_t Win32UserSessions::SessionOfProgram() {
  WTS_PROCESS_INFOW* processes = nullptr;
  DWORD count = 0;
  if (!::WTSEnumerateProcessesW(WTS_CURRENT_SERVER_HANDLE, 0, 1, &processes, &count)) {
    return kNoSession;
  }
  const std::wstring name = FileNameOf(ProgramPath());
  std::uint32_t session = kNoSession;
  for (DWORD i = 0; i < count && session == kNoSession; ++i) {
    if (processes[i].pProcessName != nullptr && processes[i].ProcessId != ::GetCurrentProcessId() &&
        ::lstrcmpiW(processes[i].pProcessName, name.c_str()) == 0) {
      session = processes[i].SessionId;
    }
  }
  ::WTSFreeMemory(processes);
  return session;
}

std::uint32_t Win32UserSessions::StartProgramAs(std::uint32_t session) {
  HANDLE token = nullptr;
  if (!::WTSQueryUserToken(session, &token)) {
    return ::GetLastError();
  }
  void* environment = nullptr;
  DWORD error = ERROR_SUCCESS;
  if (::CreateEnvironmentBlock(&environment, token, FALSE)) {
    error = CreateProgramProcess(token, environment);
    ::DestroyEnvironmentBlock(environment);
  } else {
    error = ::GetLastError();
  }
  ::CloseHandle(token);
  return error;
}

}  // namespace zt
