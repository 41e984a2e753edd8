#include "platform/linux/control_server.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <vector>

namespace zt {
namespace {

using Clock = std::chrono::steady_clock;

struct Client {
  int fd;
  std::string received;
  Clock::time_point deadline;
};

// Best effort: the answer is short and the socket's buffer takes it.
void Answer(int fd, const std::string& text) {
  const std::string line = text + "\n";
  [[maybe_unused]] const ssize_t sent = ::send(fd, line.data(), line.size(), MSG_NOSIGNAL);
  ::close(fd);
}

// The first line of received, without its line end or a carriage return.
std::string TakeLine(std::string& received, std::size_t end) {
  std::string line = received.substr(0, end);
  received.erase(0, end + 1);
  line.erase(line.find_last_not_of('\r') + 1);
  return line;
}

bool Printable(const std::string& request) {
  return std::all_of(request.begin(), request.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 0x20 && byte != 0x7F;
  });
}

// Whether user uid is a member of group gid beside its own group.
bool InGroup(uid_t uid, gid_t gid) {
  std::vector<char> buffer(16384);
  passwd user{};
  passwd* found = nullptr;
  group members{};
  group* groupFound = nullptr;
  if (::getpwuid_r(uid, &user, buffer.data(), buffer.size() / 2, &found) != 0 || found == nullptr ||
      ::getgrgid_r(gid, &members, buffer.data() + buffer.size() / 2, buffer.size() / 2,
                   &groupFound) != 0 ||
      groupFound == nullptr) {
    return false;
  }
  for (char** member = members.gr_mem; *member != nullptr; ++member) {
    if (std::strcmp(*member, user.pw_name) == 0) {
      return true;
    }
  }
  return false;
}

}  // namespace

CControlPeer::CControlPeer(CControlPeer&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_received(std::move(other.m_received)) {}

CControlPeer& CControlPeer::operator=(CControlPeer&& other) noexcept {
  if (this != &other) {
    if (m_fd >= 0) {
      ::close(m_fd);
    }
    m_fd = std::exchange(other.m_fd, -1);
    m_received = std::move(other.m_received);
  }
  return *this;
}

CControlPeer::~CControlPeer() {
  if (m_fd >= 0) {
    ::close(m_fd);
  }
}

bool CControlPeer::Send(const std::string& text, int timeoutMs) {
  const std::string line = text + "\n";
  for (std::size_t sent = 0; m_fd >= 0 && sent < line.size();) {
    pollfd wait{m_fd, POLLOUT, 0};
    const ssize_t count = ::poll(&wait, 1, timeoutMs) == 1
                              ? ::send(m_fd, line.data() + sent, line.size() - sent, MSG_NOSIGNAL)
                              : -1;
    if (count <= 0) {
      return false;
    }
    sent += static_cast<std::size_t>(count);
  }
  return m_fd >= 0;
}

CControlPeer CControlPeer::Connect(const std::string& path, int timeoutMs) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) {
    errno = ENAMETOOLONG;
    return {};
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  // Non-blocking, so that a server whose queue is full cannot hold the
  // caller: a Unix socket then says EAGAIN, and the connect is tried again
  // until the time is up.
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  int error = fd < 0 ? errno : 0;
  while (fd >= 0 &&
         ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    error = errno;
    if (error != EAGAIN || Clock::now() >= deadline) {
      error = error == EAGAIN ? ETIMEDOUT : error;
      break;
    }
    ::poll(nullptr, 0, 10);
    error = 0;
  }
  if (fd >= 0 && error != 0) {
    ::close(fd);
  }
  errno = error;
  return error == 0 && fd >= 0 ? CControlPeer(fd, {}) : CControlPeer();
}

