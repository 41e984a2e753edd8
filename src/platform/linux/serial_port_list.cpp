#include "platform/linux/serial_port_list.h"

#include <fcntl.h>
#include <glob.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <set>

namespace zt {
namespace {

// False only when the driver says there is no UART: a device that does not
// answer the question (a USB modem, a pseudo-terminal) may still be one.
bool HasUart(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    return true;  // busy or not ours to open: Find says so when it tries
  }
  serial_struct serial{};
  const bool unknown = ::ioctl(fd, TIOCGSERIAL, &serial) == 0 && serial.type == PORT_UNKNOWN;
  ::close(fd);
  return !unknown;
}

std::vector<std::string> Matches(const std::string& pattern) {
  glob_t found{};
  std::vector<std::string> paths;
  if (::glob(pattern.c_str(), 0, nullptr, &found) == 0) {
    paths.assign(found.gl_pathv, found.gl_pathv + found.gl_pathc);
  }
  ::globfree(&found);
  return paths;
}

}  // namespace

std::vector<std::string> ListSerialPorts(const std::vector<std::string>& patterns) {
  std::vector<std::string> ports;
  std::set<std::string> devices;
  for (const std::string& pattern : patterns) {
    for (const std::string& path : Matches(pattern)) {
      const std::unique_ptr<char, decltype(&std::free)> device(::realpath(path.c_str(), nullptr),
                                                               &std::free);
      if (device != nullptr && devices.insert(device.get()).second && HasUart(path)) {
        ports.push_back(path);
      }
    }
  }
  return ports;
}

}  // namespace zt
