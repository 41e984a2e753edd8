#include "app/command_line.h"

#include <windows.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "app/exit_codes.h"
#include "app/session_start.h"
#include "app/touch_app.h"
#include "engine/window_messages.h"
#include "platform/win32/win32_user_sessions.h"
#include "settings/settings_file.h"

namespace zt {
namespace {

// How long the running instance may take to answer (to store and apply a
// file, say).
constexpr UINT kImportAnswerMs = 10000;
// How long the running instance may take to end on /quit.
constexpr UINT kQuitMs = 5000;

// The standard output the program was given (a pipe, a file, Wine's
// terminal), else the console of the process that started it.
HANDLE Output() {
  HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
  if (output != nullptr && output != INVALID_HANDLE_VALUE) {
    return output;
  }
  if (!::AttachConsole(ATTACH_PARENT_PROCESS)) {
    return nullptr;
  }
  return ::CreateFileA("CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                       nullptr);
}

void Say(const std::string& line) {
  static HANDLE output = Output();
  const std::string text = line + "\r\n";
  DWORD written = 0;
  if (output != nullptr && output != INVALID_HANDLE_VALUE) {
    ::WriteFile(output, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  }
}

bool ReadWholeFile(const std::string& path, std::string& text) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream read;
  read << file.rdbuf();
  text = read.str();
  return file.good() || file.eof();
}

int Export(CTouchApp& app, const std::string& path) {
  const std::string text = settings::ExportSettings(app.m_platform.registry);
  if (text.empty()) {
    Say("cannot read the settings key HKLM\\Software\\Corvantic\\ZeltraTouch");
    return kExitKeyFailed;
  }
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << text;
  file.close();
  if (!file) {
    Say("cannot write " + path);
    return kExitFileFailed;
  }
  return kExitDone;
}

// What an import stored here left: said on the console, and as the exit
// code.
int Imported(const settings::ApplyOutcome& outcome) {
  if (outcome.stored) {
    return kExitDone;
  }
  Say("cannot write the settings key HKLM\\Software\\Corvantic\\ZeltraTouch; " +
      settings::ApplyFailureText(outcome));
  return outcome.notRestored.empty() ? kExitKeyFailed : kExitImportedInPart;
}

// What the running instance answered to an import handed to it.
int ImportAnswered(const settings::ApplyOutcome& outcome) {
  if (outcome.stored) {
    return kExitDone;
  }
  if (!outcome.notRestored.empty()) {
    Say("the running ZeltraTouch could not write the whole file; " +
        settings::ApplyFailureText(outcome));
    return kExitImportedInPart;
  }
  Say("the running ZeltraTouch did not take the settings or did not start again on them (a "
      "calibration under way, the key cannot be written, or the stored settings cannot be "
      "read)");
  return kExitProgramRefused;
}

// The file is checked here first, so that a bad line is named on this
// console; the running instance checks it again as it stores it. A check
// alone (the setup program's, before it installs anything) stops there.
int Import(CTouchApp& app, const std::string& path, bool checkOnly) {
  std::string text;
  if (!ReadWholeFile(path, text)) {
    Say("cannot read " + path);
    return kExitFileFailed;
  }
  const settings::SettingsFile file =
      settings::ReadSettingsFile(text, path, settings::FilePlatform::kWindows);
  for (const std::string& note : file.notes) {
    Say(note);
  }
  for (const std::string& error : file.errors) {
    Say(error);
  }
  if (!file.errors.empty()) {
    Say("nothing imported");
    return kExitBadSettings;
  }
  if (checkOnly) {
    return kExitDone;
  }
  app.ReadWindowTitle();
  if (HWND running = app.FindRunningInstance()) {
    std::string sent = path + '\0' + text;
    COPYDATASTRUCT data{kCopyDataImportSettings, static_cast<DWORD>(sent.size()), sent.data()};
    DWORD_PTR answer = 0;
    if (::SendMessageTimeoutA(running, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
                              SMTO_ABORTIFHUNG, kImportAnswerMs, &answer) == 0) {
      answer = 0;
    }
    return ImportAnswered(settings::AnsweredOutcome(file, answer));
  }
  const settings::ApplyOutcome outcome = settings::ApplySettingsFile(app.m_platform.registry, file);
  if (outcome.stored) {
    app.m_platform.events.OnSettingsImported(path);
  } else if (!outcome.notRestored.empty()) {
    app.m_platform.events.OnSettingsImportedInPart(path, settings::ApplyFailureText(outcome));
  }
  return Imported(outcome);
}

// The running instance's main window; none: said on the console.
HWND RunningInstanceOrSay(CTouchApp& app) {
  app.ReadWindowTitle();
  HWND running = app.FindRunningInstance();
  if (running == nullptr) {
    Say("ZeltraTouch is not running");
  }
  return running;
}

// The running instance writes its figures into a file of ours.
int Status(CTouchApp& app) {
  HWND running = RunningInstanceOrSay(app);
  if (running == nullptr) {
    return kExitNotRunning;
  }
  char folder[MAX_PATH] = {};
  char path[MAX_PATH] = {};
  if (::GetTempPathA(MAX_PATH, folder) == 0 || ::GetTempFileNameA(folder, "zts", 0, path) == 0) {
    Say("cannot make a temporary file");
    return kExitFileFailed;
  }
  COPYDATASTRUCT data{kCopyDataStatus, static_cast<DWORD>(std::strlen(path) + 1), path};
  DWORD_PTR answer = 0;
  std::string json;
  const bool answered =
      ::SendMessageTimeoutA(running, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
                            SMTO_ABORTIFHUNG, kImportAnswerMs, &answer) != 0 &&
      answer == 1 && ReadWholeFile(path, json) && !json.empty();
  ::DeleteFileA(path);
  Say(answered ? json : "the running ZeltraTouch did not answer");
  return answered ? kExitDone : kExitProgramRefused;
}

// The running instance ends as its own exit does, within kQuitMs: it
// answers once its last writes are made, and its process then ends.
int Quit(CTouchApp& app) {
  HWND running = RunningInstanceOrSay(app);
  if (running == nullptr) {
    return kExitNotRunning;
  }
  DWORD processId = 0;
  ::GetWindowThreadProcessId(running, &processId);
  HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, processId);
  const ULONGLONG deadline = ::GetTickCount64() + kQuitMs;
  char nothing = 0;
  COPYDATASTRUCT data{kCopyDataQuit, sizeof nothing, &nothing};
  DWORD_PTR answer = 0;
  bool ended = ::SendMessageTimeoutA(running, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
                                     SMTO_ABORTIFHUNG, kQuitMs, &answer) != 0 &&
               answer == 1;
  if (ended && process != nullptr) {
    const ULONGLONG now = ::GetTickCount64();
    const DWORD left = now < deadline ? static_cast<DWORD>(deadline - now) : 0;
    ended = ::WaitForSingleObject(process, left) == WAIT_OBJECT_0;
  }
  if (process != nullptr) {
    ::CloseHandle(process);
  }
  Say(ended ? "ZeltraTouch ended" : "the running ZeltraTouch did not end");
  return ended ? kExitDone : kExitProgramRefused;
}

// Whether the program starts at each logon: the setup's Run entry, made
// with /AUTOSTART.
bool StartsAtLogon() {
  return ::RegGetValueW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                        L"ZeltraTouch", RRF_RT_REG_SZ, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

// The setup's start of the program when it runs as SYSTEM: for the user at
// the machine, in that user's session.
int StartForUser() {
  Win32UserSessions sessions;
  const SessionStart start = StartInUserSession(sessions);
  const std::string session = std::to_string(start.session);
  switch (start.outcome) {
    case SessionStartOutcome::kStarted:
      Say("ZeltraTouch started in session " + session);
      return kExitDone;
    case SessionStartOutcome::kAlreadyRunning:
      Say("ZeltraTouch runs in session " + session + " already");
      return kExitDone;
    case SessionStartOutcome::kNoUserLoggedOn:
      Say(StartsAtLogon() ? "no user is logged on at the console: ZeltraTouch starts at the "
                            "next logon"
                          : "no user is logged on at the console: ZeltraTouch was not started "
                            "(it does not start at logon)");
      return kExitNotRunning;
    case SessionStartOutcome::kRefused:
      break;
  }
  Say("ZeltraTouch could not be started for the logged-on user (system error " +
      std::to_string(start.error) + ")");
  return kExitStopped;
}

}  // namespace

bool RunCommand(CTouchApp& app, int argc, char** argv, int& exitCode) {
  if (argc < 2) {
    return false;
  }
  const std::string command = argv[1];
  const bool withFile = argc == 3 && argv[2][0] != '\0';
  if (withFile && _stricmp(command.c_str(), "/export") == 0) {
    exitCode = Export(app, argv[2]);
  } else if (withFile && (_stricmp(command.c_str(), "/import") == 0 ||
                          _stricmp(command.c_str(), "/check") == 0)) {
    exitCode = Import(app, argv[2], _stricmp(command.c_str(), "/check") == 0);
  } else if (argc == 2 && _stricmp(command.c_str(), "/status") == 0) {
    exitCode = Status(app);
  } else if (argc == 2 && _stricmp(command.c_str(), "/startforuser") == 0) {
    exitCode = StartForUser();
  } else if (argc == 2 && _stricmp(command.c_str(), "/quit") == 0) {
    exitCode = Quit(app);
  } else {
    Say("usage: ZeltraTouch.exe [/export FILE | /import FILE | /check FILE | /status | /quit | "
        "/startforuser]");
    exitCode = kExitBadCommandLine;
  }
  return true;
}

}  // namespace zt
