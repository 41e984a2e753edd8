#include "engine/serial_port.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_comm_device.h"
#include "platform/std_threads.h"

namespace zt {
namespace {

using test::FakeCommDevice;

class SerialPortTest : public ::testing::Test {
protected:
  SerialPortTest() {
    comm.AddPort("COM1");
    comm.AddPort("COM2");
  }

  static CSerialConfig ConfigFor(const char* name) {
    CSerialConfig config;
    config.SetPortName(name);
    return config;
  }

  FakeCommDevice comm;
  StdThreads threads;
  CSerialPort port{comm, threads};
};

TEST_F(SerialPortTest, ConfigDefaultsAreTheControllerLineSettings) {
  const CSerialConfig config;
  EXPECT_STREQ(config.m_szPort, "COM1");
  EXPECT_EQ(config.m_dwBaudRate, 9600U);
  EXPECT_EQ(config.m_byteSize, 8);
  EXPECT_EQ(config.m_parity, 0);
  EXPECT_EQ(config.m_stopBits, 2);
  EXPECT_EQ(config.m_nFlowControl, 0);
  EXPECT_EQ(config.m_dwInQueue, 4096U);
  EXPECT_EQ(config.m_dwOutQueue, 4096U);
  EXPECT_EQ(config.m_dwWriteTimeout, 5000U);
  EXPECT_EQ(config.m_dwReadTimeout, 5000U);
}

TEST_F(SerialPortTest, OverlongPortNameIsCutToTheField) {
  CSerialConfig config;
  config.SetPortName(std::string(2000, 'C').c_str());
  EXPECT_EQ(std::string(config.m_szPort).size(), CSerialConfig::kPortNameSize - 1);
}

TEST_F(SerialPortTest, OpenAppliesLineSettingsTimeoutsPurgesAndMask) {
  ASSERT_TRUE(port.Open(ConfigFor("COM1")));
  EXPECT_TRUE(port.IsOpen());
  EXPECT_STREQ(port.PortName(), "COM1");

  const CommState state = comm.State("COM1");
  EXPECT_EQ(state.baudRate, 9600U);
  EXPECT_EQ(state.byteSize, 8);
  EXPECT_EQ(state.parity, comm::kNoParity);
  EXPECT_EQ(state.stopBits, comm::kTwoStopBits);
  EXPECT_TRUE(state.fBinary);
  EXPECT_TRUE(state.fParity);
  EXPECT_FALSE(state.fNull);
  EXPECT_TRUE(state.fAbortOnError);
  EXPECT_EQ(state.xonLim, 1);
  EXPECT_EQ(state.xoffLim, 2048);
  EXPECT_FALSE(state.fOutxCtsFlow);
  EXPECT_FALSE(state.fOutxDsrFlow);
  EXPECT_FALSE(state.fDsrSensitivity);
  EXPECT_EQ(state.fDtrControl, comm::kDtrControlEnable);
  EXPECT_EQ(state.fRtsControl, comm::kRtsControlEnable);
  EXPECT_FALSE(state.fOutX);
  EXPECT_FALSE(state.fInX);

  const CommTimeouts timeouts = comm.Timeouts("COM1");
  EXPECT_EQ(timeouts.readIntervalTimeout, 5000U);
  EXPECT_EQ(timeouts.readTotalTimeoutMultiplier, 1U);
  EXPECT_EQ(timeouts.readTotalTimeoutConstant, 5000U);
  EXPECT_EQ(timeouts.writeTotalTimeoutMultiplier, 1U);
  EXPECT_EQ(timeouts.writeTotalTimeoutConstant, 5000U);

  EXPECT_EQ(comm.Purges("COM1"), (std::vector<std::uint32_t>{0x000A, 0x0005}));
  EXPECT_EQ(comm.Mask("COM1"), 0x0004U | comm::kEvRxChar);
}

struct FlowControlCase {
  std::int32_t flowControl;
  bool handshake;
  bool xonXoff;
};

class SerialPortFlowControlTest : public SerialPortTest,
                                  public ::testing::WithParamInterface<FlowControlCase> {};

TEST_P(SerialPortFlowControlTest, FlowControlSetsHandshakeMembers) {
  CSerialConfig config = ConfigFor("COM1");
  config.m_nFlowControl = GetParam().flowControl;
  ASSERT_TRUE(port.Open(config));
  const CommState state = comm.State("COM1");
  const bool handshake = GetParam().handshake;
  EXPECT_EQ(state.fOutxCtsFlow, handshake);
  EXPECT_EQ(state.fOutxDsrFlow, handshake);
  EXPECT_EQ(state.fDsrSensitivity, handshake);
  EXPECT_EQ(state.fDtrControl, handshake ? comm::kDtrControlHandshake : comm::kDtrControlEnable);
  EXPECT_EQ(state.fRtsControl, handshake ? comm::kRtsControlHandshake : comm::kRtsControlEnable);
  EXPECT_EQ(state.fOutX, GetParam().xonXoff);
  EXPECT_EQ(state.fInX, GetParam().xonXoff);
}

INSTANTIATE_TEST_SUITE_P(AllModes, SerialPortFlowControlTest,
                         ::testing::Values(FlowControlCase{0, false, false},
                                           FlowControlCase{1, true, false},
                                           FlowControlCase{2, false, true},
                                           FlowControlCase{7, false, false}));

TEST_F(SerialPortTest, FailedOpenLeavesThePortClosed) {
  comm.SetBusy("COM2", true);
  for (const char* name : {"COM9", "COM2", ""}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(port.Open(ConfigFor(name)));
    EXPECT_FALSE(port.IsOpen());
    EXPECT_FALSE(port.Close());
  }
}

TEST_F(SerialPortTest, FailedMaskReadReportsFailureWithTheHandleStillOpen) {
  comm.FailGetMask("COM1", true);
  EXPECT_FALSE(port.Open(ConfigFor("COM1")));
  EXPECT_TRUE(comm.IsOpen("COM1"));
  EXPECT_TRUE(port.Close());
  EXPECT_FALSE(comm.IsOpen("COM1"));
}

TEST_F(SerialPortTest, ReopenClosesTheOldPortFirst) {
  ASSERT_TRUE(port.Open(ConfigFor("COM1")));
  ASSERT_TRUE(port.Open(ConfigFor("COM2")));
  EXPECT_FALSE(comm.IsOpen("COM1"));
  EXPECT_TRUE(comm.IsOpen("COM2"));
  // The same port opens again at once, since it was released first.
  ASSERT_TRUE(port.Open(ConfigFor("COM2")));
  EXPECT_TRUE(comm.IsOpen("COM2"));
}

TEST_F(SerialPortTest, CloseStopsTheReaderFlagPurgesAndReleases) {
  ASSERT_TRUE(port.Open(ConfigFor("COM1")));
  EXPECT_TRUE(port.Close());
  EXPECT_FALSE(port.IsOpen());
  EXPECT_FALSE(comm.IsOpen("COM1"));
  const auto purges = comm.Purges("COM1");
  ASSERT_GE(purges.size(), 3U);
  EXPECT_EQ((std::vector<std::uint32_t>(purges.end() - 3, purges.end())),
            (std::vector<std::uint32_t>{0x000A, 0x0005, 0x000F}));
  EXPECT_FALSE(port.Close());
}

TEST_F(SerialPortTest, IsPortAvailableIsATrialOpenOnly) {
  comm.SetBusy("COM2", true);
  EXPECT_TRUE(port.IsPortAvailable("COM1"));
  EXPECT_FALSE(comm.IsOpen("COM1"));
  EXPECT_FALSE(port.IsPortAvailable("COM2"));
  EXPECT_FALSE(port.IsPortAvailable("COM7"));
  EXPECT_FALSE(port.IsOpen());
}

TEST_F(SerialPortTest, ReadAvailableNeverReturnsMoreThanAskedOrWaits) {
  ASSERT_TRUE(port.Open(ConfigFor("COM1")));
  std::uint8_t buffer[16] = {};
  EXPECT_EQ(port.ReadAvailable(buffer, sizeof buffer), 0U);

  comm.Receive("COM1", {1, 2, 3, 4, 5, 6, 7});
  EXPECT_EQ(port.GetBytesWaiting(), 7U);
  EXPECT_EQ(port.ReadAvailable(buffer, 3), 3U);
  EXPECT_EQ((std::vector<std::uint8_t>(buffer, buffer + 3)), (std::vector<std::uint8_t>{1, 2, 3}));
  EXPECT_EQ(port.ReadAvailable(buffer, sizeof buffer), 4U);
  EXPECT_EQ((std::vector<std::uint8_t>(buffer, buffer + 4)),
            (std::vector<std::uint8_t>{4, 5, 6, 7}));
  EXPECT_EQ(port.ReadAvailable(buffer, sizeof buffer), 0U);
}

TEST_F(SerialPortTest, PollAfterLineErrorReportsNothingThenTheQueue) {
  ASSERT_TRUE(port.Open(ConfigFor("COM1")));
  comm.Receive("COM1", {0x55, 0x54, 0x01});
  comm.RaiseLineError("COM1", comm::kCeFrame);
  EXPECT_EQ(port.GetBytesWaiting(), 0U);
  EXPECT_EQ(port.GetBytesWaiting(), 3U);
  std::uint8_t buffer[8] = {};
  EXPECT_EQ(port.ReadAvailable(buffer, sizeof buffer), 3U);
}

TEST_F(SerialPortTest, FailedReadClearsTheErrorUnlessItIsEndOfFile) {
  ASSERT_TRUE(port.Open(ConfigFor("COM1")));
  comm.Receive("COM1", {9, 9});
  std::uint8_t buffer[4] = {};

  comm.RaiseLineError("COM1", comm::kCeOverrun);
  EXPECT_EQ(port.ReadBytes(buffer, 2), 0U);  // aborted; the error is cleared
  EXPECT_EQ(port.ReadBytes(buffer, 2), 2U);

  comm.Receive("COM1", {7});
  comm.FailNextRead("COM1", comm::kErrorHandleEof);
  EXPECT_EQ(port.ReadBytes(buffer, 1), 0U);
  EXPECT_EQ(port.ReadBytes(buffer, 1), 1U);
  EXPECT_EQ(buffer[0], 7);
}

TEST_F(SerialPortTest, ShortWriteClearsTheLineErrorSilently) {
  ASSERT_TRUE(port.Open(ConfigFor("COM1")));
  const std::uint8_t bytes[] = {1, 2, 3, 4};
  comm.RaiseLineError("COM1", comm::kCeRxParity);
  port.WriteBytes(bytes, sizeof bytes);
  EXPECT_TRUE(comm.Written("COM1").empty());
  port.WriteBytes(bytes, sizeof bytes);
  EXPECT_EQ(comm.Written("COM1"), (std::vector<std::uint8_t>{1, 2, 3, 4}));

  comm.LimitWrites("COM1", 2);
  port.WriteBytes(bytes, sizeof bytes);
  EXPECT_EQ(comm.Written("COM1").size(), 6U);
}

TEST_F(SerialPortTest, OperationsOnAClosedPortDoNothing) {
  std::uint8_t buffer[4] = {};
  CommStatus status;
  std::uint32_t mask = 0;
  port.WriteBytes(buffer, sizeof buffer);
  EXPECT_EQ(port.ReadAvailable(buffer, sizeof buffer), 0U);
  EXPECT_EQ(port.ReadBytes(buffer, sizeof buffer), 0U);
  EXPECT_EQ(port.GetBytesWaiting(), 0U);
  EXPECT_EQ(port.ClearError(status), 0U);
  EXPECT_FALSE(port.GetEventMask(mask));
  EXPECT_FALSE(port.SetTimeouts(1000, 1000));
  EXPECT_FALSE(port.Close());
  port.PurgeInput();
  port.PurgeOutput();
  port.SetEventMask(1);
  EXPECT_EQ(comm.OpenCalls(), 0);
}

TEST_F(SerialPortTest, SetTimeoutsReportsSuccessWheneverOpen) {
  ASSERT_TRUE(port.Open(ConfigFor("COM1")));
  EXPECT_TRUE(port.SetTimeouts(1000, 1000));
  const CommTimeouts timeouts = comm.Timeouts("COM1");
  EXPECT_EQ(timeouts.readIntervalTimeout, 1000U);
  EXPECT_EQ(timeouts.readTotalTimeoutConstant, 1000U);
  EXPECT_EQ(timeouts.writeTotalTimeoutConstant, 1000U);
}

TEST_F(SerialPortTest, BaseReceiveAppendsAndWrapsAtTheBufferEnd) {
  std::vector<std::uint8_t> bytes(ReceiveBuffer::kCapacity + 3, 0xAB);
  bytes.back() = 0x42;
  EXPECT_EQ(port.OnReceive(bytes.data(), static_cast<int>(bytes.size())),
            static_cast<int>(bytes.size()));
  EXPECT_EQ(port.Received().count, 3);
  EXPECT_EQ(port.Received().bytes[2], 0x42);
  EXPECT_EQ(port.Received().bytes[3], 0);
}

TEST_F(SerialPortTest, BaseStartDoesNotStart) {
  EXPECT_FALSE(port.Start());
}

TEST_F(SerialPortTest, DestructionClosesAnOpenPort) {
  {
    CSerialPort local(comm, threads);
    ASSERT_TRUE(local.Open(ConfigFor("COM2")));
    EXPECT_TRUE(comm.IsOpen("COM2"));
  }
  EXPECT_FALSE(comm.IsOpen("COM2"));
}

}  // namespace
}  // namespace zt
