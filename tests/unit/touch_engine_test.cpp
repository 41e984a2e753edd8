#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "calibration/calib_mapper.h"
#include "delegating_threads.h"
#include "engine/touch_host.h"
#include "fake_comm_device.h"
#include "fake_registry.h"
#include "platform/std_threads.h"
#include "recording_input.h"
#include "settings/settings_schema.h"

namespace zt {
namespace {

using test::MouseCall;

constexpr WindowHandle kMainWindow = 0x4242;
constexpr char kKey[] = "Software\\Corvantic\\ZeltraTouch";
const RegKeyHandle kRoot = reg::kHkeyLocalMachine;

std::vector<std::uint8_t> Bytes(const Packet& packet) {
  return std::vector<std::uint8_t>(packet.begin(), packet.end());
}

IntPoint DefaultMapping(int x, int y) {
  CGridMapper mapper;
  mapper.SetDefaults();
  mapper.UpdateOrientation();
  return mapper.MapPoint(x, y);
}

class TouchEngineTest : public ::testing::Test {
protected:
  TouchEngineTest() {
    comm.AddPort("COM3");
    registry.CreateKey(kRoot, kKey);
    registry.PutString(kRoot, kKey, "Port", "COM3", false);
    input.doubleClickTime.store(430);
  }

  ~TouchEngineTest() override { host.StopDriver(); }

  bool Start() {
    host.LoadStartupSettings();
    return host.StartDriver(kMainWindow);
  }

  // Waits, for a bounded time, until the engine has issued count events.
  std::vector<MouseCall> WaitForMouse(std::size_t count) {
    for (int i = 0; i < 5000 && input.MouseCount() < count; ++i) {
      threads.Sleep(1);
    }
    return input.TakeMouse();
  }

