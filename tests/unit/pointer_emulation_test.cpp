#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "delegating_threads.h"
#include "engine/touch_driver.h"
#include "fake_comm_device.h"
#include "fake_registry.h"
#include "platform/std_threads.h"
#include "recording_input.h"

namespace zt {
namespace {

using test::MouseCall;
using test::PostedMessage;

constexpr WindowHandle kNotifyWindow = 0x1234;

// Counts thread starts: with no reader thread running, each is a beep.
class CountingThreads final : public test::DelegatingThreads {
public:
  ThreadHandle CreateThread(ThreadRoutine routine, void* argument) override {
    started.fetch_add(1);
    return real.CreateThread(routine, argument);
  }

  std::atomic<int> started{0};
};

class PointerEmulationTest : public ::testing::Test {
protected:
  PointerEmulationTest() {
    engine.SetNotifyWindow(kNotifyWindow);
    engine.m_nDTime.store(500);
    engine.m_nDZoneX.store(1600);
    engine.m_nDZoneY.store(1600);
    engine.m_bBeep.store(1);
    input.tickCount += 10000;  // well past the construction time
  }

  ~PointerEmulationTest() override {
    // Beep threads call into the input fake; let them finish first.
    WaitForBeeps(threads.started.load());
  }

  void WaitForBeeps(int count) {
    for (int i = 0; i < 10000 && input.beepCount.load() < count; ++i) {
      threads.real.Sleep(1);
    }
  }

  void SetRightState(bool on) {
    engine.m_bRightEnabled.store(on ? 1 : 0);
    engine.m_bRightSelected.store(on ? 1 : 0);
  }

  // Forgets what the preparation of a case produced.
  void ClearRecords() {
    WaitForBeeps(threads.started.load());
    input.TakeMouse();
    messages.Take();
    beepsBefore = threads.started.load();
  }

  int BeepsStarted() const { return threads.started.load() - beepsBefore; }

