#include "platform/win32/win32_user_sessions.h"

#include <windows.h>

#include <userenv.h>
#include <wtsapi32.h>

#include <string>
#include <vector>

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

// The rights a token is opened and duplicated with to start a process.
constexpr DWORD kStartTokenRights = TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY |
                                    TOKEN_ADJUST_DEFAULT | TOKEN_ADJUST_SESSIONID;

// The program as the token's user, on the interactive desktop of the
// token's session, in the program's own folder. CreateProcessAsUserW needs
// a right only SYSTEM holds; an administrator's process starts it with
// CreateProcessWithTokenW (the impersonation right) instead.
DWORD CreateProgramProcess(HANDLE token, void* environment, bool asSystem) {
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
  const wchar_t* directory = folder.empty() ? nullptr : folder.c_str();
  const BOOL started =
      asSystem ? ::CreateProcessAsUserW(token, path.c_str(), commandLine.data(), nullptr, nullptr,
                                        FALSE, CREATE_UNICODE_ENVIRONMENT, environment, directory,
                                        &startup, &process)
               : ::CreateProcessWithTokenW(token, 0, path.c_str(), commandLine.data(),
                                           CREATE_UNICODE_ENVIRONMENT, environment, directory,
                                           &startup, &process);
  if (!started) {
    return ::GetLastError();
  }
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return ERROR_SUCCESS;
}

// Lets this process open other users' processes: administrators hold the
// privilege, disabled.
void EnableDebugPrivilege() {
  HANDLE own = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &own)) {
    return;
  }
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  if (::LookupPrivilegeValueW(nullptr, L"SeDebugPrivilege", &privileges.Privileges[0].Luid)) {
    ::AdjustTokenPrivileges(own, FALSE, &privileges, 0, nullptr, nullptr);
  }
  ::CloseHandle(own);
}

std::wstring SessionText(DWORD session, WTS_INFO_CLASS what) {
  wchar_t* text = nullptr;
  DWORD bytes = 0;
  if (!::WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, session, what, &text, &bytes)) {
    return {};
  }
  std::wstring copy = text;
  ::WTSFreeMemory(text);
  return copy;
}

// The security identifier of the user logged on in the session.
bool SessionUser(DWORD session, std::vector<BYTE>& sid) {
  const std::wstring user = SessionText(session, WTSUserName);
  if (user.empty()) {
    return false;
  }
  const std::wstring account = SessionText(session, WTSDomainName) + L"\\" + user;
  sid.resize(SECURITY_MAX_SID_SIZE);
  DWORD sidSize = SECURITY_MAX_SID_SIZE;
  wchar_t domain[256] = {};
  DWORD domainSize = 256;
  SID_NAME_USE use{};
  return ::LookupAccountNameW(nullptr, account.c_str(), sid.data(), &sidSize, domain, &domainSize,
                              &use) != 0;
}

// The integrity level of the token (its label's last part); 0 unknown.
DWORD IntegrityLevel(HANDLE token) {
  DWORD size = 0;
  ::GetTokenInformation(token, TokenIntegrityLevel, nullptr, 0, &size);
  std::vector<BYTE> label(size);
  if (size == 0 || !::GetTokenInformation(token, TokenIntegrityLevel, label.data(), size, &size)) {
    return 0;
  }
  const PSID sid = reinterpret_cast<const TOKEN_MANDATORY_LABEL*>(label.data())->Label.Sid;
  return *::GetSidSubAuthority(sid, *::GetSidSubAuthorityCount(sid) - 1U);
}

// Whether the token is one the user's own programs run with: not elevated,
// at medium integrity, not restricted and not an app container (a sandboxed
// process of the user's could neither open the port nor write the settings).
bool IsPlainUserToken(HANDLE token) {
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  if (!::GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) ||
      elevation.TokenIsElevated != 0 || ::IsTokenRestricted(token)) {
    return false;
  }
  // Before Windows 8 the question is refused: there are no app containers.
  DWORD appContainer = 0;
  if (::GetTokenInformation(token, TokenIsAppContainer, &appContainer, sizeof appContainer,
                            &size) &&
      appContainer != 0) {
    return false;
  }
  const DWORD level = IntegrityLevel(token);
  return level >= SECURITY_MANDATORY_MEDIUM_RID && level < SECURITY_MANDATORY_HIGH_RID;
}

// A primary token of the process, when it runs as the user's own programs do.
HANDLE UnelevatedToken(DWORD processId) {
  HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
  if (process == nullptr) {
    return nullptr;
  }
  HANDLE token = nullptr;
  HANDLE primary = nullptr;
  if (::OpenProcessToken(process, kStartTokenRights, &token)) {
    if (IsPlainUserToken(token) &&
        !::DuplicateTokenEx(token, kStartTokenRights, nullptr, SecurityImpersonation, TokenPrimary,
                            &primary)) {
      primary = nullptr;
    }
    ::CloseHandle(token);
  }
  ::CloseHandle(process);
  return primary;
}

// What an administrator, who may not ask for a session's user token, starts
// the program with: the token of a process the session's user runs there
// unelevated (the shell, say). ERROR_NO_TOKEN when nobody is logged on.
DWORD SessionUserProcessToken(DWORD session, HANDLE& token) {
  std::vector<BYTE> user;
  if (!SessionUser(session, user)) {
    return ERROR_NO_TOKEN;
  }
  EnableDebugPrivilege();
  WTS_PROCESS_INFOW* processes = nullptr;
  DWORD count = 0;
  if (!::WTSEnumerateProcessesW(WTS_CURRENT_SERVER_HANDLE, 0, 1, &processes, &count)) {
    return ::GetLastError();
  }
  token = nullptr;
  for (DWORD i = 0; i < count && token == nullptr; ++i) {
    if (processes[i].SessionId == session && processes[i].pUserSid != nullptr &&
        ::EqualSid(processes[i].pUserSid, user.data())) {
      token = UnelevatedToken(processes[i].ProcessId);
    }
  }
  ::WTSFreeMemory(processes);
  return token == nullptr ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
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
  const bool asSystem = ::WTSQueryUserToken(session, &token) != 0;
  DWORD error = asSystem ? ERROR_SUCCESS : ::GetLastError();
  if (error == ERROR_PRIVILEGE_NOT_HELD) {
    error = SessionUserProcessToken(session, token);
  }
  if (error != ERROR_SUCCESS) {
    return error;
  }
  void* environment = nullptr;
  if (::CreateEnvironmentBlock(&environment, token, FALSE)) {
    error = CreateProgramProcess(token, environment, asSystem);
    ::DestroyEnvironmentBlock(environment);
  } else {
    error = ::GetLastError();
  }
  ::CloseHandle(token);
  return error;
}

}  // namespace zt
