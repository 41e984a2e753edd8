#include "pty_line.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

namespace zt::touchsim {
namespace {

std::string SystemError(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

bool MakeRaw(int fd) {
  termios settings{};
  if (tcgetattr(fd, &settings) != 0) {
    return false;
  }
  cfmakeraw(&settings);
  return tcsetattr(fd, TCSANOW, &settings) == 0;
}

bool SetControllerLineSettings(int fd) {
  termios settings{};
  if (tcgetattr(fd, &settings) != 0) {
    return false;
  }
  cfmakeraw(&settings);
  cfsetispeed(&settings, B9600);
  cfsetospeed(&settings, B9600);
  settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CRTSCTS);
  settings.c_cflag |= static_cast<tcflag_t>(CS8 | CSTOPB | CLOCAL | CREAD);
  settings.c_cc[VMIN] = 0;
  settings.c_cc[VTIME] = 0;
  return tcsetattr(fd, TCSANOW, &settings) == 0 && tcflush(fd, TCIOFLUSH) == 0;
}

bool AddFlags(int fd, int statusFlags) {
  const int current = fcntl(fd, F_GETFL);
  return current >= 0 && fcntl(fd, F_SETFL, current | statusFlags) == 0 &&
         fcntl(fd, F_SETFD, FD_CLOEXEC) == 0;
}

void CloseFd(int& fd) {
  if (fd >= 0) {
    close(fd);
    fd = -1;
  }
}

// Waits for the given poll events; true when they came before the timeout.
bool WaitFor(int fd, short events, int timeoutMs) {
  pollfd entry{fd, events, 0};
  int ready = 0;
  do {
    ready = poll(&entry, 1, timeoutMs);
  } while (ready < 0 && errno == EINTR);
  return ready > 0;
}

// Waits for input on fd or a wake-up on wakeFd; true when fd has input.
bool WaitForInput(int fd, int wakeFd, int timeoutMs) {
  pollfd entries[2] = {{fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
  int ready = 0;
  do {
    ready = poll(entries, 2, timeoutMs);
  } while (ready < 0 && errno == EINTR);
  if (ready > 0 && entries[1].revents != 0) {
    std::uint64_t wakeups = 0;
    [[maybe_unused]] const ssize_t taken = read(wakeFd, &wakeups, sizeof wakeups);
    return false;
  }
  return ready > 0;
}

std::string LinkTarget(const std::string& linkPath) {
  std::vector<char> buffer(4096);
  const ssize_t length = readlink(linkPath.c_str(), buffer.data(), buffer.size());
  if (length < 0) {
    return {};
  }
  return std::string(buffer.data(), static_cast<std::size_t>(length));
}

}  // namespace

bool PtyLine::OpenPseudoTerminal(std::string& error) {
  Close();
  int master = -1;
  int slave = -1;
  if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
    error = SystemError("openpty");
    return false;
  }
  char name[256] = {};
  const bool ready = ttyname_r(slave, name, sizeof name) == 0 && MakeRaw(master) &&
                     MakeRaw(slave) && AddFlags(master, O_NONBLOCK) && AddFlags(slave, 0);
  if (!ready) {
    error = SystemError("preparing the pseudo-terminal");
    close(master);
    close(slave);
    return false;
  }
  m_fd = master;
  m_slaveFd = slave;
  m_peerPath = name;
  return OpenWakeEvent(error);
}

bool PtyLine::OpenDevice(const std::string& path, std::string& error) {
  Close();
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    error = SystemError("opening " + path);
    return false;
  }
  if (!SetControllerLineSettings(fd)) {
    error = SystemError("setting 9600 8N2 on " + path);
    close(fd);
    return false;
  }
  m_fd = fd;
  m_peerPath = path;
  return OpenWakeEvent(error);
}

bool PtyLine::OpenWakeEvent(std::string& error) {
  m_wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (m_wakeFd < 0) {
    error = SystemError("eventfd");
    Close();
    return false;
  }
  return true;
}

void PtyLine::Close() {
  CloseFd(m_wakeFd);
  CloseFd(m_slaveFd);
  CloseFd(m_fd);
  m_peerPath.clear();
}

int PtyLine::Write(const std::uint8_t* bytes, int count) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(kWriteWaitMs);
  int written = 0;
  while (m_fd >= 0 && written < count) {
    const ssize_t result = write(m_fd, bytes + written, static_cast<std::size_t>(count - written));
    if (result > 0) {
      written += static_cast<int>(result);
      continue;
    }
    if (result < 0 && errno == EINTR) {
      continue;
    }
    if (result < 0 && errno != EAGAIN) {
      break;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0 || !WaitFor(m_fd, POLLOUT, static_cast<int>(left))) {
      break;
    }
  }
  return written;
}

int PtyLine::Read(std::uint8_t* buffer, int capacity, int timeoutMs) {
  if (m_fd < 0) {
    return -1;
  }
  if (!WaitForInput(m_fd, m_wakeFd, timeoutMs)) {
    return 0;
  }
  ssize_t result = 0;
  do {
    result = read(m_fd, buffer, static_cast<std::size_t>(capacity));
  } while (result < 0 && errno == EINTR);
  if (result < 0) {
    return errno == EAGAIN ? 0 : -1;
  }
  // A device that reports input but yields no bytes has hung up.
  return result == 0 ? -1 : static_cast<int>(result);
}

void PtyLine::Interrupt() {
  if (m_wakeFd >= 0) {
    const std::uint64_t wakeup = 1;
    [[maybe_unused]] const ssize_t stored = write(m_wakeFd, &wakeup, sizeof wakeup);
  }
}

int PtyLine::UnreadOutput() const {
  int pending = 0;
  if (m_slaveFd >= 0) {
    return ioctl(m_slaveFd, FIONREAD, &pending) == 0 ? pending : 0;
  }
  if (m_fd >= 0) {
    return ioctl(m_fd, TIOCOUTQ, &pending) == 0 ? pending : 0;
  }
  return 0;
}

bool PortLink::Create(const std::string& linkPath, const std::string& target, std::string& error) {
  Remove();
  struct stat existing {};
  if (lstat(linkPath.c_str(), &existing) == 0 && !S_ISLNK(existing.st_mode)) {
    error = linkPath + " exists and is not a symbolic link; leaving it alone";
    return false;
  }
  // A new link under a temporary name, renamed over the old one, so the
  // path never goes missing for a program that opens it meanwhile.
  const std::string temporary = linkPath + ".touchsim-" + std::to_string(getpid());
  unlink(temporary.c_str());
  if (symlink(target.c_str(), temporary.c_str()) != 0) {
    error = SystemError("creating the link " + linkPath);
    return false;
  }
  if (rename(temporary.c_str(), linkPath.c_str()) != 0) {
    error = SystemError("creating the link " + linkPath);
    unlink(temporary.c_str());
    return false;
  }
  m_linkPath = linkPath;
  m_target = target;
  return true;
}

void PortLink::Remove() {
  if (m_linkPath.empty()) {
    return;
  }
  // Another simulator may have taken the link over since; keep it then.
  if (LinkTarget(m_linkPath) == m_target) {
    unlink(m_linkPath.c_str());
  }
  m_linkPath.clear();
  m_target.clear();
}

}  // namespace zt::touchsim
