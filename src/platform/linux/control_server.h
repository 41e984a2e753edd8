// The daemon's control socket: a Unix-domain stream socket on which each
// connection sends one request line and gets one answer line, or is taken
// over by the request's handler to be answered later or talked with.
#pragma once

#include <sys/socket.h>

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace zt {

// One peer's connection, owned: closed when it goes.
class CControlPeer {
public:
  CControlPeer() = default;
  CControlPeer(int fd, std::string received) : m_fd(fd), m_received(std::move(received)) {}
  CControlPeer(CControlPeer&& other) noexcept;
  CControlPeer& operator=(CControlPeer&& other) noexcept;
  ~CControlPeer();

  // A connection to the server at path; not open when there is none or it
  // does not take the connection within timeoutMs (errno ETIMEDOUT).
  static CControlPeer Connect(const std::string& path, int timeoutMs = 1000);

  bool IsOpen() const { return m_fd >= 0; }
  int Fd() const { return m_fd; }
  // Gives the connection up without closing it.
  int Release() { return std::exchange(m_fd, -1); }
  // Sends text and a line end; false when the peer has gone or has not
  // taken it within timeoutMs.
  bool Send(const std::string& text, int timeoutMs = 1000);
  // The peer's next line (at most CControlServer::kMaxRequest bytes),
  // waiting for it; false when the peer has closed its end, sent a longer
  // line, or the connection was shut down.
  bool ReadLine(std::string& line);
  // Waits up to timeoutMs (-1: without a limit) until a line has come or
  // the connection has ended, so that ReadLine answers at once; false when
  // neither happened in time.
  bool WaitForLine(int timeoutMs);
  // Appends the whole lines that have come, without waiting; false as
  // ReadLine.
  bool Receive(std::vector<std::string>& lines);
  // Ends a ReadLine waiting on another thread, and every later one.
  void Shutdown();

private:
  // Reads what has come without waiting; false when the peer has closed
  // its end or its line is too long.
  bool Fill();

  int m_fd = -1;
  std::string m_received;  // read beyond the last line taken
};

// Serves the control socket on the calling thread until Stop. Only a peer
// that the policy allows (by default: root, the daemon's own user, or a
// member of the socket's group, from SO_PEERCRED) is heard; the others get
// "ERR not allowed". A request is one line of printable text of at most
// kMaxRequest bytes: a longer one gets "ERR request too long", one with
// other bytes "ERR malformed request", and the server carries on. A peer
// that says nothing within the silence limit is dropped, and never holds
// up another: every connection is read without blocking.
class CControlServer {
public:
  static constexpr std::size_t kMaxRequest = 4096;
  // The answer to request; a handler that moves peer away answers it
  // itself (an empty answer is then not sent).
  using Handler = std::function<std::string(const std::string& request, CControlPeer& peer)>;
  using Policy = std::function<bool(const ucred& peer)>;

  CControlServer() = default;
  CControlServer(const CControlServer&) = delete;
  CControlServer& operator=(const CControlServer&) = delete;
  // Closes the socket and removes its path.
  ~CControlServer();

  // Makes the socket at path (a stale one is replaced; one that a server
  // answers on, or whose lock file path.lock another server holds, is not:
  // EADDRINUSE, nor a file that is no socket: EEXIST;
  // a failure removes only a socket this made), mode 0660 and owned by
  // group where that group exists, else 0600, the daemon's user's alone.
  // False, with errno, when it cannot.
  bool Listen(const std::string& path, const std::string& group);
  // Answers requests through handler until Stop; silenceMs: how long a
  // peer may take to send its line.
  void Serve(const Handler& handler, int silenceMs = 2000);
  // From any thread, once Listen has succeeded (also before Serve).
  void Stop();
  void SetPolicy(Policy policy) { m_policy = std::move(policy); }

private:
  bool Allowed(int client) const;
  bool HoldLock(const std::string& path);

  std::string m_path;
  int m_listener = -1;
  int m_stop = -1;
  int m_lock = -1;
  unsigned m_groupId = 0;
  bool m_hasGroup = false;
  Policy m_policy;
};

}  // namespace zt
