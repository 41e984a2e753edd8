// The setup program under Wine: silent install, the files, the Start-menu
// entry, the settings key with its values and its access list, the
// installed program starting, the start-at-logon option, a reinstall that
// keeps existing settings, and the silent uninstall.
#include <windows.h>

#include <aclapi.h>
#include <gtest/gtest.h>
#include <sddl.h>
#include <shlobj.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "gui_test_support.h"

namespace zt {
namespace {

constexpr char kSettingsKey[] = "Software\\Corvantic\\ZeltraTouch";
constexpr char kUninstallKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ZeltraTouch";
constexpr char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char kInstallDir[] = "C:\\ZeltraTouchTest\\ZeltraTouch";
constexpr DWORD kProcessTimeoutMs = 120000;

bool Exists(const std::string& path) {
  return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool KeyExists(const char* path) {
  HKEY key = nullptr;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
    return false;
  }
  ::RegCloseKey(key);
  return true;
}

// The setup program built by the installer target, as a Wine path.
std::string InstallerPath() {
  const char* unixPath = std::getenv("ZT_INSTALLER");
  std::string path = "Z:";
  path.append(unixPath != nullptr ? unixPath : "");
  for (char& c : path) {
    c = c == '/' ? '\\' : c;
  }
  return path;
}

std::string InInstallDir(const char* file) {
  std::string path = kInstallDir;
  path.append("\\").append(file);
  return path;
}

// "program" arguments
std::string CommandLine(const std::string& program, const std::string& arguments = {}) {
  std::string line = "\"";
  line.append(program).append("\"");
  if (!arguments.empty()) {
    line.append(" ").append(arguments);
  }
  return line;
}

// Runs a command line to its end; its exit code, or -1.
long RunProcess(std::string commandLine, PROCESS_INFORMATION* started = nullptr) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
    return -1;
  }
  if (started != nullptr) {
    *started = process;
    return 0;
  }
  DWORD code = static_cast<DWORD>(-1);
  if (::WaitForSingleObject(process.hProcess, kProcessTimeoutMs) == WAIT_OBJECT_0) {
    ::GetExitCodeProcess(process.hProcess, &code);
  }
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return static_cast<long>(code);
}

std::string ReadText(const char* key, const char* name) {
  char text[1024] = {};
  DWORD size = sizeof text - 1;
  DWORD type = 0;
  if (::RegGetValueA(HKEY_LOCAL_MACHINE, key, name, RRF_RT_ANY, &type, text, &size) !=
          ERROR_SUCCESS ||
      type != REG_SZ) {
    return "<absent>";
  }
  return text;
}

long ReadNumber(const char* name) {
  DWORD value = 0;
  DWORD size = sizeof value;
  if (::RegGetValueA(HKEY_LOCAL_MACHINE, kSettingsKey, name, RRF_RT_REG_DWORD, nullptr, &value,
                     &size) != ERROR_SUCCESS) {
    return -1;
  }
  return static_cast<long>(value);
}

// The access that the key's access list allows BUILTIN\Users.
ACCESS_MASK UsersAccess() {
  HKEY key = nullptr;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, READ_CONTROL, &key) != ERROR_SUCCESS) {
    return 0;
  }
  PACL acl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ::GetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, &acl,
                    nullptr, &descriptor);
  ::RegCloseKey(key);
  PSID users = nullptr;
  ::ConvertStringSidToSidA("BU", &users);
  ACCESS_MASK allowed = 0;
  for (DWORD i = 0; acl != nullptr && i < acl->AceCount; ++i) {
    void* entry = nullptr;
    if (::GetAce(acl, i, &entry) &&
        static_cast<ACE_HEADER*>(entry)->AceType == ACCESS_ALLOWED_ACE_TYPE) {
      auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(entry);
      if (::EqualSid(&ace->SidStart, users)) {
        allowed |= ace->Mask;
      }
    }
  }
  ::LocalFree(users);
  ::LocalFree(descriptor);
  return allowed;
}

std::string StartMenuEntry() {
  char programs[MAX_PATH] = {};
  ::SHGetFolderPathA(nullptr, CSIDL_COMMON_PROGRAMS, nullptr, 0, programs);
  std::string entry = programs;
  return entry.append("\\ZeltraTouch\\ZeltraTouch.lnk");
}

