// The control socket for real: answers, its mode, an oversized and a
// malformed request, a silent peer that holds up nobody, a peer taken over
// by its handler and answered later, and a peer the policy refuses.
#include "platform/linux/control_server.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <future>
#include <string>
#include <thread>

namespace zt {
namespace {

class ControlServerTest : public ::testing::Test {
protected:
  ControlServerTest() : path(::testing::TempDir() + "zt-control-" + std::to_string(::getpid())) {}
  ~ControlServerTest() override {
    server.Stop();
    if (serving.joinable()) {
      serving.join();
    }
    ::unlink((path + ".lock").c_str());
  }
  // Answers "OK request"; the peer that asks "later" is handed to taken.
  void Start() {
    ASSERT_TRUE(server.Listen(path, "no-such-group-here"));
    serving = std::thread([this] {
      server.Serve(
          [this](const std::string& request, CControlPeer& peer) {
            if (request != "later") {
              return "OK " + request;
            }
            taken.set_value(std::move(peer));
            return std::string();
          },
          200);
    });
  }
  // A connected peer, or -1; a server that never answers reads as an
  // empty answer after a while rather than a hang.
  int Connect() const {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const timeval limit{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    return ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 ? fd : -1;
  }
  // Sends request on a new connection and reads the answer to its end.
  std::string Ask(const std::string& request) const {
    const int fd = Connect();
    // A refused peer may be closed before the request goes: no SIGPIPE then.
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    return ReadAll(fd);
  }
  static std::string ReadAll(int fd) {
    std::string answer;
    char bytes[256];
    for (ssize_t count; (count = ::read(fd, bytes, sizeof bytes)) > 0;) {
      answer.append(bytes, static_cast<std::size_t>(count));
    }
    ::close(fd);
    return answer;
  }

  const std::string path;
  std::promise<CControlPeer> taken;
  CControlServer server;
  std::thread serving;
};

TEST_F(ControlServerTest, AnswersRefusesAndCarriesOn) {
  Start();
  struct stat mode {};
  ASSERT_EQ(::stat(path.c_str(), &mode), 0);
  EXPECT_EQ(mode.st_mode & 0777, 0600U);  // no such group: the daemon's user alone
  const int silent = Connect();
  EXPECT_EQ(Ask("status\r\n"), "OK status\n");  // answered while the silent peer waits
  EXPECT_EQ(Ask(std::string(CControlServer::kMaxRequest + 10, 'x')), "ERR request too long\n");
  EXPECT_EQ(Ask(std::string("find\x01\n")), "ERR malformed request\n");
  EXPECT_EQ(ReadAll(silent), "");  // dropped once its time is up
  EXPECT_EQ(Ask("params\n"), "OK params\n");
  CControlServer second;  // a second daemon leaves the first its socket
  EXPECT_FALSE(second.Listen(path, ""));
  EXPECT_EQ(errno, EADDRINUSE);
  EXPECT_EQ(Ask("status\n"), "OK status\n");
  // A peer taken over keeps what it sent after its request, and is answered
  // whenever its taker is ready, while others are answered meanwhile.
  const int patient = Connect();
  const std::string lines = "later\nmonitor A\n";
  ASSERT_EQ(::write(patient, lines.data(), lines.size()), static_cast<ssize_t>(lines.size()));
  CControlPeer peer = taken.get_future().get();
  EXPECT_EQ(Ask("status\n"), "OK status\n");
  std::string line;
  EXPECT_TRUE(peer.ReadLine(line));
  EXPECT_EQ(line, "monitor A");
  EXPECT_TRUE(peer.Send("OK at last"));
  peer = CControlPeer();
  EXPECT_EQ(ReadAll(patient), "OK at last\n");
}

TEST_F(ControlServerTest, APeerThePolicyRefusesIsNotHeard) {
  server.SetPolicy([](const ucred& peer) { return peer.uid != ::getuid(); });
  Start();
  EXPECT_EQ(Ask("reload\n"), "ERR not allowed\n");
}

}  // namespace
}  // namespace zt
