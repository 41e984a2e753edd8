// zeltratouch: asks the daemon over its control socket and prints the
// answer, or runs a calibration with it. Exit status 0 when the daemon
// answered OK, 1 with one line on what went wrong otherwise, 2 for a bad
// command line.
//   zeltratouch [--socket PATH] status | reload | find | params [--set LIST]
//               | calibrate [--monitor NAME]
#include <cerrno>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>

#include "app/linux/calibration_window.h"
#include "app/linux/control_protocol.h"

namespace {

constexpr char kDefaultSocket[] = "/run/zeltratouch/control";

int Usage() {
  std::cerr << "usage: zeltratouch [--socket PATH] status | reload | find\n"
               "       | params [--set pressure=N,downcount=N,upcount=N,delay=N]\n"
               "       | calibrate [--monitor NAME]\n";
  return 2;
}

// The request the command line asks for, and the monitor of a calibration;
// false for a command line that is not one.
bool ParseCommand(int argc, char** argv, int at, std::string& request, std::string& monitor) {
  const int left = argc - at;
  const std::string command = at < argc ? argv[at] : "";
  const std::string option = left >= 2 ? argv[at + 1] : "";
  if (left == 1 && (command == "status" || command == "reload" || command == "find" ||
                    command == "params" || command == "calibrate")) {
    request = command;
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

}  // namespace

int main(int argc, char** argv) {
  std::string path = kDefaultSocket;
  int at = 1;
  if (at + 1 < argc && std::string(argv[at]) == "--socket") {
    path = argv[at + 1];
    at += 2;
  }
  std::string request;
  std::string monitor;
  if (!ParseCommand(argc, argv, at, request, monitor)) {
    return Usage();
  }
  zt::CControlPeer daemon = zt::CControlPeer::Connect(path);
  std::string answer;
  if (!daemon.IsOpen()) {
    std::cerr << "zeltratouch: cannot reach the daemon on " << path << ": " << std::strerror(errno)
              << "\n";
    return 1;
  }
  // A daemon that refuses the peer answers before it reads: its answer is
  // read even when the request could no longer be sent.
  daemon.Send(request);
  if (!daemon.ReadLine(answer)) {
    std::cerr << "zeltratouch: the daemon on " << path << " did not answer\n";
    return 1;
  }
  if (answer.rfind("OK", 0) != 0) {
    std::cerr << "zeltratouch: " << (answer.rfind("ERR ", 0) == 0 ? answer.substr(4) : answer)
              << "\n";
    return 1;
  }
  std::optional<std::string> daemonMonitor;
  if (request == "calibrate" && zt::ParseCalibrationStart(answer, daemonMonitor)) {
    return zt::RunCalibrationWindow(daemon, monitor, daemonMonitor);
  }
  std::cout << answer.substr(answer.size() > 2 ? 3 : 2) << "\n";
  return 0;
}
