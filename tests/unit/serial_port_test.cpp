#include "engine/serial_port.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "fake_comm_device.h"
#include "platform/port_open_close.h"
#include "platform/std_threads.h"
#include "platform_fakes.h"

namespace zt {
namespace {

using test::FakeCommDevice;
using Bytes = std::vector<std::uint8_t>;

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

  Bytes Read(std::uint32_t max) {
    Bytes buffer(max);
    buffer.resize(port.ReadAvailable(buffer.data(), max));
    return buffer;
  }

  FakeCommDevice comm;
  StdThreads threads;
  CSerialPort port{comm, threads};
};

TEST_F(SerialPortTest, OpenConfiguresTheLineTimeoutsPurgesAndMask) {
  ASSERT_TRUE(port.Open(ConfigFor("COM1")));
  const FakeCommDevice::Port line = comm.Get("COM1");
  const CommState& state = line.state;
  EXPECT_EQ(state.baudRate, 9600U);
  EXPECT_EQ(state.byteSize, 8);
  EXPECT_EQ(state.parity, comm::kNoParity);
  EXPECT_EQ(state.stopBits, comm::kTwoStopBits);
  EXPECT_TRUE(state.fBinary && state.fParity && state.fAbortOnError);
  EXPECT_FALSE(state.fNull || state.fOutxCtsFlow || state.fOutxDsrFlow || state.fOutX ||
               state.fInX);
  EXPECT_EQ(state.fDtrControl, comm::kDtrControlEnable);
  EXPECT_EQ(state.fRtsControl, comm::kRtsControlEnable);
  EXPECT_EQ(state.xonLim, 1);
  EXPECT_EQ(state.xoffLim, 2048);
  EXPECT_EQ(line.timeouts.readIntervalTimeout, 5000U);
  EXPECT_EQ(line.timeouts.readTotalTimeoutMultiplier, 1U);
  EXPECT_EQ(line.timeouts.writeTotalTimeoutConstant, 5000U);
  EXPECT_EQ(line.purges, (std::vector<std::uint32_t>{0x000A, 0x0005}));
  EXPECT_EQ(line.mask, 0x0004U | comm::kEvRxChar);
}

TEST_F(SerialPortTest, FailedOpens) {
  comm.Edit("COM2", [](FakeCommDevice::Port& p) { p.busy = true; });
  for (const char* name : {"COM9", "COM2", ""}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(port.Open(ConfigFor(name)));
    EXPECT_FALSE(port.IsOpen());
  }
  // A line that cannot be configured is no link: the open fails and the
  // handle is released. A state that could not be read is never written.
  for (bool FakeCommDevice::Port::*failure :
       {&FakeCommDevice::Port::failGetState, &FakeCommDevice::Port::failSetState,
        &FakeCommDevice::Port::failSetTimeouts, &FakeCommDevice::Port::failGetMask}) {
    comm.Edit("COM1", [&](FakeCommDevice::Port& p) { p = {}, p.*failure = true; });
    EXPECT_FALSE(port.Open(ConfigFor("COM1")));
    EXPECT_FALSE(comm.IsOpen("COM1"));
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(comm.Get("COM1").state.baudRate,
              failure == &FakeCommDevice::Port::failGetState ? 1200U : 9600U);
  }
}

TEST_F(SerialPortTest, ReopenAndCloseReleaseThePort) {
  ASSERT_TRUE(port.Open(ConfigFor("COM1")));
  ASSERT_TRUE(port.Open(ConfigFor("COM2")));
  EXPECT_FALSE(comm.IsOpen("COM1"));
  ASSERT_TRUE(port.Open(ConfigFor("COM2")));  // released first, so it opens again
  EXPECT_TRUE(port.Close());
  EXPECT_FALSE(comm.IsOpen("COM2"));
  const auto purges = comm.Get("COM2").purges;
  EXPECT_EQ(Bytes(purges.end() - 3, purges.end()), (Bytes{0x0A, 0x05, 0x0F}));
  EXPECT_FALSE(port.Close());
  {
    CSerialPort local(comm, threads);
    ASSERT_TRUE(local.Open(ConfigFor("COM1")));
  }
  EXPECT_FALSE(comm.IsOpen("COM1"));
}

TEST_F(SerialPortTest, ReadsWhatHasArrivedAndRecoversFromLineErrors) {
  ASSERT_TRUE(port.Open(ConfigFor("COM1")));
  EXPECT_TRUE(Read(16).empty());
  comm.Receive("COM1", {1, 2, 3, 4, 5, 6, 7});
  EXPECT_EQ(Read(3), (Bytes{1, 2, 3}));
  EXPECT_EQ(Read(16), (Bytes{4, 5, 6, 7}));

  // A pending line error makes one poll report nothing; it is cleared then.
  comm.Receive("COM1", {8, 9});
  comm.Edit("COM1", [](FakeCommDevice::Port& p) { p.pendingErrors = comm::kCeFrame; });
  EXPECT_TRUE(Read(16).empty());
  EXPECT_EQ(Read(16), (Bytes{8, 9}));

  // An aborted read clears the error; an end-of-file does not need to.
  std::uint8_t byte = 0;
  comm.Receive("COM1", {7, 6});
  comm.Edit("COM1", [](FakeCommDevice::Port& p) { p.pendingErrors = comm::kCeOverrun; });
  EXPECT_EQ(port.ReadBytes(&byte, 1), 0U);
  EXPECT_EQ(port.ReadBytes(&byte, 1), 1U);
  comm.Edit("COM1", [](FakeCommDevice::Port& p) { p.failNextReadWith = comm::kErrorHandleEof; });
  EXPECT_EQ(port.ReadBytes(&byte, 1), 0U);
  EXPECT_EQ(port.ReadBytes(&byte, 1), 1U);
  EXPECT_EQ(byte, 6);
}

// A failed wait is a line error, which clearing it ends, unless its error
// says the device has gone away, also when the driver still answers
// ClearCommError: that is a lost link, or it would never be recovered.
TEST_F(SerialPortTest, ADeviceGoneIsNotALineError) {
  const std::pair<std::uint32_t, ByteWait> failures[] = {
      {995, ByteWait::kFailed},    {87, ByteWait::kFailed},     {5, ByteWait::kLinkLost},
      {21, ByteWait::kLinkLost},   {31, ByteWait::kLinkLost},   {109, ByteWait::kLinkLost},
      {1167, ByteWait::kLinkLost}, {1617, ByteWait::kLinkLost},
  };
  for (const auto& [error, expected] : failures) {
    SCOPED_TRACE(error);
    ASSERT_TRUE(port.Open(ConfigFor("COM1")));
    comm.Edit("COM1", [code = error](auto& line) { line.failNextWaitWith = code; });
    std::uint8_t byte = 0;
    EXPECT_EQ(port.WaitForByte(byte), expected);
    comm.Receive("COM1", {0x55});
    EXPECT_EQ(port.WaitForByte(byte), ByteWait::kByte);
  }
  comm.Edit("COM1", [](auto& line) { line.gone = true; });
  std::uint8_t byte = 0;
  EXPECT_EQ(port.WaitForByte(byte), ByteWait::kLinkLost);
}

TEST_F(SerialPortTest, WritesAndTheirErrors) {
  ASSERT_TRUE(port.Open(ConfigFor("COM1")));
  const std::uint8_t bytes[] = {1, 2, 3, 4};
  comm.Edit("COM1", [](FakeCommDevice::Port& p) { p.pendingErrors = comm::kCeRxParity; });
  port.WriteBytes(bytes, sizeof bytes);  // refused; the error is cleared silently
  port.WriteBytes(bytes, sizeof bytes);
  EXPECT_EQ(comm.Get("COM1").written, (Bytes{1, 2, 3, 4}));
  EXPECT_TRUE(port.SetTimeouts(1000, 1000));
  EXPECT_EQ(comm.Get("COM1").timeouts.readTotalTimeoutConstant, 1000U);
}

TEST_F(SerialPortTest, AClosedPortDoesNothing) {
  std::uint8_t buffer[4] = {};
  CommStatus status;
  std::uint32_t mask = 0;
  port.WriteBytes(buffer, sizeof buffer);
  EXPECT_EQ(port.ReadAvailable(buffer, sizeof buffer), 0U);
  EXPECT_EQ(port.ClearError(status), 0U);
  EXPECT_FALSE(port.GetEventMask(mask));
  EXPECT_FALSE(port.SetTimeouts(1000, 1000));
  EXPECT_EQ(comm.OpenCalls(), 0);
}

// A write the driver is slow with holds up neither a cancellation from
// another thread (a stop, Find's cancel) nor, past its own limit, a close.
TEST_F(SerialPortTest, AStuckWriteHoldsUpNoCancellation) {
  ASSERT_TRUE(port.Open(ConfigFor("COM1")));
  comm.Edit("COM1", [](auto& line) { line.stuckWrites = true; });
  std::thread writer([&] { port.WriteBytes("abcd", 4); });
  ASSERT_TRUE(test::WaitUntil([&] { return comm.Get("COM1").writesStuck == 1; }));
  const auto cancelling = std::chrono::steady_clock::now();
  port.CancelWait();
  EXPECT_LT(std::chrono::steady_clock::now() - cancelling,
            std::chrono::milliseconds(kWriteLimitMs / 2));
  EXPECT_TRUE(comm.Get("COM1").cancelled);
  EXPECT_TRUE(port.Close());
  writer.join();
  EXPECT_EQ(comm.StaleCalls(), 0);
}

// A driver whose opens and closes take the times a test sets; it counts
// what it opened and closed.
struct TimedDriver {
  std::mutex lock;
  std::set<CommHandle> opened, closed;
  std::atomic<int> openMs{0}, closeMs{0};
  CPortOpenClose calls{[this](const std::string&) { return Open(); },
                       [this](CommHandle handle) { Close(handle); }, 3};  // 3 ms to wait

