// The serial port over the real Win32 communications API, against a
// pseudo-terminal that Wine maps as a COM port; the far end is the peer.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/controller_protocol.h"
#include "engine/serial_port.h"
#include "peer_client.h"
#include "platform/win32/win32_comm_device.h"
#include "platform/win32/win32_threads.h"

namespace zt {
namespace {

using test::PeerClient;
using Bytes = std::vector<std::uint8_t>;

class Win32SerialPortTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(peer.Connected()) << "run under run-under-wine.sh, which provides the peer";
    config.SetPortName(PeerClient::ComPortName().c_str());
  }

  // Polls until count bytes are queued, for at most about five seconds.
  bool WaitForBytes(CSerialPort& target, std::uint32_t count) {
    for (int i = 0; i < 5000; ++i) {
      if (target.GetBytesWaiting() >= count) {
        return true;
      }
      ::Sleep(1);
    }
    return false;
  }

  static Bytes ReadAll(CSerialPort& source, std::uint32_t maxCount) {
    Bytes bytes(maxCount);
    bytes.resize(source.ReadAvailable(bytes.data(), maxCount));
    return bytes;
  }

  PeerClient peer;
  Win32CommDevice comm;
  Win32Threads threads;
  CSerialConfig config;
  CSerialPort port{comm, threads};
};

TEST_F(Win32SerialPortTest, OpensAndClosesThePort) {
  ASSERT_TRUE(port.Open(config));
  EXPECT_TRUE(port.IsOpen());
  EXPECT_TRUE(port.Close());
  EXPECT_FALSE(port.IsOpen());
  EXPECT_FALSE(port.Close());
  // Released at once: the same port opens again.
  EXPECT_TRUE(port.Open(config));
}

TEST_F(Win32SerialPortTest, DeviceNamespaceNameOpensToo) {
  config.SetPortName(("\\\\.\\" + PeerClient::ComPortName()).c_str());
  EXPECT_TRUE(port.Open(config));
}

TEST_F(Win32SerialPortTest, MissingPortFailsAndStaysClosed) {
  config.SetPortName("COM99");
  EXPECT_FALSE(port.IsPortAvailable("COM99"));
  EXPECT_FALSE(port.Open(config));
  EXPECT_FALSE(port.IsOpen());
  EXPECT_FALSE(port.Close());
}

TEST_F(Win32SerialPortTest, LineSettingsReachTheTerminal) {
  ASSERT_TRUE(port.Open(config));
  EXPECT_EQ(peer.LineSettings(), "speed=9600 csize=8 cstopb=1 parenb=0");
}

TEST_F(Win32SerialPortTest, NothingReceivedReadsNothing) {
  ASSERT_TRUE(port.Open(config));
  ASSERT_TRUE(port.SetTimeouts(1000, 1000));
  std::uint8_t buffer[16];
  EXPECT_EQ(port.GetBytesWaiting(), 0U);
  EXPECT_EQ(port.ReadAvailable(buffer, sizeof buffer), 0U);
}

TEST_F(Win32SerialPortTest, BytesTravelInBothDirections) {
  ASSERT_TRUE(port.Open(config));
  ASSERT_TRUE(port.SetTimeouts(1000, 1000));

  const Packet report = BuildTouchReport(1, 291, 1110);
  ASSERT_TRUE(peer.Send(Bytes(report.begin(), report.end())));
  ASSERT_TRUE(WaitForBytes(port, kPacketSize));
  EXPECT_EQ(ReadAll(port, 4096), Bytes(report.begin(), report.end()));

  const Packet request = BuildParameterRequest();
  port.WriteBytes(request.data(), kPacketSize);
  EXPECT_EQ(peer.Receive(kPacketSize, 5000), Bytes(request.begin(), request.end()));
}

TEST_F(Win32SerialPortTest, ReadAvailableTakesNoMoreThanAsked) {
  ASSERT_TRUE(port.Open(config));
  ASSERT_TRUE(port.SetTimeouts(1000, 1000));
  const Bytes sent{0x55, 0x79, 0x02, 0xC1, 0x00, 0x03, 0x00, 0x07, 0x01, 0x68};
  ASSERT_TRUE(peer.Send(sent));
  ASSERT_TRUE(WaitForBytes(port, 10));

  EXPECT_EQ(ReadAll(port, 4), Bytes(sent.begin(), sent.begin() + 4));
  EXPECT_EQ(port.GetBytesWaiting(), 6U);
  EXPECT_EQ(ReadAll(port, 4096), Bytes(sent.begin() + 4, sent.end()));
}

TEST_F(Win32SerialPortTest, OpenPurgesWhatArrivedBefore) {
  ASSERT_TRUE(port.Open(config));
  ASSERT_TRUE(peer.Send({1, 2, 3}));
  ASSERT_TRUE(WaitForBytes(port, 3));
  ASSERT_TRUE(port.Open(config));
  EXPECT_EQ(port.GetBytesWaiting(), 0U);
}

}  // namespace
}  // namespace zt
