// The engine through its host, over the fakes: the reader thread, settings
// in and out, start and stop, and the calibration's backup.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "engine/port_finder.h"
#include "engine/touch_host.h"
#include "engine/window_messages.h"
#include "fake_comm_device.h"
#include "fake_registry.h"
#include "platform_fakes.h"
#include "settings/settings_store.h"
#include "touch_contract.h"

namespace zt {
namespace {

using test::FakeCommDevice;
using test::MouseCall;

constexpr WindowHandle kMainWindow = 0x4242;
constexpr char kKey[] = "Software\\Corvantic\\ZeltraTouch";
const RegKeyHandle kRoot = reg::kHkeyLocalMachine;

std::vector<std::uint8_t> Bytes(const Packet& packet) {
  return {packet.begin(), packet.end()};
}

IntPoint DefaultMapping(int x, int y) {
  CGridMapper mapper;
  mapper.ReplacePoints(kDefaultCalibPoints);
  return mapper.MapPoint(x, y);
}

// Real threads; every sleep is cut to a millisecond at most, so the link's
// pauses between tries cost nothing. Counts the time asked for.
class ShortSleepThreads final : public test::DelegatingThreads {
public:
  void Sleep(std::uint32_t milliseconds) override {
    asked.fetch_add(milliseconds);
    std::function<void()> once;
    {
      const std::lock_guard<std::mutex> lock(mutex);
      once = std::exchange(onSleep, nullptr);
    }
    if (once) {
      once();
    }
    real.Sleep(std::min(milliseconds, 1U));
  }
  std::atomic<std::uint32_t> asked{0};
  std::mutex mutex;
  std::function<void()> onSleep;  // runs once, at the next sleep; set under mutex
};

class TouchEngineTest : public ::testing::Test {
protected:
  TouchEngineTest() {
    comm.AddPort("COM3");
    registry.Put("Port", "COM3", false);
    input.doubleClickTime.store(430);
  }
  // A thread a test left running ends before the fakes it uses go.
  ~TouchEngineTest() override {
    host.StopDriver();
    test::WaitUntil([&] { return threads.running.load() == 0; });
  }

  // Starts an engine and waits until its reader has tried the port (it
  // opens it on its own thread) and told the window how that went; one
  // connected on the port takes the settings in place (starts no thread).
  bool Start() {
    const int threadsBefore = threads.created.load();
    return host.ReloadAndStart(kMainWindow) &&
           (threads.created.load() == threadsBefore || test::WaitUntil([&] {
              const auto posted = messages.Take();
              return std::any_of(posted.begin(), posted.end(), [](const test::PostedMessage& m) {
                return m.lParam == kNotifyLinkState;
              });
            }));
  }
  CTouchDriver& Engine() { return *host.Driver(); }

  // The mouse events, once the engine has issued count of them.
  std::vector<MouseCall> WaitForMouse(std::size_t count) {
    test::WaitUntil([&] { return input.MouseCount() >= count; });
    return input.TakeMouse();
  }
  // Waits until the engine has told the main window of link state.
  bool WaitForLinkState(LinkState state) {
    const test::PostedMessage told{kMainWindow, kWmNotifyMain, static_cast<std::uintptr_t>(state),
                                   kNotifyLinkState};
    return test::WaitUntil([&] {
      const auto posted = messages.Take();
      return std::find(posted.begin(), posted.end(), told) != posted.end();
    });
  }
  void SetGone(bool gone) {
    comm.Edit("COM3", [gone](auto& port) { port.gone = gone; });
  }

