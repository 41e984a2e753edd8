// zeltratouch: asks the daemon over its control socket and prints the
// answer, or runs a calibration with it. Exit status 0 when the daemon
// answered OK, 1 with one line on what went wrong otherwise, 2 for a bad
// command line.
//   zeltratouch [--socket PATH] status [--json] | reload | config | export | find
//               | params [--set LIST] | calibrate [--monitor NAME]
//   zeltratouch [--socket PATH] import FILE
// export prints the values in force as a settings file; import reads one
// (from either platform) and prints what of it applies here, for conf.d.
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "app/linux/calibration_window.h"
#include "app/linux/control_protocol.h"
#include "settings/settings_file.h"

namespace {

constexpr char kDefaultSocket[] = "/run/zeltratouch/control";
constexpr char kUsage[] =
    "usage: zeltratouch [--socket PATH] status [--json] | reload | config | export | find\n"
    "       | params [--set pressure=N,downcount=N,upcount=N,delay=N]\n"
    "       | calibrate [--monitor NAME]\n"
    "       zeltratouch import FILE\n"
    "       zeltratouch --help | --version\n";
// How long the daemon may take to take the connection, and to answer (find
// asks every port for a few seconds; a calibration's own end is bounded by
// the run, so only its first answer and its last wait this long).
constexpr int kConnectMs = 5000;
constexpr int kAnswerMs = 120000;
constexpr char kCheck[] = " (is it running? systemctl status zeltratouchd)\n";

int Usage() {
  std::cerr << kUsage;
  return 2;
}

// The request the command line asks for, and the monitor of a calibration;
// false for a command line that is not one.
bool ParseCommand(int argc, char** argv, int at, std::string& request, std::string& monitor) {
  const int left = argc - at;
  const std::string command = at < argc ? argv[at] : "";
  const std::string option = left >= 2 ? argv[at + 1] : "";
  if (left == 1 && command == "export") {
    request = "config";
  } else if (left == 1 && (command == "status" || command == "reload" || command == "config" ||
                           command == "find" || command == "params" || command == "calibrate")) {
    request = command;
  } else if (left == 2 && command == "status" && option == "--json") {
    request = "status json";
  } else if (left == 3 && command == "params" && option == "--set") {
    request = "params set " + std::string(argv[at + 2]);
  } else if (left == 3 && command == "calibrate" && option == "--monitor" && argv[at + 2][0]) {
    request = command;
    monitor = argv[at + 2];
  } else {
    return false;
  }
  return true;
}

// The lines after config's "OK N values".
int PrintConfig(zt::CControlPeer& daemon, const std::string& answer) {
  const long count = std::strtol(answer.c_str() + 3, nullptr, 10);
  std::string line;
  for (long i = 0; i < count; ++i) {
    if (!daemon.WaitForLine(kAnswerMs) || !daemon.ReadLine(line)) {
      std::cerr << "zeltratouch: the daemon stopped answering\n";
      return 1;
    }
    const auto tab = line.find('\t');
    std::cout << line.substr(0, tab)
              << (tab == std::string::npos ? "" : "  (" + line.substr(tab + 1) + ")") << "\n";
  }
  return 0;
}

// The lines after config's "OK N values" as a settings file, but for the
// daemon's own record of its last touch, which is no setting.
int PrintExport(zt::CControlPeer& daemon, const std::string& answer) {
  const long count = std::strtol(answer.c_str() + 3, nullptr, 10);
  std::vector<std::pair<std::string, std::string>> values;
  std::string line;
  for (long i = 0; i < count; ++i) {
    if (!daemon.WaitForLine(kAnswerMs) || !daemon.ReadLine(line)) {
      std::cerr << "zeltratouch: the daemon stopped answering\n";
      return 1;
    }
    const std::string setting = line.substr(0, line.find('\t'));
    const auto equals = setting.find('=');
    if (setting.substr(0, equals) == zt::settings::kLastTouch) {
      continue;
    }
    values.emplace_back(setting.substr(0, equals),
                        equals == std::string::npos ? "" : setting.substr(equals + 1));
  }
  std::cout << zt::settings::SettingsFileText(values);
  return 0;
}

// A settings file checked whole: what applies here on standard output, the
// lines passed over and the bad ones (then nothing, and 2) on standard
// error.
int Import(const std::string& path) {
  std::ifstream in(path);
  if (!in) {
    std::cerr << "zeltratouch: cannot read " << path << ": " << std::strerror(errno) << "\n";
    return 1;
  }
  std::ostringstream text;
  text << in.rdbuf();
  const zt::settings::SettingsFile file =
      zt::settings::ReadSettingsFile(text.str(), path, zt::settings::FilePlatform::kLinux);
  for (const auto* lines : {&file.notes, &file.errors}) {
    for (const std::string& line : *lines) {
      std::cerr << line << "\n";
    }
  }
  if (!file.errors.empty()) {
    std::cerr << "zeltratouch: nothing imported\n";
    return 2;
  }
  std::vector<std::pair<std::string, std::string>> values;
  for (const auto& value : file.values) {
    values.emplace_back(value.name, value.value);
  }
  std::cout << zt::settings::SettingsFileText(values);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string first = argc > 1 ? argv[1] : "";
  if (first == "--help" || first == "-h") {
    std::cout << kUsage;
    return 0;
  }
  if (first == "--version") {
    std::cout << "zeltratouch " << ZT_VERSION_STRING << "\n";
    return 0;
  }
  std::string path = kDefaultSocket;
  int at = 1;
  if (at + 1 < argc && std::string(argv[at]) == "--socket") {
    path = argv[at + 1];
    at += 2;
  }
  if (argc - at == 2 && std::string(argv[at]) == "import") {
    return Import(argv[at + 1]);
  }
  std::string request;
  std::string monitor;
  if (!ParseCommand(argc, argv, at, request, monitor)) {
    return Usage();
  }
  zt::CControlPeer daemon = zt::CControlPeer::Connect(path, kConnectMs);
  std::string answer;
  if (!daemon.IsOpen()) {
    std::cerr << "zeltratouch: cannot reach the daemon on " << path << ": " << std::strerror(errno)
              << kCheck;
    return 1;
  }
  // A daemon that refuses the peer answers before it reads: its answer is
  // read even when the request could no longer be sent.
  daemon.Send(request);
  if (!daemon.WaitForLine(kAnswerMs) || !daemon.ReadLine(answer)) {
    std::cerr << "zeltratouch: the daemon on " << path << " did not answer" << kCheck;
    return 1;
  }
  if (answer.rfind("OK", 0) != 0) {
    std::cerr << "zeltratouch: " << (answer.rfind("ERR ", 0) == 0 ? answer.substr(4) : answer)
              << "\n";
    return 1;
  }
  zt::LiveCalibration inForce;
  std::optional<std::string> daemonMonitor;
  if (request == "calibrate" && zt::ParseCalibrationStart(answer, inForce, daemonMonitor)) {
    return zt::RunCalibrationWindow(daemon, monitor, daemonMonitor, inForce);
  }
  if (request == "config") {
    return std::string(argv[at]) == "export" ? PrintExport(daemon, answer)
                                             : PrintConfig(daemon, answer);
  }
  std::cout << answer.substr(answer.size() > 2 ? 3 : 2) << "\n";
  return 0;
}
