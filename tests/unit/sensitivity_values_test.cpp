#include "settings/sensitivity_values.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <numeric>
#include <vector>

#include "engine/touch_host.h"
#include "fake_comm_device.h"
#include "fake_registry.h"
#include "platform/std_threads.h"
#include "recording_input.h"

namespace zt::sensitivity {
namespace {

constexpr char kKey[] = "Software\\Corvantic\\ZeltraTouch";
const RegKeyHandle kRoot = reg::kHkeyLocalMachine;
constexpr WindowHandle kMainWindow = 0x4242;

// Sleeps on a fake clock: records each sleep and runs a hook after it.
class FakeClockThreads final : public IThreads {
public:
  ThreadHandle CreateThread(ThreadRoutine, void*) override { return kNoThread; }
  bool SetThreadPriorityHighest(ThreadHandle) override { return false; }
  void ResumeThread(ThreadHandle) override {}
  void WaitForThread(ThreadHandle) override {}
  void CloseThread(ThreadHandle) override {}
  EventHandle CreateEventObject(bool, bool, const char*) override { return kNoEvent; }
  void SetEvent(EventHandle) override {}
  void CloseEvent(EventHandle) override {}
  void Sleep(std::uint32_t milliseconds) override {
    now += milliseconds;
    sleeps.push_back(milliseconds);
    if (afterSleep) {
      afterSleep(now);
    }
  }

  std::uint32_t now = 0;
  std::vector<std::uint32_t> sleeps;
  std::function<void(std::uint32_t now)> afterSleep;
};

TEST(SensitivityLabelTest, LabelsShowNameAndValue) {
  EXPECT_EQ(LabelText(kPressure, 705), "Pressure: 705");
  EXPECT_EQ(LabelText(kDownCount, 3), "DownCount: 3");
  EXPECT_EQ(LabelText(kUpCount, 7), "UpCount: 7");
  EXPECT_EQ(LabelText(kStabDelay, 360), "Stabilization Delay: 360");
}

TEST(SensitivityLabelTest, ValuesOutsideTheSliderRangeAreShownAsReceived) {
  EXPECT_GT(1000, kPressureRange.maximum);
  EXPECT_EQ(LabelText(kPressure, 1000), "Pressure: 1000");
  EXPECT_EQ(LabelText(kDownCount, 65535), "DownCount: 65535");
}

// The exchange as the Advanced command runs it: over a running engine,
// whose requests go out on its port, sleeping on the user-interface thread.
class ReadFromControllerTest : public ::testing::Test {
protected:
  ReadFromControllerTest() {
    comm.AddPort("COM3");
    registry.CreateKey(kRoot, kKey);
    registry.PutString(kRoot, kKey, "Port", "COM3", false);
    host.LoadStartupSettings();
    EXPECT_TRUE(host.StartDriver(kMainWindow));
  }
  ~ReadFromControllerTest() override { host.StopDriver(); }

  CTouchDriver& Engine() { return *host.Driver(); }

  // Requests the engine has written to the controller.
  std::size_t RequestsSent() const {
    const std::vector<std::uint8_t> written = comm.Written("COM3");
    const Packet request = BuildParameterRequest();
    EXPECT_EQ(written.size() % kPacketSize, 0U);
    for (std::size_t at = 0; at < written.size(); at += kPacketSize) {
      EXPECT_TRUE(
          std::equal(request.begin(), request.end(), written.begin() + static_cast<long>(at)));
    }
    return written.size() / kPacketSize;
  }

  std::uint32_t TotalSleep() const {
    return std::accumulate(clock.sleeps.begin(), clock.sleeps.end(), std::uint32_t{0});
  }

  // A reply decoded by the engine, as its reader thread would.
  void ControllerReplies(const SensitivityParams& params) {
    Engine().DecodePacket(BuildParameterReply(params).data());
  }

  test::FakeCommDevice comm;
  StdThreads threads;
  test::RecordingInput input;
  test::RecordingMessages messages;
  test::FakeRegistry registry;
  CTouchHost host{{comm, threads, input, messages, registry}};
  FakeClockThreads clock;
};

TEST_F(ReadFromControllerTest, SilentControllerFailsAfterThreeRequestsAndFourAndAHalfSeconds) {
  SensitivityParams values{1, 2, 3, 4};
  EXPECT_FALSE(ReadFromController(Engine(), clock, values));
  EXPECT_EQ(RequestsSent(), 3U);
  EXPECT_EQ(TotalSleep(), 4500U);
  EXPECT_EQ(values, (SensitivityParams{1, 2, 3, 4}));
}

TEST_F(ReadFromControllerTest, ReplyAfterTheSecondRequestEndsTheWaitAtTheNextPoll) {
  // The second request leaves at 1500 ms and its reply arrives 250 ms later,
  // during the sleep before the poll at 1800 ms.
  bool replied = false;
  clock.afterSleep = [&](std::uint32_t now) {
    if (!replied && now >= 1750) {
      ControllerReplies({1000, 5, 9, 250});
      replied = true;
    }
  };
  SensitivityParams values;
  EXPECT_TRUE(ReadFromController(Engine(), clock, values));
  EXPECT_EQ(values, (SensitivityParams{1000, 5, 9, 250}));
  EXPECT_EQ(RequestsSent(), 2U);
  EXPECT_EQ(TotalSleep(), 1800U);
}

TEST_F(ReadFromControllerTest, ReplyToTheFirstRequestIsTakenAtOnce) {
  clock.afterSleep = [this](std::uint32_t now) {
    if (now == 100) {
      ControllerReplies(kDefaultSensitivity);
    }
  };
  SensitivityParams values;
  EXPECT_TRUE(ReadFromController(Engine(), clock, values));
  EXPECT_EQ(values, kDefaultSensitivity);
  EXPECT_EQ(RequestsSent(), 1U);
  EXPECT_EQ(clock.sleeps, (std::vector<std::uint32_t>{100}));
}

}  // namespace
}  // namespace zt::sensitivity