class SetupProgram : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_NE(std::getenv("ZT_INSTALLER"), nullptr);
    ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, kSettingsKey);
    ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, kUninstallKey);
    ::RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kRunKey, "ZeltraTouch");
  }

  void Install(const char* options) {
    std::string arguments = "/S ";
    arguments.append(options).append(" /D=").append(kInstallDir);
    ASSERT_EQ(RunProcess(CommandLine(InstallerPath(), arguments)), 0);
  }

  void UninstallAndWaitUntilGone() {
    ASSERT_EQ(RunProcess(CommandLine(InInstallDir("Uninstall.exe"), "/S")), 0);
    // The uninstaller finishes from a copy of itself in the temporary
    // directory; wait until its work is done.
    EXPECT_TRUE(test::PumpMessagesUntil(
        [] { return !Exists(kInstallDir) && !KeyExists(kSettingsKey); }, 60000));
  }

  static std::string Program() { return InInstallDir("ZeltraTouch.exe"); }
};

TEST_F(SetupProgram, InstallsStartsAndUninstallsCleanly) {
  Install("");
  EXPECT_TRUE(Exists(Program()));
  EXPECT_TRUE(Exists(InInstallDir("Uninstall.exe")));
  EXPECT_TRUE(Exists(StartMenuEntry()));
  EXPECT_EQ(ReadText(kUninstallKey, "DisplayName"), "ZeltraTouch");
  EXPECT_EQ(ReadText(kRunKey, "ZeltraTouch"), "<absent>") << "start at logon is an option";

  EXPECT_EQ(ReadText(kSettingsKey, "Port"), "COM1");
  EXPECT_EQ(ReadText(kSettingsKey, "ZeltraTouch"), "TactivoV1.12 ");
  EXPECT_EQ(ReadNumber("First"), 1);
  EXPECT_EQ(ReadNumber("Right"), 0);
  EXPECT_EQ(ReadNumber("StartUpMode"), 0);
  EXPECT_EQ(ReadNumber("TouchMode"), 0);
  EXPECT_EQ(ReadNumber("DZONE"), 1);
  EXPECT_EQ(ReadNumber("DZoneX"), 200);
  EXPECT_EQ(ReadNumber("DZoneY"), 200);
  EXPECT_EQ(ReadNumber("Beep"), 0);
  EXPECT_EQ(ReadNumber("Freq"), 600);
  EXPECT_EQ(ReadNumber("Duration"), 600);
  EXPECT_EQ(ReadNumber("DTime"), -1) << "the system's double-click time stays";
  EXPECT_EQ(ReadNumber("PX0"), -1) << "the default calibration applies";
  const ACCESS_MASK users = UsersAccess();
  EXPECT_EQ(users & (KEY_QUERY_VALUE | KEY_SET_VALUE), KEY_QUERY_VALUE | KEY_SET_VALUE);
  EXPECT_EQ(users & (DELETE | WRITE_DAC | WRITE_OWNER | KEY_CREATE_SUB_KEY), 0u);

  // The installed program starts with the title from the key; IDOK ends it.
  PROCESS_INFORMATION program{};
  ASSERT_EQ(RunProcess(CommandLine(Program()), &program), 0);
  HWND window = test::WaitForWindow("#32770", "TactivoV1.12 ", 20000);
  EXPECT_NE(window, nullptr);
  if (window != nullptr) {
    ::PostMessageA(window, WM_COMMAND, IDOK, 0);
  }
  EXPECT_EQ(::WaitForSingleObject(program.hProcess, 20000), WAIT_OBJECT_0);
  ::TerminateProcess(program.hProcess, 1);
  ::CloseHandle(program.hThread);
  ::CloseHandle(program.hProcess);

  UninstallAndWaitUntilGone();
  EXPECT_FALSE(Exists(StartMenuEntry()));
  EXPECT_FALSE(KeyExists(kUninstallKey));
  EXPECT_FALSE(KeyExists("Software\\Corvantic"));
}

TEST_F(SetupProgram, ReinstallKeepsSettingsAndCanStartAtLogon) {
  HKEY key = nullptr;
  ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const char port[] = "COM7";
  const DWORD touchMode = 2;
  ::RegSetValueExA(key, "Port", 0, REG_SZ, reinterpret_cast<const BYTE*>(port), 4);
  ::RegSetValueExA(key, "TouchMode", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&touchMode),
                   sizeof touchMode);
  ::RegCloseKey(key);

  Install("/AUTOSTART");
  EXPECT_EQ(ReadText(kSettingsKey, "Port"), "COM7");
  EXPECT_EQ(ReadNumber("TouchMode"), 2);
  EXPECT_EQ(ReadNumber("DZoneX"), 200) << "missing values are added";
  EXPECT_EQ(ReadText(kRunKey, "ZeltraTouch"), CommandLine(Program()));

  UninstallAndWaitUntilGone();
  EXPECT_EQ(ReadText(kRunKey, "ZeltraTouch"), "<absent>");
}

}  // namespace
}  // namespace zt
