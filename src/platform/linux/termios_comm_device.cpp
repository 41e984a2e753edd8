#include "platform/linux/termios_comm_device.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <utility>

namespace zt {
namespace {

static_assert(sizeof(termios) <= sizeof(CommState::platformBlock), "termios must fit in CommState");

// The error codes the serial port understands, as on Windows.
constexpr std::uint32_t kErrorDeviceNotConnected = 1167;
constexpr std::uint32_t kErrorGenFailure = 31;
// Windows' values for the members the serial port sets.
constexpr std::uint8_t kOddParity = 1;
constexpr std::uint8_t kEvenParity = 2;

struct Speed {
  std::uint32_t baud;
  speed_t code;
};
constexpr Speed kSpeeds[] = {{1200, B1200},   {2400, B2400},   {4800, B4800},   {9600, B9600},
                             {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200}};

int Descriptor(CommHandle handle) {
  return static_cast<int>(handle) - 1;
}

// A device that has gone away, or another failure.
std::uint32_t ErrorOf(int error) {
  return error == EIO || error == ENXIO || error == ENODEV ? kErrorDeviceNotConnected
                                                           : kErrorGenFailure;
}

}  // namespace

TermiosCommDevice::~TermiosCommDevice() {
  for (const auto& [handle, port] : m_ports) {
    ::close(port.cancelEvent);
    ::close(Descriptor(handle));
  }
}

bool TermiosCommDevice::Find(CommHandle handle, Port& port) {
  const std::lock_guard<std::mutex> lock(m_lock);
  const auto found = m_ports.find(handle);
  if (found == m_ports.end()) {
    return false;
  }
  port = found->second;
  return true;
}

// Never blocks: the descriptor is opened non-blocking, so a port whose
// carrier is down does not hold up the open.
CommHandle TermiosCommDevice::Open(const char* name) {
  const std::string path = name == nullptr ? "" : name;
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    SayWhy(path, std::strerror(errno));
    return kInvalidComm;
  }
  const int cancel = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  const char* why = ::isatty(fd) == 0                     ? "not a terminal"
                    : ::ioctl(fd, TIOCEXCL) != 0          ? std::strerror(errno)
                    : ::flock(fd, LOCK_EX | LOCK_NB) != 0 ? "in use by another program (locked)"
                    : cancel < 0                          ? std::strerror(errno)
                                                          : nullptr;
  const CommHandle handle = static_cast<CommHandle>(fd) + 1;
  bool entered = false;
  if (why == nullptr) {
    const std::lock_guard<std::mutex> lock(m_lock);
    entered = m_ports.try_emplace(handle, Port{cancel}).second;
    m_openFailures.erase(path);
  }
  if (!entered) {
    if (cancel >= 0) {
      ::close(cancel);
    }
    ::close(fd);
    SayWhy(path, why != nullptr ? why : "already open");
    return kInvalidComm;
  }
  return handle;
}

void TermiosCommDevice::SayWhy(const std::string& name, const std::string& why) {
  {
    const std::lock_guard<std::mutex> lock(m_lock);
    std::string& said = m_openFailures[name];
    if (m_log == nullptr || said == why) {
      return;
    }
    said = why;
  }
  m_log->Write("cannot open " + name + ": " + why);
}

bool TermiosCommDevice::CloseHandle(CommHandle handle) {
  Port port;
  {
    const std::lock_guard<std::mutex> lock(m_lock);
    const auto found = m_ports.find(handle);
    if (found == m_ports.end()) {
      return false;
    }
    port = found->second;
    m_ports.erase(found);
  }
  ::close(port.cancelEvent);
  // The exclusive mode outlives the descriptor while the device stays (a
  // pseudo-terminal whose other end is open): the next open, by another
  // user than root, would fail with EBUSY.
  ::ioctl(Descriptor(handle), TIOCNXCL);
  return ::close(Descriptor(handle)) == 0;
}

bool TermiosCommDevice::SetupComm(CommHandle handle, std::uint32_t, std::uint32_t) {
  Port port;
  return Find(handle, port);
}