bool CControlPeer::WaitForLine(int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (bool open = m_fd >= 0; open; open = Fill()) {
    if (m_received.find('\n') != std::string::npos) {
      return true;
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd wait{m_fd, POLLIN, 0};
    if ((timeoutMs >= 0 && left <= 0) ||
        ::poll(&wait, 1, timeoutMs < 0 ? -1 : static_cast<int>(left)) == 0) {
      return false;
    }
  }
  return true;
}

bool CControlPeer::ReadLine(std::string& line) {
  for (bool open = m_fd >= 0;; open = open && Fill()) {
    if (const auto end = m_received.find('\n'); end != std::string::npos) {
      line = TakeLine(m_received, end);
      return end <= CControlServer::kMaxRequest;
    }
    pollfd wait{m_fd, POLLIN, 0};
    if (!open || (::poll(&wait, 1, -1) < 0 && errno != EINTR)) {
      return false;
    }
  }
}

bool CControlPeer::Receive(std::vector<std::string>& lines) {
  const bool open = Fill();
  for (auto end = m_received.find('\n'); end != std::string::npos; end = m_received.find('\n')) {
    if (end > CControlServer::kMaxRequest) {
      return false;
    }
    lines.push_back(TakeLine(m_received, end));
  }
  return open;
}

bool CControlPeer::Fill() {
  char bytes[512];
  ssize_t count = 0;
  while (m_fd >= 0 && (count = ::recv(m_fd, bytes, sizeof bytes, MSG_DONTWAIT)) > 0) {
    m_received.append(bytes, static_cast<std::size_t>(count));
  }
  const bool waiting = count < 0 && (errno == EAGAIN || errno == EINTR);
  const auto end = m_received.find('\n');
  return m_fd >= 0 && waiting &&
         (end == std::string::npos ? m_received.size() : end) <= CControlServer::kMaxRequest;
}

void CControlPeer::Shutdown() {
  if (m_fd >= 0) {
    ::shutdown(m_fd, SHUT_RDWR);
  }
}

CControlServer::~CControlServer() {
  if (m_listener >= 0) {
    ::close(m_listener);
    ::unlink(m_path.c_str());
  }
  if (m_stop >= 0) {
    ::close(m_stop);
  }
  if (m_lock >= 0) {
    ::close(m_lock);
  }
}

namespace {

// The socket's group, changed only where it is not already that: a daemon
// run in that group (as its service is) may be refused chown altogether.
bool GiveGroup(const std::string& path, gid_t group) {
  struct stat made {};
  return (::stat(path.c_str(), &made) == 0 && made.st_gid == group) ||
         ::chown(path.c_str(), static_cast<uid_t>(-1), group) == 0;
}

}  // namespace

bool CControlServer::Listen(const std::string& path, const std::string& groupName) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) {
    errno = ENAMETOOLONG;
    return false;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  group members{};
  group* result = nullptr;
  std::vector<char> buffer(16384);
  m_hasGroup =
      !groupName.empty() &&
      ::getgrnam_r(groupName.c_str(), &members, buffer.data(), buffer.size(), &result) == 0 &&
      result != nullptr;
  m_groupId = m_hasGroup ? members.gr_gid : 0;
  m_stop = m_stop >= 0 ? m_stop : ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (!HoldLock(path + ".lock")) {
    return false;
  }
  if (CControlPeer::Connect(path).IsOpen()) {
    errno = EADDRINUSE;  // another daemon answers there: it keeps its socket
    return false;
  }
  struct stat found {};
  if (::lstat(path.c_str(), &found) == 0) {
    if (!S_ISSOCK(found.st_mode)) {
      errno = EEXIST;  // not ours to remove
      return false;
    }
    ::unlink(path.c_str());  // a socket left by a daemon that did not end
  }
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  const bool bound = m_stop >= 0 && fd >= 0 &&
                     ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  const bool ok = bound && (!m_hasGroup || GiveGroup(path, m_groupId)) &&
                  ::chmod(path.c_str(), m_hasGroup ? 0660 : 0600) == 0 && ::listen(fd, 16) == 0;
  if (!ok) {
    const int error = errno;
    if (bound) {
      ::unlink(path.c_str());  // the socket this made
    }
    if (fd >= 0) {
      ::close(fd);
    }
    errno = error;
    return false;
  }
  m_path = path;
  m_listener = fd;
  return true;
}