  CommHandle Open() {
    std::this_thread::sleep_for(std::chrono::milliseconds(openMs.load()));
    const std::lock_guard<std::mutex> guard(lock);
    return *opened.insert(static_cast<CommHandle>(opened.size() + 1)).first;
  }
  void Close(CommHandle handle) {
    std::this_thread::sleep_for(std::chrono::milliseconds(closeMs.load()));
    const std::lock_guard<std::mutex> guard(lock);
    closed.insert(handle);
  }
  std::size_t Opened() {
    const std::lock_guard<std::mutex> guard(lock);
    return opened.size();
  }
};

// Opens that end just before, at or just after the moment their caller
// gives up: every handle the driver opened is taken by a caller or closed,
// never lost holding the port. A late one nobody will come for (given up)
// is closed as it arrives, not kept, and its close, slow as a Bluetooth
// port's, holds the next open of the port: no second driver open starts
// meanwhile (the port would refuse it).
TEST(PortOpenCloseTest, NoHandleIsLostAndAGivenUpOneIsClosedAsItArrives) {
  TimedDriver driver;
  for (int i = 0; i < 300; ++i) {
    driver.openMs.store(i % 7);
    const CommHandle handle = driver.calls.Open("com7");
    if (handle != kInvalidComm) {
      driver.calls.Close("COM7", handle);
    }
  }
  driver.calls.CloseLateHandles();
  EXPECT_TRUE(driver.calls.WaitUntilIdle(5000));
  EXPECT_EQ(driver.opened, driver.closed);

  TimedDriver slow;
  slow.openMs.store(50);
  slow.closeMs.store(300);
  EXPECT_EQ(slow.calls.Open("COM9"), kInvalidComm);
  slow.calls.GiveUp("com9");
  EXPECT_TRUE(test::WaitUntil([&] { return slow.calls.IsOpening("COM9") == false; }, 1000));
  EXPECT_EQ(slow.calls.Open("COM9"), kInvalidComm);  // the close goes on
  EXPECT_EQ(slow.Opened(), 1U);
  EXPECT_TRUE(slow.calls.WaitUntilIdle(2000));
  EXPECT_EQ(slow.closed.size(), 1U);
}

}  // namespace
}  // namespace zt