bool TermiosCommDevice::GetCommState(CommHandle handle, CommState& state) {
  Port port;
  termios line{};
  if (!Find(handle, port) || ::tcgetattr(Descriptor(handle), &line) != 0) {
    return false;
  }
  std::memcpy(state.platformBlock, &line, sizeof line);
  state.baudRate = 0;
  for (const Speed& speed : kSpeeds) {
    state.baudRate = ::cfgetospeed(&line) == speed.code ? speed.baud : state.baudRate;
  }
  const tcflag_t size = line.c_cflag & CSIZE;
  state.byteSize = size == CS5 ? 5 : size == CS6 ? 6 : size == CS7 ? 7 : 8;
  state.parity = (line.c_cflag & PARENB) == 0   ? comm::kNoParity
                 : (line.c_cflag & PARODD) != 0 ? kOddParity
                                                : kEvenParity;
  state.stopBits = (line.c_cflag & CSTOPB) != 0 ? comm::kTwoStopBits : 0;
  state.fBinary = true;
  state.fParity = (line.c_iflag & INPCK) != 0;
  state.fOutxCtsFlow = (line.c_cflag & CRTSCTS) != 0;
  state.fOutX = (line.c_iflag & IXON) != 0;
  state.fInX = (line.c_iflag & IXOFF) != 0;
  state.fDtrControl = comm::kDtrControlEnable;
  state.fRtsControl = comm::kRtsControlEnable;
  return true;
}

// Raw mode, the speed, size, parity and stop bits asked for, no modem
// control lines, and handshakes as asked; DTR and RTS raised where the
// device has them (a pseudo-terminal has none).
bool TermiosCommDevice::SetCommState(CommHandle handle, const CommState& state) {
  Port port;
  const auto speed = std::find_if(std::begin(kSpeeds), std::end(kSpeeds),
                                  [&](const Speed& known) { return known.baud == state.baudRate; });
  if (!Find(handle, port) || speed == std::end(kSpeeds)) {
    return false;
  }
  termios line{};
  std::memcpy(&line, state.platformBlock, sizeof line);
  ::cfmakeraw(&line);
  ::cfsetispeed(&line, speed->code);
  ::cfsetospeed(&line, speed->code);
  constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
  line.c_cflag &= ~(CSIZE | CSTOPB | PARENB | PARODD | CRTSCTS);
  line.c_cflag |=
      CLOCAL | CREAD | kSizes[std::clamp(state.byteSize, std::uint8_t{5}, std::uint8_t{8}) - 5];
  line.c_cflag |= state.stopBits == comm::kTwoStopBits ? CSTOPB : 0;
  line.c_cflag |= state.parity == comm::kNoParity ? 0 : PARENB;
  line.c_cflag |= state.parity == kOddParity ? PARODD : 0;
  line.c_cflag |= state.fOutxCtsFlow ? CRTSCTS : 0;
  line.c_iflag |= (state.fOutX ? IXON : 0) | (state.fInX ? IXOFF : 0);
  line.c_cc[VMIN] = 0;
  line.c_cc[VTIME] = 0;
  const int fd = Descriptor(handle);
  if (::tcsetattr(fd, TCSANOW, &line) != 0) {
    return false;
  }
  int lines = TIOCM_DTR | TIOCM_RTS;
  ::ioctl(fd, TIOCMBIS, &lines);
  return true;
}

// Reads never wait (they follow a poll); a write waits up to its total.
bool TermiosCommDevice::SetCommTimeouts(CommHandle handle, const CommTimeouts& timeouts) {
  const std::lock_guard<std::mutex> lock(m_lock);
  const auto found = m_ports.find(handle);
  if (found != m_ports.end()) {
    found->second.writeTimeoutMs = timeouts.writeTotalTimeoutConstant;
  }
  return found != m_ports.end();
}

bool TermiosCommDevice::GetCommMask(CommHandle handle, std::uint32_t& mask) {
  Port port;
  const bool found = Find(handle, port);
  mask = port.mask;
  return found;
}

bool TermiosCommDevice::SetCommMask(CommHandle handle, std::uint32_t mask) {
  const std::lock_guard<std::mutex> lock(m_lock);
  const auto found = m_ports.find(handle);
  if (found != m_ports.end()) {
    found->second.mask = mask;
  }
  return found != m_ports.end();
}