// The lock file beside the socket, held for the server's life (and left
// in place: removing it would let two servers lock two files). Of two
// daemons started at once, the second stops here rather than replacing the
// socket the first has just made.
bool CControlServer::HoldLock(const std::string& path) {
  if (m_lock < 0) {
    m_lock = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  }
  if (m_lock < 0) {
    return false;
  }
  if (::flock(m_lock, LOCK_EX | LOCK_NB) != 0) {
    errno = errno == EWOULDBLOCK ? EADDRINUSE : errno;
    return false;
  }
  return true;
}

bool CControlServer::Allowed(int client) const {
  ucred peer{};
  socklen_t size = sizeof peer;
  if (::getsockopt(client, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0) {
    return false;
  }
  if (m_policy) {
    return m_policy(peer);
  }
  return peer.uid == 0 || peer.uid == ::getuid() ||
         (m_hasGroup && (peer.gid == m_groupId || InGroup(peer.uid, m_groupId)));
}

void CControlServer::Serve(const Handler& handler, int silenceMs) {
  std::vector<Client> clients;
  while (m_listener >= 0) {
    std::vector<pollfd> waits = {{m_listener, POLLIN, 0}, {m_stop, POLLIN, 0}};
    auto soonest = Clock::time_point::max();
    for (const Client& client : clients) {
      waits.push_back({client.fd, POLLIN, 0});
      soonest = std::min(soonest, client.deadline);
    }
    const auto wait = clients.empty() ? -1
                                      : std::chrono::ceil<std::chrono::milliseconds>(
                                            std::max(soonest - Clock::now(), Clock::duration{}))
                                            .count();
    if (::poll(waits.data(), waits.size(), static_cast<int>(wait)) < 0 && errno != EINTR) {
      break;
    }
    if ((waits[1].revents & POLLIN) != 0) {
      break;
    }
    // Each peer that has something is read as far as it goes, without waiting.
    for (std::size_t i = clients.size(); i-- > 0;) {
      Client& client = clients[i];
      char bytes[512];
      ssize_t count = -1;  // 0: the peer has closed its end
      while ((waits[2 + i].revents & (POLLIN | POLLHUP | POLLERR)) != 0 &&
             (count = ::read(client.fd, bytes, sizeof bytes)) > 0) {
        client.received.append(bytes, static_cast<std::size_t>(count));
      }
      const auto end = client.received.find('\n');
      std::string answer;
      bool taken = false;
      if (end != std::string::npos && end <= kMaxRequest) {
        const std::string request = TakeLine(client.received, end);
        if (Printable(request)) {
          CControlPeer peer(client.fd, std::move(client.received));
          answer = handler(request, peer);
          taken = !peer.IsOpen();
          client.fd = peer.Release();
        } else {
          answer = "ERR malformed request";
        }
      } else if (client.received.size() > kMaxRequest) {
        answer = "ERR request too long";
      }
      const bool gone = count == 0 || Clock::now() >= client.deadline;
      if (!taken && !answer.empty()) {
        Answer(client.fd, answer);
      } else if (!taken && gone) {
        ::close(client.fd);
      }
      if (taken || !answer.empty() || gone) {
        clients.erase(clients.begin() + static_cast<std::ptrdiff_t>(i));
      }
    }
    for (int fd;
         (waits[0].revents & POLLIN) != 0 &&
         (fd = ::accept4(m_listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC)) >= 0;) {
      if (Allowed(fd)) {
        clients.push_back({fd, {}, Clock::now() + std::chrono::milliseconds(silenceMs)});
      } else {
        Answer(fd, "ERR not allowed");
      }
    }
  }
  for (const Client& client : clients) {
    ::close(client.fd);
  }
}

void CControlServer::Stop() {
  if (m_stop >= 0) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_stop, &one, sizeof one);
  }
}

}  // namespace zt