  test::FakeCommDevice comm;
  StdThreads threads;
  test::RecordingInput input;
  test::RecordingMessages messages;
  test::FakeRegistry registry;
  CTouchHost host{{comm, threads, input, messages, registry}};
};

TEST_F(TouchEngineTest, TouchReportsBecomeMouseEvents) {
  ASSERT_TRUE(Start());
  CTouchDriver* engine = host.Driver();
  ASSERT_NE(engine, nullptr);
  EXPECT_TRUE(engine->IsReading());

  // Split across two arrivals, with noise in front.
  const Packet down = BuildTouchReport(1, 1000, 3000);
  comm.Receive("COM3", {0x01, 0x02, down[0], down[1], down[2]});
  comm.Receive("COM3", std::vector<std::uint8_t>(down.begin() + 3, down.end()));
  const auto calls = WaitForMouse(2);
  const IntPoint at = DefaultMapping(1000, 3000);
  ASSERT_EQ(calls.size(), 2U);
  EXPECT_EQ(calls[0], (MouseCall{0x8001, at.x * 16, at.y * 16, 0, input.kExtraInfo}));
  EXPECT_EQ(calls[1], (MouseCall{0x8002, at.x * 16, at.y * 16, 0, input.kExtraInfo}));
  EXPECT_EQ(engine->GetRawPoint(), (IntPoint{1000, 3000}));

  comm.Receive("COM3", Bytes(BuildTouchReport(4, 1500, 1500)));
  const auto lift = WaitForMouse(1);
  ASSERT_EQ(lift.size(), 1U);
  EXPECT_EQ(lift[0].flags, 0x8004U);
  EXPECT_EQ(engine->GetRawPoint(), (IntPoint{1000, 3000}));
}

TEST_F(TouchEngineTest, RawPositionAboveTheScaleIsCapturedAndMappedAs4095) {
  ASSERT_TRUE(Start());
  comm.Receive("COM3", Bytes(BuildTouchReport(2, 5000, 4095)));
  const auto calls = WaitForMouse(1);
  ASSERT_EQ(calls.size(), 1U);
  EXPECT_EQ(host.Driver()->GetRawPoint(), (IntPoint{4095, 4095}));
  const IntPoint at = DefaultMapping(4095, 4095);
  EXPECT_EQ(calls[0].dx, at.x * 16);
}

TEST_F(TouchEngineTest, UnsolicitedParameterReplyReachesTheUserInterface) {
  ASSERT_TRUE(Start());
  comm.Receive("COM3", {0x55, 0x79, 0x02, 0xC1, 0x00, 0x03, 0x00, 0x07, 0x01, 0x68});
  const ParameterReply& reply = host.Driver()->Reply();
  for (int i = 0; i < 5000 && !reply.HasArrived(); ++i) {
    threads.Sleep(1);
  }
  ASSERT_TRUE(reply.HasArrived());
  EXPECT_EQ(reply.Values(), (SensitivityParams{705, 3, 7, 360}));
}

TEST_F(TouchEngineTest, CommandsGoOutOnTheLine) {
  ASSERT_TRUE(Start());
  CTouchDriver* engine = host.Driver();
  EXPECT_TRUE(engine->RequestParameters());
  EXPECT_TRUE(engine->SendParameters(kDefaultSensitivity));
  std::vector<std::uint8_t> expected = Bytes(BuildParameterRequest());
  const Packet write = BuildParameterWrite(kDefaultSensitivity);
  expected.insert(expected.end(), write.begin(), write.end());
  EXPECT_EQ(comm.Written("COM3"), expected);
}

TEST_F(TouchEngineTest, RightClickCompletionIsPostedToTheNotifyWindow) {
  registry.PutDword(kRoot, kKey, "Right", 1);
  ASSERT_TRUE(Start());
  host.Driver()->m_bRightSelected.store(1);
  comm.Receive("COM3", Bytes(BuildTouchReport(1, 3000, 3000)));
  comm.Receive("COM3", Bytes(BuildTouchReport(4, 3000, 3000)));
  const auto calls = WaitForMouse(3);
  ASSERT_EQ(calls.size(), 3U);
  EXPECT_EQ(calls[2].flags, 0x8010U);
  EXPECT_EQ(messages.Take(), (std::vector<test::PostedMessage>{{kMainWindow, 1034, 0, 1}}));
}

TEST_F(TouchEngineTest, EmptyKeyGivesTheDefaultBehaviour) {
  ASSERT_TRUE(Start());
  const CTouchDriver& engine = *host.Driver();
  EXPECT_EQ(engine.m_nDTime.load(), 430);
  EXPECT_EQ(engine.m_nDZone.load(), 1);
  EXPECT_EQ(engine.m_nDZoneX.load(), 1);
  EXPECT_EQ(engine.m_nDZoneY.load(), 1);
  EXPECT_EQ(engine.m_nTouchMode.load(), 0);
  EXPECT_EQ(engine.m_bBeep.load(), 0);
  EXPECT_EQ(engine.Freq(), 600);
  EXPECT_EQ(engine.Duration(), 600);
  EXPECT_EQ(engine.m_bRightEnabled.load(), 0);
  EXPECT_EQ(engine.m_bRightSelected.load(), 0);
  EXPECT_EQ(input.setDoubleClickTimeCalls.load(), 0);
  const IntPoint centre = host.Driver()->LiveMapper().MapPoint(2048, 2048);
  EXPECT_EQ(centre, (IntPoint{2048, 2048}));
}

TEST_F(TouchEngineTest, StoredSettingsAreLoadedAndDTimeSetsTheDesktop) {
  registry.PutDword(kRoot, kKey, "DTime", 700);
  registry.PutDword(kRoot, kKey, "DZONE", 2);
  registry.PutDword(kRoot, kKey, "DZoneX", 300);
  registry.PutDword(kRoot, kKey, "DZoneY", 300);
  registry.PutDword(kRoot, kKey, "Beep", 1);
  registry.PutDword(kRoot, kKey, "Freq", 1000);
  registry.PutDword(kRoot, kKey, "Duration", 50);
  registry.PutDword(kRoot, kKey, "TouchMode", 2);
  ASSERT_TRUE(Start());
  const CTouchDriver& engine = *host.Driver();
  EXPECT_EQ(engine.m_nDTime.load(), 700);
  EXPECT_EQ(input.doubleClickTime.load(), 700U);
  EXPECT_EQ(engine.m_nDZone.load(), 2);
  EXPECT_EQ(engine.m_nDZoneX.load(), 300);
  EXPECT_EQ(engine.m_bBeep.load(), 1);
  EXPECT_EQ(engine.Freq(), 1000);
  EXPECT_EQ(engine.Duration(), 50);
  EXPECT_EQ(engine.m_nTouchMode.load(), 2);
}

TEST_F(TouchEngineTest, DTimeStoredAsAStringIsIgnored) {
  registry.PutString(kRoot, kKey, "DTime", "900", true);
  ASSERT_TRUE(Start());
  EXPECT_EQ(host.Driver()->m_nDTime.load(), 430);
  EXPECT_EQ(input.setDoubleClickTimeCalls.load(), 0);
}

TEST_F(TouchEngineTest, UnknownTouchModeActsAsNormal) {
  registry.PutDword(kRoot, kKey, "TouchMode", 5);
  ASSERT_TRUE(Start());
  EXPECT_EQ(host.Driver()->m_nTouchMode.load(), 5);
  comm.Receive("COM3", Bytes(BuildTouchReport(1, 3000, 3000)));
  const auto calls = WaitForMouse(2);
  ASSERT_EQ(calls.size(), 2U);
  EXPECT_EQ(calls[1].flags, 0x8002U);
}

enum class StartFailure { kMissingPort, kBusyPort, kPortWillNotConfigure, kNoSettingsKey };

TEST_F(TouchEngineTest, StartFailuresLeaveNoEngine) {
  for (StartFailure failure : {StartFailure::kMissingPort, StartFailure::kBusyPort,
                               StartFailure::kPortWillNotConfigure, StartFailure::kNoSettingsKey}) {
    SCOPED_TRACE(static_cast<int>(failure));
    ASSERT_TRUE(Start());
    switch (failure) {
      case StartFailure::kMissingPort:
        registry.PutString(kRoot, kKey, "Port", "COM8", false);
        host.LoadStartupSettings();
        break;
      case StartFailure::kBusyPort:
        comm.SetBusy("COM3", true);
        break;
      case StartFailure::kPortWillNotConfigure:
        comm.FailGetMask("COM3", true);
        break;
      case StartFailure::kNoSettingsKey:
        registry.DeleteKey(kRoot, kKey);
        break;
    }
    EXPECT_FALSE(host.StartDriver(kMainWindow));
    EXPECT_EQ(host.Driver(), nullptr);
    EXPECT_FALSE(comm.IsOpen("COM3"));

    comm.SetBusy("COM3", false);
    comm.FailGetMask("COM3", false);
    registry.CreateKey(kRoot, kKey);
    registry.PutString(kRoot, kKey, "Port", "COM3", false);
  }
}

TEST_F(TouchEngineTest, EmptyPortLeavesARunningEngineAlone) {
  ASSERT_TRUE(Start());
  CTouchDriver* running = host.Driver();
  host.m_szPort[0] = '\0';
  EXPECT_FALSE(host.StartDriver(kMainWindow));
  EXPECT_EQ(host.Driver(), running);
  EXPECT_TRUE(comm.IsOpen("COM3"));
}

TEST_F(TouchEngineTest, RestartReopensTheSamePortAndStopReleasesIt) {
  ASSERT_TRUE(Start());
  ASSERT_TRUE(host.StartDriver(kMainWindow));
  EXPECT_TRUE(comm.IsOpen("COM3"));
  EXPECT_TRUE(host.StopDriver());
  EXPECT_EQ(host.Driver(), nullptr);
  EXPECT_FALSE(comm.IsOpen("COM3"));
  EXPECT_TRUE(host.StopDriver());
}

// Threads that stay suspended until ResumeThread, as a thread may be when
// the stop comes before it has run a single instruction.
class SuspendedThreads final : public test::DelegatingThreads {
public:
  ThreadHandle CreateThread(ThreadRoutine routine, void* argument) override {
    m_routine = routine;
    m_argument = argument;
    return real.CreateThread(&SuspendedThreads::Run, this);
  }
  void ResumeThread(ThreadHandle /*thread*/) override { m_resumed.store(true); }

private:
  static void Run(void* self) {
    auto* threads = static_cast<SuspendedThreads*>(self);
    while (!threads->m_resumed.load()) {
      std::this_thread::yield();
    }
    threads->m_routine(threads->m_argument);
  }