bool TermiosCommDevice::PurgeComm(CommHandle handle, std::uint32_t flags) {
  Port port;
  if (!Find(handle, port)) {
    return false;
  }
  const bool input = (flags & comm::kPurgeRxClear) != 0;
  const bool output = (flags & comm::kPurgeTxClear) != 0;
  return (!input && !output) || ::tcflush(Descriptor(handle), input && output ? TCIOFLUSH
                                                              : input         ? TCIFLUSH
                                                                              : TCOFLUSH) == 0;
}

// The bytes queued; a device that has gone away cannot even be asked.
bool TermiosCommDevice::ClearCommError(CommHandle handle, std::uint32_t& errors,
                                       CommStatus& status) {
  errors = 0;
  status = CommStatus{};
  Port port;
  int queued = 0;
  if (!Find(handle, port) || ::ioctl(Descriptor(handle), FIONREAD, &queued) != 0) {
    return false;
  }
  status.cbInQue = static_cast<std::uint32_t>(queued);
  return true;
}

bool TermiosCommDevice::ReadFile(CommHandle handle, void* buffer, std::uint32_t size,
                                 std::uint32_t& bytesRead, std::uint32_t& lastError) {
  bytesRead = 0;
  lastError = 0;
  Port port;
  if (!Find(handle, port)) {
    lastError = kErrorGenFailure;
    return false;
  }
  const ssize_t count = ::read(Descriptor(handle), buffer, size);
  if (count > 0 || size == 0 || (count < 0 && errno == EAGAIN)) {
    bytesRead = count > 0 ? static_cast<std::uint32_t>(count) : 0;
    return true;
  }
  lastError = count == 0 ? kErrorDeviceNotConnected : ErrorOf(errno);
  return false;
}

bool TermiosCommDevice::WriteFile(CommHandle handle, const void* buffer, std::uint32_t size,
                                  std::uint32_t& bytesWritten) {
  bytesWritten = 0;
  Port port;
  if (!Find(handle, port)) {
    return false;
  }
  const int fd = Descriptor(handle);
  const auto* bytes = static_cast<const std::uint8_t*>(buffer);
  while (bytesWritten < size) {
    const ssize_t count = ::write(fd, bytes + bytesWritten, size - bytesWritten);
    if (count > 0) {
      bytesWritten += static_cast<std::uint32_t>(count);
      continue;
    }
    pollfd writable{fd, POLLOUT, 0};
    if ((count < 0 && errno != EAGAIN) ||
        ::poll(&writable, 1, static_cast<int>(port.writeTimeoutMs)) <= 0) {
      return false;
    }
  }
  return true;
}

// A cancellation stays in the eventfd, so every later wait ends at once
// too, as the seam asks.
ByteWait TermiosCommDevice::WaitForByte(CommHandle handle, std::uint8_t& byte,
                                        std::uint32_t& lastError) {
  lastError = 0;
  Port port;
  if (!Find(handle, port)) {
    lastError = kErrorGenFailure;
    return ByteWait::kFailed;
  }
  const int fd = Descriptor(handle);
  for (;;) {
    pollfd waits[] = {{fd, POLLIN, 0}, {port.cancelEvent, POLLIN, 0}};
    if (::poll(waits, 2, -1) < 0) {
      if (errno == EINTR) {
        continue;
      }
      lastError = ErrorOf(errno);
      return ByteWait::kFailed;
    }
    if ((waits[1].revents & POLLIN) != 0) {
      return ByteWait::kCancelled;
    }
    const ssize_t count = ::read(fd, &byte, 1);
    if (count == 1) {
      return ByteWait::kByte;
    }
    if (count < 0 && errno == EAGAIN && (waits[0].revents & (POLLERR | POLLHUP | POLLNVAL)) == 0) {
      continue;
    }
    lastError =
        count == 0 || (count < 0 && errno == EAGAIN) ? kErrorDeviceNotConnected : ErrorOf(errno);
    return ByteWait::kFailed;
  }
}

void TermiosCommDevice::CancelWait(CommHandle handle) {
  const std::lock_guard<std::mutex> lock(m_lock);
  const auto found = m_ports.find(handle);
  if (found != m_ports.end()) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(found->second.cancelEvent, &one, sizeof one);
  }
}

}  // namespace zt
