// The termios device on a real pseudo-terminal: the controller's line,
// exclusive use, bytes and a cancellation ending a wait, the far end
// closing taken for a lost link. (The engine reading touches through it:
// the daemon's tests, on a pseudo-terminal too.)
#include "platform/linux/termios_comm_device.h"

#include <gtest/gtest.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <fcntl.h>

#include <string>
#include <thread>
#include <vector>

#include "engine/controller_protocol.h"
#include "engine/serial_port.h"
#include "platform/std_threads.h"

namespace zt {
namespace {

struct RecordingLog final : ILog {
  void Write(std::string_view line) override { lines.emplace_back(line); }
  std::vector<std::string> lines;
};

class TermiosCommDeviceTest : public ::testing::Test {
public:
  ~TermiosCommDeviceTest() override { CloseMaster(); }

protected:
  TermiosCommDeviceTest() {
    int slave = -1;
    char name[256] = {};
    EXPECT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    ::close(slave);
    path = name;
    config.SetPortName(path.c_str());
    config.m_dwReadTimeout = 0;
  }
  void CloseMaster() {
    if (master >= 0) {
      ::close(std::exchange(master, -1));
    }
  }
  void Send(const Packet& packet) { ASSERT_EQ(::write(master, packet.data(), packet.size()), 10); }

  int master = -1;
  std::string path;
  CSerialConfig config;
  RecordingLog log;
  TermiosCommDevice comm{&log};
  StdThreads threads;
};

TEST_F(TermiosCommDeviceTest, TheLineExclusiveUseWaitsCancelsAndALostLink) {
  CSerialPort port(comm, threads);
  ASSERT_TRUE(port.Open(config));
  const int other = ::open(path.c_str(), O_RDWR | O_NOCTTY);  // root passes TIOCEXCL
  termios line{};
  ASSERT_EQ(::tcgetattr(other, &line), 0);
  ::close(other);
  EXPECT_EQ(::cfgetospeed(&line), B9600);
  EXPECT_EQ(line.c_cflag & (CSIZE | CSTOPB | PARENB | CLOCAL | CREAD),
            CS8 | CSTOPB | CLOCAL | CREAD);
  EXPECT_EQ(line.c_lflag & (ICANON | ECHO), 0U);
  EXPECT_EQ(comm.Open(path.c_str()), kInvalidComm);  // the flock: ours alone
  EXPECT_EQ(comm.Open(path.c_str()), kInvalidComm);
  EXPECT_EQ(comm.Open("/dev/no-such-port"), kInvalidComm);
  EXPECT_EQ(log.lines, (std::vector<std::string>{
                           // each reason once
                           "cannot open " + path + ": in use by another program (locked)",
                           "cannot open /dev/no-such-port: No such file or directory"}));

  Send(BuildParameterRequest());
  std::uint8_t bytes[16] = {};
  ASSERT_EQ(port.WaitForByte(bytes[0]), ByteWait::kByte);
  EXPECT_EQ(1 + port.ReadAvailable(bytes + 1, sizeof bytes - 1), 10U);
  port.WriteBytes(bytes, 10);
  std::uint8_t echoed[10] = {};
  EXPECT_EQ(::read(master, echoed, sizeof echoed), 10);

  std::thread waiter([&] { EXPECT_EQ(port.WaitForByte(bytes[0]), ByteWait::kCancelled); });
  port.CancelWait();
  waiter.join();
  EXPECT_EQ(port.WaitForByte(bytes[0]), ByteWait::kCancelled);  // and every later wait

  CSerialPort again(comm, threads);
  port.Close();
  const int reopened = ::open(path.c_str(), O_RDWR | O_NOCTTY);
  int exclusive = 1;  // left set, it would keep users other than root out
  ASSERT_EQ(::ioctl(reopened, TIOCGEXCL, &exclusive), 0);
  ::close(reopened);
  EXPECT_EQ(exclusive, 0);
  ASSERT_TRUE(again.Open(config));
  CloseMaster();
  EXPECT_EQ(again.WaitForByte(bytes[0]), ByteWait::kLinkLost);
}

}  // namespace
}  // namespace zt
