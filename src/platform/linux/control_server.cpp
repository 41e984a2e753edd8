#include "platform/linux/control_server.h"

#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <sys/eventfd.h>
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

CControlServer::~CControlServer() {
  if (m_listener >= 0) {
    ::close(m_listener);
    ::unlink(m_path.c_str());
  }
  if (m_stop >= 0) {
    ::close(m_stop);
  }
}

bool CControlServer::Listen(const std::string& path, const std::string& groupName) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) {
    errno = ENAMETOOLONG;
    return false;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  group found{};
  group* result = nullptr;
  std::vector<char> buffer(16384);
  m_hasGroup =
      !groupName.empty() &&
      ::getgrnam_r(groupName.c_str(), &found, buffer.data(), buffer.size(), &result) == 0 &&
      result != nullptr;
  m_groupId = m_hasGroup ? found.gr_gid : 0;
  m_stop = m_stop >= 0 ? m_stop : ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  ::unlink(path.c_str());  // a socket left by a daemon that did not end
  const bool ok = m_stop >= 0 && fd >= 0 &&
                  ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
                  (!m_hasGroup || ::chown(path.c_str(), static_cast<uid_t>(-1), m_groupId) == 0) &&
                  ::chmod(path.c_str(), m_hasGroup ? 0660 : 0600) == 0 && ::listen(fd, 16) == 0;
  if (!ok) {
    const int error = errno;
    if (fd >= 0) {
      ::close(fd);
      ::unlink(path.c_str());
    }
    errno = error;
    return false;
  }
  m_path = path;
  m_listener = fd;
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
      if (end != std::string::npos && end <= kMaxRequest) {
        std::string request = client.received.substr(0, end);
        request.erase(request.find_last_not_of('\r') + 1);
        answer = Printable(request) ? handler(request) : "ERR malformed request";
      } else if (client.received.size() > kMaxRequest) {
        answer = "ERR request too long";
      }
      const bool gone = count == 0 || Clock::now() >= client.deadline;
      if (!answer.empty()) {
        Answer(client.fd, answer);
      } else if (gone) {
        ::close(client.fd);
      }
      if (!answer.empty() || gone) {
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