  test::FakeCommDevice comm;
  CountingThreads threads;
  test::RecordingInput input;
  test::RecordingMessages messages;
  test::FakeRegistry registry;
  CTouchDriver engine{{comm, threads, input, messages, registry}};
  int beepsBefore = 0;
};

// The behaviour table: mode, status, double tap or not, right state, and
// the actions in order. P and R are the press and release of the state's
// button, M the move, B a beep start and N the notification.
struct BehaviourRow {
  std::int32_t mode;
  std::int32_t status;
  bool doubleTap;
  bool right;
  std::string actions;
};

std::vector<BehaviourRow> BehaviourTable() {
  std::vector<BehaviourRow> rows;
  // Modes outside 0..2 behave as Normal.
  const std::int32_t modes[] = {0, 1, 2, 5, -1};
  for (std::int32_t mode : modes) {
    const std::int32_t acting = (mode == 1 || mode == 2) ? mode : 0;
    for (bool right : {false, true}) {
      rows.push_back({mode, 2, false, right, "M"});
      rows.push_back({mode, 1, true, right, "PR"});
      for (std::int32_t ignored : {0, 3, 5, 255}) {
        rows.push_back({mode, ignored, false, right, ""});
      }
      switch (acting) {
        case 0:
          rows.push_back({mode, 1, false, right, "MPB"});
          rows.push_back({mode, 4, false, right, right ? "RN" : "R"});
          break;
        case 1:
          rows.push_back({mode, 1, false, right, right ? "MPBRN" : "MPBR"});
          rows.push_back({mode, 4, false, right, ""});
          break;
        default:
          rows.push_back({mode, 1, false, right, "M"});
          rows.push_back({mode, 4, false, right, right ? "MPBRN" : "MPBR"});
          break;
      }
    }
  }
  return rows;
}

std::string Describe(const BehaviourRow& row) {
  return "mode " + std::to_string(row.mode) + " status " + std::to_string(row.status) +
         (row.doubleTap ? " double tap" : "") + (row.right ? " right" : " left");
}

TEST_F(PointerEmulationTest, BehaviourTable) {
  constexpr std::int32_t kX = 1000;
  constexpr std::int32_t kY = 2000;
  constexpr std::int32_t kAx = kX * 16;
  constexpr std::int32_t kAy = kY * 16;
  for (const BehaviourRow& row : BehaviourTable()) {
    SCOPED_TRACE(Describe(row));
    engine.m_nTouchMode.store(row.mode);
    SetRightState(false);
    input.tickCount += 100000;
    if (row.doubleTap) {
      engine.EmulatePointer(1, kX + 20, kY - 20);  // the first tap, nearby
      input.tickCount += 10;
    }
    SetRightState(row.right);
    ClearRecords();

    engine.EmulatePointer(row.status, kX, kY);

    const std::uint32_t press = row.right ? 0x8008 : 0x8002;
    const std::uint32_t release = row.right ? 0x8010 : 0x8004;
    std::vector<MouseCall> expectedMouse;
    std::vector<PostedMessage> expectedPosts;
    int expectedBeeps = 0;
    for (char action : row.actions) {
      switch (action) {
        case 'M':
          expectedMouse.push_back({0x8001, kAx, kAy, 0, input.kExtraInfo});
          break;
        case 'P':
          expectedMouse.push_back({press, kAx, kAy, 0, input.kExtraInfo});
          break;
        case 'R':
          expectedMouse.push_back({release, kAx, kAy, 0, input.kExtraInfo});
          break;
        case 'B':
          ++expectedBeeps;
          break;
        case 'N':
          expectedPosts.push_back({kNotifyWindow, 1034, 0, 1});
          break;
        default:
          FAIL() << "unknown action " << action;
      }
    }
    EXPECT_EQ(input.TakeMouse(), expectedMouse);
    EXPECT_EQ(messages.Take(), expectedPosts);
    EXPECT_EQ(BeepsStarted(), expectedBeeps);
  }
}

TEST_F(PointerEmulationTest, BeepsOnlyWhenEnabledAndWithTheToneReadWhenItRuns) {
  engine.m_bBeep.store(0);
  engine.EmulatePointer(1, 100, 100);
  EXPECT_EQ(threads.started.load(), 0);

  engine.m_bBeep.store(1);
  engine.SetBeepTone(1200, 80);
  input.tickCount += 100000;
  engine.EmulatePointer(1, 3000, 3000);
  WaitForBeeps(1);
  ASSERT_EQ(input.Beeps().size(), 1U);
  EXPECT_EQ(input.Beeps()[0], (test::BeepCall{1200, 80}));
}

// Taps at the same place separated by the given ticks; true when the second
// was a double tap (a press with no move before it).
class DoubleTapTest : public PointerEmulationTest {
protected:
  bool SecondTapIsDouble(std::uint32_t gap, std::int32_t dxUnits = 0, std::int32_t dyUnits = 0) {
    input.tickCount += 100000;
    engine.EmulatePointer(1, 2000, 2000);
    engine.EmulatePointer(4, 2000, 2000);
    input.tickCount += gap;
    ClearRecords();
    engine.EmulatePointer(1, 2000 + dxUnits, 2000 + dyUnits);
    const auto calls = input.TakeMouse();
    return !calls.empty() && calls.front().flags != 0x8001;
  }
};

TEST_F(DoubleTapTest, ElapsedMustBeStrictlyLessThanDTime) {
  EXPECT_TRUE(SecondTapIsDouble(499));
  EXPECT_FALSE(SecondTapIsDouble(500));
  EXPECT_FALSE(SecondTapIsDouble(501));
}

TEST_F(DoubleTapTest, ZoneEdgeIsInside) {
  engine.m_nDZoneX.store(1600);  // 100 screen-scale steps of 16 units
  engine.m_nDZoneY.store(800);
  EXPECT_TRUE(SecondTapIsDouble(10, 100, 0));
  EXPECT_FALSE(SecondTapIsDouble(10, 101, 0));
  EXPECT_TRUE(SecondTapIsDouble(10, -100, 50));
  EXPECT_FALSE(SecondTapIsDouble(10, 0, -51));
}

TEST_F(DoubleTapTest, RecognisedAcrossTheWrapOfTheTickCount) {
  input.tickCount.store(0xFFFFFF00U);
  engine.EmulatePointer(1, 2000, 2000);
  input.tickCount.store(0x00000050U);  // 0x150 = 336 ms later
  ClearRecords();
  engine.EmulatePointer(1, 2000, 2000);
  const auto calls = input.TakeMouse();
  ASSERT_EQ(calls.size(), 2U);
  EXPECT_EQ(calls[0].flags, 0x8002U);
}

TEST_F(DoubleTapTest, ZeroDTimeNeverGivesADoubleTap) {
  engine.m_nDTime.store(0);
  EXPECT_FALSE(SecondTapIsDouble(0));
  EXPECT_FALSE(SecondTapIsDouble(1));
}

TEST_F(PointerEmulationTest, FirstTouchNearTheTopLeftJustAfterStartIsADoubleTap) {
  // The last position starts at (0, 0) and the last touch-down at the load.
  test::FakeCommDevice freshComm;
  CTouchDriver fresh({freshComm, threads, input, messages, registry});
  fresh.m_nDTime.store(500);
  fresh.m_nDZoneX.store(1600);
  fresh.m_nDZoneY.store(1600);
  input.tickCount += 5;
  fresh.EmulatePointer(1, 50, 50);
  const auto calls = input.TakeMouse();
  ASSERT_EQ(calls.size(), 2U);
  EXPECT_EQ(calls[0].flags, 0x8002U);
  EXPECT_EQ(calls[1].flags, 0x8004U);
}

TEST_F(PointerEmulationTest, ClickOnReleaseDoubleTapGivesThreeClicks) {
  engine.m_nTouchMode.store(2);
  engine.EmulatePointer(1, 2000, 2000);
  engine.EmulatePointer(4, 2000, 2000);
  input.tickCount += 100;
  engine.EmulatePointer(1, 2000, 2000);
  engine.EmulatePointer(4, 2000, 2000);
  int clicks = 0;
  for (const MouseCall& call : input.TakeMouse()) {
    clicks += call.flags == 0x8004 ? 1 : 0;
  }
  EXPECT_EQ(clicks, 3);
}

TEST_F(PointerEmulationTest, NormalDoubleTapClicksThenMovesThenReleasesAgain) {
  engine.EmulatePointer(1, 2000, 2000);
  engine.EmulatePointer(4, 2000, 2000);
  input.tickCount += 100;
  ClearRecords();
  engine.EmulatePointer(1, 2000, 2000);
  engine.EmulatePointer(2, 2100, 2000);
  engine.EmulatePointer(4, 2100, 2000);
  const std::vector<std::uint32_t> flags = [&] {
    std::vector<std::uint32_t> all;
    for (const MouseCall& call : input.TakeMouse()) {
      all.push_back(call.flags);
    }
    return all;
  }();
  EXPECT_EQ(flags, (std::vector<std::uint32_t>{0x8002, 0x8004, 0x8001, 0x8004}));
}

TEST_F(PointerEmulationTest, ReleaseFollowsTheRightStateAtTheRelease) {
  SetRightState(true);
  engine.EmulatePointer(1, 2000, 2000);
  engine.m_bRightEnabled.store(0);
  engine.EmulatePointer(4, 2000, 2000);
  const auto calls = input.TakeMouse();
  ASSERT_EQ(calls.size(), 3U);
  EXPECT_EQ(calls[1].flags, 0x8008U);
  EXPECT_EQ(calls[2].flags, 0x8004U);
  EXPECT_TRUE(messages.Take().empty());
}

TEST_F(PointerEmulationTest, RightDoubleTapDoesNotNotify) {
  SetRightState(true);
  engine.m_nTouchMode.store(1);
  engine.EmulatePointer(1, 2000, 2000);
  input.tickCount += 50;
  ClearRecords();
  engine.EmulatePointer(1, 2000, 2000);
  const auto calls = input.TakeMouse();
  ASSERT_EQ(calls.size(), 2U);
  EXPECT_EQ(calls[0].flags, 0x8008U);
  EXPECT_TRUE(messages.Take().empty());
  EXPECT_EQ(BeepsStarted(), 0);
}

TEST_F(PointerEmulationTest, ClickOnTouchLiftLeavesTheLastPositionAlone) {
  engine.m_nTouchMode.store(1);
  engine.EmulatePointer(1, 2000, 2000);
  engine.EmulatePointer(4, 100, 100);  // ignored, position included
  input.tickCount += 50;
  EXPECT_TRUE(engine.InClickZone(2000 * 16, 2000 * 16));
  EXPECT_FALSE(engine.InClickZone(100 * 16, 100 * 16));
}

TEST_F(PointerEmulationTest, PositionsAboveTheScaleActAs4095) {
  engine.EmulatePointer(2, 5000, 4096);
  const auto calls = input.TakeMouse();
  ASSERT_EQ(calls.size(), 1U);
  EXPECT_EQ(calls[0].dx, 65520);
  EXPECT_EQ(calls[0].dy, 65520);
}

}  // namespace
}  // namespace zt
