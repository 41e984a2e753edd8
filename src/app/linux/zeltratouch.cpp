// zeltratouch: asks the daemon over its control socket and prints the
// answer. Exit status 0 when the daemon answered OK, 1 with its line
// otherwise, 2 for a bad command line.
//   zeltratouch [--socket PATH] status | reload | params [--set NAME=N,...]
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <iostream>
#include <string>

namespace {

constexpr char kDefaultSocket[] = "/run/zeltratouch/control";

int Usage() {
  std::cerr << "usage: zeltratouch [--socket PATH] status | reload | params [--set "
               "pressure=N,downcount=N,upcount=N,delay=N]\n"
               "(find and calibrate are not available yet)\n";
  return 2;
}

// The daemon's answer to request, or an empty text when it cannot be asked.
std::string Ask(const std::string& path, const std::string& request) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) {
    return "";
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  std::string answer;
  if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
    const std::string line = request + "\n";
    if (::send(fd, line.data(), line.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(line.size())) {
      char bytes[512];
      for (ssize_t count; (count = ::read(fd, bytes, sizeof bytes)) > 0;) {
        answer.append(bytes, static_cast<std::size_t>(count));
      }
    }
  }
  if (fd >= 0) {
    ::close(fd);
  }
  return answer.substr(0, answer.find('\n'));
}

}  // namespace

int main(int argc, char** argv) {
  std::string path = kDefaultSocket;
  int at = 1;
  if (at + 1 < argc && std::string(argv[at]) == "--socket") {
    path = argv[at + 1];
    at += 2;
  }
  if (at >= argc) {
    return Usage();
  }
  const std::string command = argv[at];
  std::string request;
  if ((command == "status" || command == "reload" || command == "params") && at + 1 == argc) {
    request = command;
  } else if (command == "params" && at + 3 == argc && std::string(argv[at + 1]) == "--set") {
    request = "params set " + std::string(argv[at + 2]);
  } else {
    return Usage();
  }
  const std::string answer = Ask(path, request);
  if (answer.empty()) {
    std::cerr << "zeltratouch: the daemon does not answer on " << path << ": "
              << std::strerror(errno) << "\n";
    return 1;
  }
  const bool ok = answer.rfind("OK", 0) == 0;
  (ok ? std::cout : std::cerr) << (ok ? answer.substr(answer.size() > 2 ? 3 : 2) : answer) << "\n";
  return ok ? 0 : 1;
}