  ThreadRoutine m_routine = nullptr;
  void* m_argument = nullptr;
  std::atomic<bool> m_resumed{false};
};

TEST_F(TouchEngineTest, StopBeforeTheReaderBeginsStillEndsIt) {
  SuspendedThreads suspended;
  CTouchHost gatedHost({comm, suspended, input, messages, registry});
  gatedHost.LoadStartupSettings();
  ASSERT_TRUE(gatedHost.StartDriver(kMainWindow));
  gatedHost.Driver()->RequestStop();
  // Destruction resumes the thread and waits for it without a time limit:
  // the thread must see the stop and end rather than raise the flag again.
  EXPECT_TRUE(gatedHost.StopDriver());
  EXPECT_EQ(gatedHost.Driver(), nullptr);
}

TEST_F(TouchEngineTest, CalibrationBackupAndRestore) {
  ASSERT_TRUE(Start());
  CTouchDriver& engine = *host.Driver();
  const CalibPoints before = engine.LiveMapper().Points();
  engine.SaveCalibration();
  CalibPoints changed = before;
  changed[0] = {300, 300};
  engine.LiveMapper().ReplacePoints(changed);
  engine.RestoreCalibration();
  EXPECT_EQ(engine.LiveMapper().Points(), before);
}

}  // namespace
}  // namespace zt