  test::FakeCommDevice comm;
  ShortSleepThreads threads;
  test::RecordingInput input;
  test::RecordingMessages messages;
  test::FixedMonitors monitors;
  test::FakeRegistry registry{kRoot, kKey};
  settings::CSettingsStore store{registry};
  CTouchHost host{{comm, threads, input, messages, monitors}, store};
};

TEST_F(TouchEngineTest, ReportsBecomeMouseEventsAndRightClicksAreNotified) {
  registry.Put("Right", 1);
  ASSERT_TRUE(Start());
  EXPECT_TRUE(Engine().IsReading());
  // Split across two arrivals, with noise in front.
  const Packet down = BuildTouchReport(1, 1000, 3000);
  comm.Receive("COM3", {0x01, 0x02, down[0], down[1], down[2]});
  comm.Receive("COM3", std::vector<std::uint8_t>(down.begin() + 3, down.end()));
  const IntPoint at = DefaultMapping(1000, 3000);
  EXPECT_EQ(WaitForMouse(2),
            (std::vector<MouseCall>{{0xC001, at.x * 16, at.y * 16, 0, input.kExtraInfo},
                                    {0xC002, at.x * 16, at.y * 16, 0, input.kExtraInfo}}));
  // A lift leaves the raw point of the last touch; raw values above the
  // scale are captured as 4095.
  comm.Receive("COM3", Bytes(BuildTouchReport(4, 1500, 1500)));
  EXPECT_EQ(WaitForMouse(1).size(), 1U);
  EXPECT_EQ(Engine().GetRawPoint(), (IntPoint{1000, 3000}));
  // The one-shot right button, selected before the touch begins.
  Engine().m_bRightSelected.store(1);
  comm.Receive("COM3", Bytes(BuildTouchReport(1, 5000, 4095)));
  EXPECT_EQ(WaitForMouse(2)[0].dx, DefaultMapping(4095, 4095).x * 16);
  EXPECT_EQ(Engine().GetRawPoint(), (IntPoint{4095, 4095}));
  comm.Receive("COM3", Bytes(BuildTouchReport(4, 3000, 3000)));
  EXPECT_EQ(WaitForMouse(1)[0].flags, 0xC010U);
  EXPECT_EQ(
      messages.Take(),
      (std::vector<test::PostedMessage>{{kMainWindow, kWmNotifyMain, 0, kNotifyRightClickDone}}));
}

// A controller that reports only changes, past the panel's edge: readings
// that map to one point are no repeated report, and a resting finger keeps
// its button down.
TEST_F(TouchEngineTest, ReadingsMappedToOnePointAreNoRepeat) {
  ASSERT_TRUE(Start());
  Engine().OnTouch(1, 5000, 100);
  Engine().OnTouch(2, 5001, 100);
  input.tickCount += 1000;
  Engine().CheckTimers();
  EXPECT_EQ(input.TakeMouse().back().flags, 0xC001U);  // the move, no release after it
}

// A display change (800 x 600 from 1 024 x 768, a touch contact down): a
// report that comes while the engine reads the new monitors starts no
// contact in the old geometry; the next starts one in the new.
TEST_F(TouchEngineTest, ADisplayChangeStartsNoContactInTheOldGeometry) {
  const auto only = [](PixelRect desk) {
    return DesktopLayout{{{"\\\\.\\DISPLAY1", desk, desk, true}}, desk};
  };
  monitors.layout = only({0, 0, 1024, 768});
  test::ContractTouchInjection injection{input.tickCount, monitors.layout.virtualDesk};
  CTouchDriver engine({comm, threads, input, messages, monitors, &injection});
  EngineSettings settings;
  settings.output = kOutputTouch;
  engine.ApplySettings(settings);
  engine.OnTouch(1, 2048, 2048);
  monitors.layout = only({0, 0, 800, 600});
  monitors.onLayout = [&] {
    injection.DisplayChange(monitors.layout.virtualDesk), engine.OnTouch(2, 2048, 2048);
  };
  engine.DisplayChanged();
  engine.OnTouch(2, 2048, 2048);
  const auto frames = injection.TakeStamped();  // the two DOWNs alone go through
  EXPECT_EQ(std::count_if(frames.begin(), frames.end(),
                          [](const auto& frame) { return frame.answer == touch::kInjected; }),
            2);
}

// The reader takes a whole burst (5 000 bytes here) in chunks of 4 096
// before it waits again, and a line error costs no byte that follows it.
TEST_F(TouchEngineTest, ReaderTakesBurstsAndRecoversFromLineErrors) {
  std::vector<std::uint8_t> burst;
  for (int i = 0; i < 500; ++i) {
    const auto report = Bytes(BuildTouchReport(2, i, i));
    burst.insert(burst.end(), report.begin(), report.end());
  }
  ASSERT_TRUE(Start());
  auto waitsReach = [this](int count) {
    test::WaitUntil([&] { return comm.Waits() >= count; });
    return comm.Waits();
  };
  EXPECT_EQ(waitsReach(1), 1);  // asleep on the silent line
  comm.Edit("COM3", [&](auto& port) {
    port.pendingErrors = comm::kCeFrame;
    port.input.insert(port.input.end(), burst.begin(), burst.end());
  });
  EXPECT_EQ(WaitForMouse(500).size(), 500U);
  // The wait that the error ends, one for each chunk, then asleep again.
  EXPECT_EQ(waitsReach(4), 4);
  EXPECT_EQ(Engine().GetRawPoint(), (IntPoint{499, 499}));
}

// The device goes away in the middle of a touch: the button is released at
// once where it was pressed, the port is let go of and tried once a second
// until it opens again, with the line and settings it had.
TEST_F(TouchEngineTest, ALostLinkReleasesTheButtonAndReopensAsItWas) {
  registry.Put("PX0", 300);
  registry.Put("TouchMode", 0);
  ASSERT_TRUE(Start());
  const FakeCommDevice::Port line = comm.Get("COM3");
  const EngineSettings settings = Engine().Settings();
  comm.Receive("COM3", Bytes(BuildTouchReport(1, 1000, 3000)));
  const std::vector<MouseCall> pressed = WaitForMouse(2);
  ASSERT_EQ(pressed.size(), 2U);
  const int opensBefore = comm.OpenCalls();
  const std::uint32_t askedBefore = threads.asked.load();

  SetGone(true);
  EXPECT_EQ(WaitForMouse(1),
            (std::vector<MouseCall>{{0xC004, pressed[1].dx, pressed[1].dy, 0, input.kExtraInfo}}));
  EXPECT_TRUE(WaitForLinkState(LinkState::kRetrying));
  EXPECT_FALSE(comm.IsOpen("COM3"));
  test::WaitUntil([&] { return comm.OpenCalls() >= opensBefore + 3; });
  SetGone(false);
  EXPECT_TRUE(WaitForLinkState(LinkState::kConnected));
  EXPECT_EQ(threads.asked.load() - askedBefore,
            1000U * static_cast<std::uint32_t>(comm.OpenCalls() - opensBefore));
  const FakeCommDevice::Port reopened = comm.Get("COM3");
  EXPECT_EQ(std::memcmp(&reopened.timeouts, &line.timeouts, sizeof line.timeouts), 0);
  EXPECT_EQ(reopened.state.stopBits, line.state.stopBits);
  EXPECT_EQ(reopened.mask, line.mask);
  EXPECT_EQ(Engine().Settings(), settings);
  comm.Receive("COM3", Bytes(BuildTouchReport(2, 1000, 3000)));
  EXPECT_EQ(WaitForMouse(1).size(), 1U);
}

// A port Apply restarts the engine: a finger down then is let go of, and
// its moves and lift in the new engine click nothing.
TEST_F(TouchEngineTest, APortApplyWithAFingerDownClicksNothingAtItsLift) {
  registry.Put("TouchMode", kTouchModeClickOnRelease);
  ASSERT_TRUE(Start());
  Engine().OnTouch(1, 1000, 3000);
  ASSERT_TRUE(Start());
  Engine().OnTouch(2, 1010, 3000);
  Engine().OnTouch(4, 1010, 3000);
  const std::vector<MouseCall> calls = input.TakeMouse();
  EXPECT_TRUE(std::all_of(calls.begin(), calls.end(), [](auto& c) { return c.flags == 0xC001U; }));
}

// With "Reconnect" 0 a lost link is reported and never tried again; while
// it is tried, a stop ends the tries at once.
TEST_F(TouchEngineTest, ReconnectOffOrAStopEndTheTries) {
  for (const std::uint32_t reconnect : {0U, 1U}) {
    registry.Put("Reconnect", reconnect);
    SetGone(false);
    ASSERT_TRUE(Start());
    const int opens = comm.OpenCalls();
    SetGone(true);
    EXPECT_TRUE(WaitForLinkState(reconnect != 0 ? LinkState::kRetrying : LinkState::kLost));
    EXPECT_TRUE(host.StopDriver());
    EXPECT_TRUE(reconnect != 0 || comm.OpenCalls() == opens);
  }
}

// The stored monitor gets the touches; while it is gone, the primary one.
TEST_F(TouchEngineTest, TouchesFollowTheStoredMonitorWhileItIsThere) {
  const MonitorInfo primary{"\\\\.\\DISPLAY1", {0, 0, 1024, 768}, {}, true};
  const MonitorInfo second{"\\\\.\\DISPLAY2", {1024, 0, 1824, 600}, {}, false};
  monitors.layout = {{primary, second}, {0, 0, 1824, 768}};
  registry.Put("Monitor", second.deviceName, false);
  ASSERT_TRUE(Start());
  EXPECT_EQ(Engine().TouchMonitor(), second.rect);
  monitors.layout = {{primary}, primary.rect};
  EXPECT_FALSE(Engine().UpdateDesktop());
  EXPECT_EQ(Engine().TouchMonitor(), primary.rect);
  monitors.layout = {{primary, second}, {0, 0, 1824, 768}};
  EXPECT_TRUE(Engine().UpdateDesktop());
  EXPECT_EQ(Engine().TouchMonitor(), second.rect);
}

// "Mapping" 1: the precise mapping, or the grid where the points do not
// pin the precise one down (the middle column read on the left one's line).
TEST_F(TouchEngineTest, PreciseMappingWhereChosenAndUsable) {
  CalibPoints bowed = kDefaultCalibPoints, column = kDefaultCalibPoints;
  bowed[7].x += 80;
  bowed[5].x += 80;
  column[4].x = column[8].x = column[6].x = 205;
  // Any other value than 1 is the grid.
  for (const std::uint32_t mapping : {1U, 2U, 0xFFFFFFFFU}) {
    registry.Put("Mapping", mapping);
    for (const CalibPoints& points : {bowed, column}) {
      for (std::size_t i = 0; i < points.size(); ++i) {
        registry.Put("PX" + std::to_string(i), static_cast<std::uint32_t>(points[i].x));
      }
      ASSERT_TRUE(Start());
      comm.Receive("COM3", Bytes(BuildTouchReport(2, 1000, 1500)));
      CGridMapper grid;
      grid.ReplacePoints(points);
      CPreciseMapper precise;
      const bool usable = precise.ReplacePoints(points) && mapping == 1;
      const IntPoint expected = usable ? *precise.MapPoint(1000, 1500) : grid.MapPoint(1000, 1500);
      EXPECT_NE(expected, usable ? grid.MapPoint(1000, 1500) : IntPoint{});
      EXPECT_EQ(WaitForMouse(1)[0].dx, expected.x * 16) << mapping;
    }
  }
}

TEST_F(TouchEngineTest, StartAppliesTheLinkTimeoutsAndTheStoredSettings) {
  ASSERT_TRUE(Start());
  // Reads wait for their bytes: no read time-outs at all; a write gives
  // up after a second and a millisecond a byte.
  const CommTimeouts timeouts = comm.Get("COM3").timeouts;
  EXPECT_EQ(std::vector({timeouts.readIntervalTimeout, timeouts.readTotalTimeoutMultiplier,
                         timeouts.readTotalTimeoutConstant, timeouts.writeTotalTimeoutMultiplier,
                         timeouts.writeTotalTimeoutConstant}),
            std::vector({0U, 0U, 0U, 1U, 1000U}));
  EngineSettings defaults;
  defaults.dTime = 430;  // the desktop's, left alone
  EXPECT_EQ(Engine().Settings(), defaults);
  EXPECT_EQ(input.setDoubleClickTimeCalls.load(), 0);

  const std::pair<const char*, std::uint32_t> stored[] = {
      {"DTime", 700}, {"DZONE", 2},       {"DZoneX", 300},  {"DZoneY", 301},
      {"Beep", 1},    {"Freq", 1000},     {"Duration", 50}, {"TouchMode", 5},
      {"PX0", 300},   {"HoldRight", 750}, {"HoldZone", 99}, {"Smoothing", 2}};
  for (const auto& [name, value] : stored) {
    registry.Put(name, value);
  }
  ASSERT_TRUE(Start());
  EngineSettings expected{700, 2, 300, 301, 1, 1000, 50, 5, kDefaultCalibPoints, 1, ""};
  expected.points[0].x = 300;
  expected.holdRight = 750;
  expected.holdZone = 99;
  expected.smoothing = 2;
  EXPECT_EQ(Engine().Settings(), expected);
  EXPECT_EQ(input.doubleClickTime.load(), 700U);
}

// With "Reconnect" 0 a port that does not open leaves an engine that says
// so and is not connected; settings that cannot be read leave none at all.
// Every open runs on the engine's thread, never on the caller's (the
// window's): a port may block in its open for many seconds.
TEST_F(TouchEngineTest, FailedStartsLeaveNoConnectedEngine) {
  const std::pair<std::function<void()>, bool> failures[] = {
      {[&] { registry.Put("Port", "COM8", false); }, true},
      {[&] { host.StopDriver(), comm.Edit("COM3", [](auto& port) { port.busy = true; }); }, true},
      // A port name too long to read: the old engine must not run on.
      {[&] { registry.Put("Port", std::string(1024, 'C'), false); }, false},
      {[&] { registry.SetKey(false); }, false},
  };
  for (const auto& [fail, engineLeft] : failures) {
    SCOPED_TRACE(&fail - &failures[0].first);
    registry.Put("Reconnect", 0);
    ASSERT_TRUE(Start());
    EXPECT_NE(comm.Get("COM3").openedOn, std::this_thread::get_id());
    fail();
    EXPECT_EQ(Start(), engineLeft);
    EXPECT_EQ(host.Driver() != nullptr, engineLeft);
    EXPECT_TRUE(!engineLeft || Engine().GetLinkState() == LinkState::kCantOpen);
    EXPECT_EQ(host.ConnectedDriver(), nullptr);
    EXPECT_FALSE(comm.IsOpen("COM3"));
    comm.Edit("COM3", [](auto& port) { port = {}; });
    registry.Put("Port", "COM3", false);
  }
}

// A port slow to open (a Bluetooth serial port, 1.5 s here) connects on
// the try after its open completes, with the handle that open brought: the
// driver is asked to open it once. A stop meanwhile never waits for it.
TEST_F(TouchEngineTest, APortSlowToOpenConnectsOnTheNextTry) {
  comm.Edit("COM3", [](auto& port) { port.openDelayMs = 1500; });
  ASSERT_TRUE(host.ReloadAndStart(kMainWindow));
  EXPECT_TRUE(WaitForLinkState(LinkState::kWaiting));
  EXPECT_TRUE(WaitForLinkState(LinkState::kConnected));
  EXPECT_EQ(comm.OpenCalls(), 1);

  comm.Edit("COM3", [](auto& port) { port.openDelayMs = 4000; });
  ASSERT_TRUE(Start());
  const auto stopping = std::chrono::steady_clock::now();
  EXPECT_TRUE(host.StopDriver());
  EXPECT_LT(std::chrono::steady_clock::now() - stopping, std::chrono::seconds(2));
}

// Whatever the driver does, a stop (an Apply, say) returns within two
// seconds and lets go of the button a finger holds, where the finger last
// was: a read the driver keeps after the cancellation and a close that
// takes seconds; a reader stuck in a driver call that does not return,
// left running with the engine, which it frees once the call returns.
TEST_F(TouchEngineTest, AStopIsBoundedWhateverTheDriverDoes) {
  for (const bool stuck : {false, true}) {
    comm.Edit("COM3", [](auto& port) { port = {}; });
    ASSERT_TRUE(Start());
    comm.Receive("COM3", Bytes(BuildTouchReport(1, 1000, 3000)));
    comm.Receive("COM3", Bytes(BuildTouchReport(2, 1200, 3000)));
    const std::vector<MouseCall> pressed = WaitForMouse(3);
    ASSERT_EQ(pressed.size(), 3U);
    comm.Edit("COM3", [&](auto& port) {
      port.ignoresCancel = !stuck, port.closeDelayMs = stuck ? 0 : 3000, port.hangs = stuck;
    });
    if (stuck) {
      comm.Receive("COM3", Bytes(BuildTouchReport(2, 1200, 3000)));
      test::WaitUntil([&] { return comm.Get("COM3").input.empty(); });
    }
    const auto stopping = std::chrono::steady_clock::now();
    EXPECT_TRUE(host.StopDriver());
    EXPECT_LT(std::chrono::steady_clock::now() - stopping, std::chrono::seconds(2));
    EXPECT_EQ(
        input.TakeMouse(),
        (std::vector<MouseCall>{{0xC004, pressed[2].dx, pressed[2].dy, 0, input.kExtraInfo}}));
    EXPECT_EQ(threads.leftRunning.load(), stuck ? 1 : 0);
    comm.Edit("COM3", [](auto& port) { port.hangs = false; });
    EXPECT_TRUE(
        test::WaitUntil([&] { return threads.running.load() == 0 && !comm.IsOpen("COM3"); }));
  }
}

// A device whose reads keep failing with a line error while the driver
// still answers ClearCommError is a lost link after two seconds of it, and
// heals as one.
TEST_F(TouchEngineTest, ReadsThatNeverStopFailingAreALostLink) {
  ASSERT_TRUE(Start());
  comm.Edit("COM3",
            [](auto& port) { port.failWaitsWith = FakeCommDevice::kErrorOperationAborted; });
  EXPECT_TRUE(WaitForLinkState(LinkState::kRetrying));
  EXPECT_GE(threads.asked.load(), 1800U);
  comm.Edit("COM3", [](auto& port) { port.failWaitsWith = 0; });
  EXPECT_TRUE(WaitForLinkState(LinkState::kConnected));
}

// A port that is not there at start (an adapter not yet plugged in) is
// tried about once a second, the engine not connected meanwhile; it runs
// as soon as the port appears, configured as at any start.
TEST_F(TouchEngineTest, APortNotThereYetIsWaitedFor) {
  registry.Put("Port", "COM12", false);
  ASSERT_TRUE(Start());
  EXPECT_EQ(Engine().GetLinkState(), LinkState::kWaiting);
  EXPECT_EQ(host.ConnectedDriver(), nullptr);
  test::WaitUntil([&] { return comm.OpenCalls() >= 3; });
  comm.AddPort("COM12");
  EXPECT_TRUE(WaitForLinkState(LinkState::kConnected));
  EXPECT_EQ(host.ConnectedDriver(), host.Driver());
  EXPECT_EQ(comm.Get("COM12").timeouts.writeTotalTimeoutConstant, 1000U);
  comm.Receive("COM12", Bytes(BuildTouchReport(2, 1000, 3000)));
  EXPECT_EQ(WaitForMouse(1).size(), 1U);
}

// Find tries the ports side by side and takes the first valid answer, a
// parameter reply or a touch report, also from a port slow to open (2 s)
// and slow to take its request (1.1 s, neither counted against the other's
// time-out), past a port that opens too slowly (its open outlives the
// search, and the handle it brings then is closed at once),
// one that is silent, one that echoes the request, one with line errors
// and one that is not there. It only asks: nothing but the request is
// written.
TEST_F(TouchEngineTest, FindTakesThePortThatAnswers) {
  const std::vector<std::string> ports = {"COM4", "COM5", "COM6", "COM7", "COM9", "COM10"};
  const std::vector<std::uint8_t> answers[] = {
      Bytes(BuildParameterReply(kDefaultSensitivity)), Bytes(BuildTouchReport(1, 5, 5)), {}};
  const std::vector<std::uint8_t> request = Bytes(BuildParameterRequest());
  CPortFinder finder(comm, threads, messages);
  for (const auto& answer : answers) {
    SCOPED_TRACE(answer.size());
    comm.Edit("COM4", [](auto& port) { port = {}, port.openDelayMs = 4000; });
    comm.Edit("COM5", [](auto& port) { port = {}; });
    comm.Edit("COM6", [&](auto& port) { port = {}, port.answer = request; });
    comm.Edit("COM7", [](auto& port) { port = {}, port.pendingErrors = comm::kCeFrame; });
    comm.Edit("COM10", [&](auto& port) {
      port = {}, port.answer = answer, port.openDelayMs = 2000, port.writeDelayMs = 1100;
    });
    ASSERT_TRUE(finder.Start(ports, kMainWindow));
    const bool answered = !answer.empty();
    const test::PostedMessage done{kMainWindow, kWmNotifyMain, answered ? 1U : 0U, kNotifyFindDone};
    EXPECT_TRUE(test::WaitUntil([&] { return messages.Take() == std::vector{done}; }));
    std::string found;
    EXPECT_TRUE(finder.TakeResult(found));
    EXPECT_EQ(found, answered ? "COM10" : "");
    EXPECT_FALSE(comm.IsOpen("COM10"));
    EXPECT_EQ(comm.Get("COM10").written, request);
    for (const char* port : {"COM5", "COM6"}) {  // once an answer is in, these may go unasked
      EXPECT_TRUE(comm.Get(port).written == request ||
                  (answered && comm.Get(port).written.empty()));
    }
  }
  EXPECT_TRUE(test::WaitUntil(  // not held for a next try that will not come
      [&] { return !comm.IsOpening("COM4") && !comm.IsOpen("COM4"); }, 3000));
  // Stopped midway: nothing found, nobody told.
  comm.Edit("COM4", [](auto& port) { port = {}, port.openDelayMs = 4000; });
  ASSERT_TRUE(finder.Start({"COM4", "COM5"}, kMainWindow));
  finder.Stop();
  EXPECT_FALSE(comm.IsOpen("COM5"));
  std::string found;
  EXPECT_FALSE(finder.TakeResult(found));
  EXPECT_TRUE(messages.Take().empty());
  EXPECT_EQ(comm.StaleCalls(), 0);
}

// A machine with many ports held by other programs, slow to say so (a
// switched-off Bluetooth device's open fails after many seconds): a few
// are probed at a time, counting the opens a probe gave up on, and the
// last one, which answers, is still asked. A probe whose write never
// completes does not hold up a stop.
TEST_F(TouchEngineTest, FindProbesAFewPortsAtATime) {
  std::vector<std::string> ports;
  for (int i = 10; i < 22; ++i) {
    ports.push_back("COM" + std::to_string(i));
    comm.Edit(ports.back(), [](auto& port) { port.openDelayMs = 3500, port.busy = true; });
  }
  comm.Edit("COM21", [&](auto& port) {
    port = {}, port.answer = Bytes(BuildParameterReply(kDefaultSensitivity));
  });
  CPortFinder finder(comm, threads, messages);
  ASSERT_TRUE(finder.Start(ports, kMainWindow));
  EXPECT_TRUE(test::WaitUntil([&] { return !messages.Take().empty(); }, 15000));
  std::string found;
  EXPECT_TRUE(finder.TakeResult(found));
  EXPECT_EQ(found, "COM21");
  EXPECT_LE(comm.MostBusyAtOnce(), 8);

  comm.Edit("COM21", [](auto& port) { port.stuckWrites = true; });
  ASSERT_TRUE(finder.Start({"COM21"}, kMainWindow));
  EXPECT_TRUE(test::WaitUntil([&] { return comm.Get("COM21").writesStuck == 1; }));
  const auto stopping = std::chrono::steady_clock::now();
  finder.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - stopping, std::chrono::seconds(2));
}

TEST_F(TouchEngineTest, EmptyPortLeavesARunningEngineAloneAndStopReleasesIt) {
  ASSERT_TRUE(Start());
  CTouchDriver* running = host.Driver();
  host.m_szPort[0] = '\0';
  EXPECT_FALSE(host.StartDriver(kMainWindow));
  EXPECT_EQ(host.Driver(), running);
  EXPECT_TRUE(host.StopDriver());
  EXPECT_EQ(host.Driver(), nullptr);
  EXPECT_FALSE(comm.IsOpen("COM3"));
  EXPECT_TRUE(host.StopDriver());
}

// The thread must see the stop rather than raise the flag again: it never
// opens the port, and the stop ends it.
TEST_F(TouchEngineTest, StopBeforeTheReaderBeginsStillEndsIt) {
  test::DelegatingThreads gated;
  gated.open.store(false);
  CTouchHost gatedHost({comm, gated, input, messages, monitors}, store);
  ASSERT_TRUE(gatedHost.ReloadAndStart(kMainWindow));
  gatedHost.Driver()->RequestStop();
  gated.open.store(true);
  EXPECT_TRUE(gatedHost.StopDriver());
  EXPECT_EQ(gated.leftRunning.load(), 0);
  EXPECT_EQ(comm.OpenCalls(), 0);
}

// The calibration window reads the raw point while reports arrive: X and Y
// always belong to one report.
// A calibration put into effect while reports are mapped (a calibration
// run's steps): each report is mapped wholly by the old or the new one,
// never by one's mapping with the other's points; and the raw point read
// meanwhile is never torn across two reports.
TEST_F(TouchEngineTest, EveryReportIsMappedByOneWholeCalibration) {
  ASSERT_TRUE(Start());
  CalibPoints bowed = kDefaultCalibPoints, mirrored = kDefaultCalibPoints;
  bowed[7].x += 80;
  bowed[5].x += 80;
  for (IntPoint& point : mirrored) {
    point.x = 4095 - point.x;
  }
  const LiveCalibration calibrations[] = {{bowed, kMappingPrecise}, {mirrored, kMappingGrid}};
  std::vector<std::int32_t> expected;  // what each maps either report to, alone
  for (const LiveCalibration& calibration : calibrations) {
    Engine().UseCalibration(calibration);
    for (const int x : {1000, 1001}) {
      Engine().OnTouch(2, x, x);
      expected.push_back(input.TakeMouse().at(0).dx);
    }
  }
  std::atomic<bool> done{false};
  std::thread changer([&] {
    for (int i = 1; !done.load(); ++i) {
      Engine().UseCalibration(calibrations[i % 2]);
      const IntPoint raw = Engine().GetRawPoint();
      ASSERT_EQ(raw.x, raw.y);
    }
  });
  for (int i = 0; i < 300; ++i) {
    Engine().OnTouch(2, 1000 + i % 2, 1000 + i % 2);
    std::this_thread::yield();
  }
  done.store(true);
  changer.join();
  for (const MouseCall& call : input.TakeMouse()) {
    ASSERT_NE(std::find(expected.begin(), expected.end(), call.dx), expected.end()) << call.dx;
  }
}

// Start and stop many times: nothing leaks (ASan) and nothing races (TSan).
TEST_F(TouchEngineTest, ManyStartsAndStops) {
  for (int i = 0; i < 1000; ++i) {
    host.StopDriver();  // else a reload takes the settings in place
    ASSERT_TRUE(Start());
    comm.Receive("COM3", Bytes(BuildTouchReport(2, i, i)));
  }
  EXPECT_TRUE(host.StopDriver());
  EXPECT_EQ(comm.StaleCalls(), 0);
}

}  // namespace
}  // namespace zt
