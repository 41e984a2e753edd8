#include "engine/pointer_emulation.h"
#include "engine/touch_smoothing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include "engine/window_messages.h"
#include "platform_fakes.h"
#include "touch_contract.h"

namespace zt {
namespace {

using test::MouseCall;
using test::PostedMessage;

constexpr WindowHandle kNotifyWindow = 0x1234;
constexpr std::uint32_t kMove = 0xC001, kLeftDown = 0xC002, kLeftUp = 0xC004;
constexpr std::uint32_t kRightDown = 0xC008, kRightUp = 0xC010;

// Counts thread starts: each is a beep.
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
    emulation.SetNotifyWindow(kNotifyWindow);
    settings.dTime = 500;
    settings.dZoneX = 1600;
    settings.dZoneY = 1600;
    settings.beep = 1;
    emulation.ApplyEmulationSettings(settings);
    input.tickCount += 10000;  // well past the construction time
  }
  ~PointerEmulationTest() override { WaitForBeeps(); }

  // Beep threads call into the input fake; they finish before it goes.
  void WaitForBeeps() {
    test::WaitUntil([&] { return input.beepCount.load() >= threads.started.load(); });
  }
  void Apply() { emulation.ApplyEmulationSettings(settings); }
  void SetRight(bool on) {
    emulation.m_bRightEnabled.store(on ? 1 : 0);
    emulation.m_bRightSelected.store(on ? 1 : 0);
  }
  // Flags of the mouse events since the last call.
  std::vector<std::uint32_t> Flags() {
    std::vector<std::uint32_t> flags;
    for (const MouseCall& call : input.TakeMouse()) {
      flags.push_back(call.flags);
    }
    return flags;
  }
  // Drops what came before, a button still held included.
  void Forget() {
    emulation.ReleaseTouch();
    WaitForBeeps();
    input.TakeMouse();
    messages.Take();
    beepsBefore = threads.started.load();
  }

  CountingThreads threads;
  test::RecordingInput input;
  test::RecordingMessages messages;
  CPointerEmulation emulation{input, messages, threads};
  EngineSettings settings;
  int beepsBefore = 0;
};

// The behaviour table: mode, status, double tap or not, right state, and the
// actions in order: M move, P and R press and release of the state's button,
// B a beep start, N the notification of a completed right click.
TEST_F(PointerEmulationTest, BehaviourTable) {
  struct Row {
    std::int32_t mode, status;
    bool doubleTap, right;
    std::string actions;
  };
  std::vector<Row> rows;
  for (std::int32_t mode : {0, 1, 2, 5, -1}) {  // modes outside 0..2 act as Normal
    const std::int32_t acting = (mode == 1 || mode == 2) ? mode : 0;
    for (bool right : {false, true}) {
      const std::string notify = right ? "N" : "";
      rows.push_back({mode, 2, false, right, "M"});
      rows.push_back({mode, 1, true, right, "PR"});
      for (std::int32_t ignored : {0, 3, 5, 255}) {
        rows.push_back({mode, ignored, false, right, ""});
      }
      const char* touch[] = {"MPB", "MPBR", "M"};
      const char* lift[] = {"R", "", "MPBR"};
      rows.push_back({mode, 1, false, right, touch[acting] + (acting == 1 ? notify : "")});
      rows.push_back({mode, 4, false, right, lift[acting] + (acting == 1 ? "" : notify)});
    }
  }
  constexpr std::int32_t kX = 1000, kY = 2000;
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.mode) + " status " + std::to_string(row.status) +
                 (row.doubleTap ? " double" : "") + (row.right ? " right" : " left"));
    settings.touchMode = row.mode;
    Apply();
    SetRight(false);
    input.tickCount += 100000;
    if (row.doubleTap) {
      emulation.EmulatePointer(1, kX + 20, kY - 20);  // the first tap, nearby
      input.tickCount += 10;
    }
    SetRight(row.right);
    Forget();

    emulation.EmulatePointer(row.status, kX, kY);

    std::vector<MouseCall> mouse;
    std::vector<PostedMessage> posts;
    int beeps = 0;
    for (char action : row.actions) {
      const std::uint32_t flags = action == 'M'   ? kMove
                                  : action == 'P' ? (row.right ? kRightDown : kLeftDown)
                                                  : (row.right ? kRightUp : kLeftUp);
      if (action == 'B') {
        ++beeps;
      } else if (action == 'N') {
        posts.push_back({kNotifyWindow, kWmNotifyMain, 0, kNotifyRightClickDone});
      } else {
        mouse.push_back({flags, kX * 16, kY * 16, 0, input.kExtraInfo});
      }
    }
    EXPECT_EQ(input.TakeMouse(), mouse);
    EXPECT_EQ(messages.Take(), posts);
    EXPECT_EQ(threads.started.load() - beepsBefore, beeps);
  }
}

// A first tap, then a second one gap ms later and (dx, dy) screen-scale
// units away: is it a double tap (a press with no move before it)?
TEST_F(PointerEmulationTest, DoubleTapRule) {
  struct Row {
    std::int32_t dTime;
    std::uint32_t gap;
    std::int32_t dx, dy;
    bool doubleTap;
  };
  const Row rows[] = {
      {500, 499, 0, 0, true},        {500, 500, 0, 0, false},   // elapsed < DTime
      {500, 10, 100, 0, true},       {500, 10, 101, 0, false},  // zone edges are inside
      {500, 10, -100, 50, true},     {500, 10, 0, -51, false},
      {0, 0, 0, 0, false},           {0, 1, 0, 0, false},  // DTime 0 never gives one
      {0, 0x80000000U, 0, 0, false}, {-5, 0x80000000U, 0, 0, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.dTime) + " gap " + std::to_string(row.gap));
    settings.dTime = row.dTime;
    settings.dZoneX = 1600;  // 100 screen-scale steps of 16 units
    settings.dZoneY = 800;
    Apply();
    input.tickCount += 100000;
    emulation.EmulatePointer(1, 2000, 2000);
    emulation.EmulatePointer(4, 2000, 2000);
    input.tickCount += row.gap;
    Forget();
    emulation.EmulatePointer(1, 2000 + row.dx, 2000 + row.dy);
    EXPECT_EQ(Flags().front() != kMove, row.doubleTap);
  }
  // Across the wrap of the tick counter: 0x150 ms after 0xFFFFFF00.
  settings.dTime = 500;
  Apply();
  input.tickCount.store(0xFFFFFF00U);
  emulation.EmulatePointer(1, 2000, 2000);
  input.tickCount.store(0x50U);
  Forget();
  emulation.EmulatePointer(1, 2000, 2000);
  EXPECT_EQ(Flags(), (std::vector<std::uint32_t>{kLeftDown, kLeftUp}));
}

// Touches in sequence, from a first touch long after the last: reports
// {status, x, y}, or {0, ms} for a pause; the flags of every mouse event.
TEST_F(PointerEmulationTest, SequencesAcrossTouches) {
  struct Row {
    const char* why;
    std::int32_t mode;
    std::vector<std::vector<std::int32_t>> reports;
    std::vector<std::uint32_t> flags;
    std::int32_t holdRight = 0;  // press-and-hold time; the tolerance is 40 steps
    bool right = false;          // the indicator's one-shot right button
    std::int32_t smoothing = 0;
  };
  // clang-format off
  const Row rows[] = {
      {"Normal: a double tap clicks, then the drag follows", kTouchModeNormal,
       {{1, 2000, 2000}, {4, 2000, 2000}, {0, 100}, {1, 2000, 2000}, {2, 2100, 2000}, {4, 2100, 2000}},
       {kMove, kLeftDown, kLeftUp, kLeftDown, kLeftUp, kMove, kLeftUp}},
      {"Click On Release: a double tap gives three clicks", kTouchModeClickOnRelease,
       {{1, 2000, 2000}, {4, 2000, 2000}, {0, 100}, {1, 2000, 2000}, {4, 2000, 2000}},
       {kMove, kMove, kLeftDown, kLeftUp, kLeftDown, kLeftUp, kMove, kLeftDown, kLeftUp}},
      // The ignored lift leaves the last position where the touch was.
      {"Click On Touch: the lift is ignored", kTouchModeClickOnTouch,
       {{1, 2000, 2000}, {4, 100, 100}, {0, 50}, {1, 2000, 2000}},
       {kMove, kLeftDown, kLeftUp, kLeftDown, kLeftUp}},
      // A lift lost: the held button is let go of before the next touch.
      {"Normal: lost lift", kTouchModeNormal, {{1, 2000, 2000}, {2, 2100, 2000}, {1, 3000, 100}},
       {kMove, kLeftDown, kMove, kLeftUp, kMove, kLeftDown}},
      {"Click On Touch: lost lift", kTouchModeClickOnTouch, {{1, 2000, 2000}, {1, 3000, 100}},
       {kMove, kLeftDown, kLeftUp, kMove, kLeftDown, kLeftUp}},
      {"Click On Release: lost lift", kTouchModeClickOnRelease, {{1, 2000, 2000}, {1, 3000, 100}},
       {kMove, kMove}},
      // Press and hold: resting within the tolerance for the hold time is a
      // right click where the touch went down; leaving it first, or lifting
      // before, is the left touch; moves after the hold keep the right click.
      {"Normal: hold", kTouchModeNormal, {{1, 2000, 2000}, {2, 2040, 1960}, {0, 750}, {4, 2030, 2000}},
       {kMove, kMove, kMove, kRightDown, kRightUp}, 750},
      {"Normal: lifted before the hold", kTouchModeNormal, {{1, 2000, 2000}, {0, 749}, {4, 2030, 2000}},
       {kMove, kLeftDown, kMove, kLeftUp}, 750},
      {"Normal: moved before the hold", kTouchModeNormal, {{1, 2000, 2000}, {0, 700}, {2, 2041, 2000}, {0, 100}, {4, 2041, 2000}},
       {kMove, kLeftDown, kMove, kLeftUp}, 750},
      {"Normal: moved after the hold", kTouchModeNormal, {{1, 2000, 2000}, {0, 750}, {2, 2500, 2000}, {4, 2500, 2000}},
       {kMove, kMove, kMove, kRightDown, kRightUp}, 750},
      {"Click On Release: hold", kTouchModeClickOnRelease, {{1, 2000, 2000}, {0, 750}, {4, 2000, 2000}},
       {kMove, kRightDown, kRightUp}, 750},
      {"Click On Release: moved before the hold", kTouchModeClickOnRelease, {{1, 2000, 2000}, {2, 2100, 2000}, {0, 750}, {4, 2100, 2000}},
       {kMove, kMove, kMove, kLeftDown, kLeftUp}, 750},
      {"Click On Touch: no hold", kTouchModeClickOnTouch, {{1, 2000, 2000}, {0, 750}, {4, 2000, 2000}},
       {kMove, kLeftDown, kLeftUp}, 750},
      {"Normal: the one-shot right button presses at once", kTouchModeNormal, {{1, 2000, 2000}, {0, 750}, {2, 2100, 2000}, {4, 2100, 2000}},
       {kMove, kRightDown, kMove, kRightUp}, 750, true},
      {"Normal, smoothed: the lift goes to where the finger is", kTouchModeNormal, {{1, 2000, 2000}, {2, 2040, 2000}, {2, 2080, 2000}, {4, 2080, 2000}},
       {kMove, kLeftDown, kMove, kMove, kMove, kLeftUp}, 0, false, 2},
      {"Normal: a double tap is no hold", kTouchModeNormal, {{1, 2000, 2000}, {4, 2000, 2000}, {0, 100}, {1, 2000, 2000}, {0, 750}, {4, 2000, 2000}},
       {kMove, kLeftDown, kLeftUp, kLeftDown, kLeftUp, kLeftUp}, 750},
  };
  // clang-format on

  for (const Row& row : rows) {
    SCOPED_TRACE(row.why);
    settings.touchMode = row.mode;
    settings.holdRight = row.holdRight;
    settings.holdZone = 40 * 16;
    settings.smoothing = row.smoothing;
    Apply();
    SetRight(row.right);
    input.tickCount += 100000;
    for (const auto& report : row.reports) {
      if (report[0] == 0) {
        input.tickCount += static_cast<std::uint32_t>(report[1]);
      } else {
        emulation.EmulatePointer(report[0], report[1], report[2]);
      }
    }
    const std::vector<MouseCall> calls = input.TakeMouse();
    std::vector<std::uint32_t> flags;
    for (const MouseCall& call : calls) {
      flags.push_back(call.flags);
      if (call.flags == kRightDown && !row.right) {  // where the touch went down
        EXPECT_EQ(std::pair(call.dx, call.dy), std::pair(calls[0].dx, calls[0].dy));
      }
    }
    EXPECT_EQ(flags, row.flags);
    // The ring comes with a resting touch and always goes again.
    std::string ring;
    for (const PostedMessage& posted : messages.Take()) {
      ring += posted.message == kWmHoldRing ? (posted.lParam != 0 ? "+" : "-") : "";
    }
    EXPECT_EQ(ring,
              row.holdRight == 0 || row.right || row.mode == kTouchModeClickOnTouch ? "" : "+-");
    emulation.ReleaseTouch();
    input.TakeMouse();
  }
  settings.holdRight = 0;
  settings.smoothing = 0;
  SetRight(false);
  // The lift releases the button its press pressed, whatever the right
  // state has become meanwhile.
  settings.touchMode = kTouchModeNormal;
  Apply();
  input.tickCount += 100000;
  SetRight(true);
  emulation.EmulatePointer(1, 3000, 3000);
  SetRight(false);
  emulation.EmulatePointer(4, 3000, 3000);
  EXPECT_EQ(Flags(), (std::vector<std::uint32_t>{kMove, kRightDown, kRightUp}));
  // A right double tap neither notifies nor beeps.
  SetRight(true);
  input.tickCount += 50;
  Forget();
  emulation.EmulatePointer(1, 3000, 3000);
  EXPECT_EQ(Flags(), (std::vector<std::uint32_t>{kRightDown, kRightUp}));
  EXPECT_TRUE(messages.Take().empty());
  EXPECT_EQ(threads.started.load(), beepsBefore);
}

TEST_F(PointerEmulationTest, TheBeepIsOffOrHasItsTone) {
  settings.beep = 0;
  Apply();
  emulation.EmulatePointer(1, 100, 100);
  EXPECT_EQ(threads.started.load(), 0);
  settings.beep = 1;
  settings.freq = 1200;
  settings.duration = 80;
  Apply();
  input.tickCount += 100000;
  emulation.EmulatePointer(1, 3000, 3000);
  WaitForBeeps();
  EXPECT_EQ(input.Beeps(), (std::vector<test::BeepCall>{{1200, 80}}));
}

// The last touch-down starts at construction and the last position at
// (0, 0): a first touch near the top left at once is a double tap.
TEST_F(PointerEmulationTest, FirstTouchNearTheTopLeftAtOnceIsADoubleTap) {
  CPointerEmulation fresh(input, messages, threads);
  fresh.ApplyEmulationSettings(settings);
  input.tickCount += 5;
  fresh.EmulatePointer(1, 50, 50);
  EXPECT_EQ(Flags(), (std::vector<std::uint32_t>{kLeftDown, kLeftUp}));
}

}  // namespace
}  // namespace zt

namespace zt {
namespace {

// The smoothing filter on report streams of one touch and the next.
TEST(TouchSmootherTest, SpikeRestStrokeStopLiftAndANewTouch) {
  CTouchSmoother smoother;
  const auto report = [&](std::int32_t status, IntPoint point, std::int32_t level = 2) {
    return smoother.Filter(status, point, level);
  };
  const IntPoint down{2000, 2000};
  EXPECT_EQ(report(1, down), down);
  const int noise[] = {0, 17, -13, 21, -19, 6, -22, 11};  // a finger resting, within 5 px
  for (int i = 0; i < 200; ++i) {
    ASSERT_EQ(report(2, {down.x + noise[i % 8], down.y + noise[(i + 3) % 8]}), down) << i;
  }
  EXPECT_EQ(report(2, {2600, 1400}), down);  // a lone spike is dropped
  EXPECT_EQ(report(2, {2005, 2003}), down);
  // A stroke of 40 steps a report, followed within a report; it stops on
  // its end point within three.
  IntPoint out;
  for (int x = 2040; x <= 3000; x += 40) {
    out = report(2, {x, 2000});
  }
  EXPECT_LE(3000 - out.x, 40);
  for (const int jitter : {4, -6, 5}) {
    out = report(2, {3000 + jitter, 2000 - jitter});
  }
  EXPECT_LE(std::abs(out.x - 3000) + std::abs(out.y - 2000), 8);
  // A jump that the next report confirms is the finger, one report late.
  EXPECT_EQ(report(2, {3600, 2000}), out);
  EXPECT_EQ(report(2, {3610, 2000}).x, 3610 - 10 / 4);
  EXPECT_EQ(report(4, {3612, 2001}), (IntPoint{3612, 2001}));  // the lift: where the finger is
  // A new touch starts from its own place, and off means every report as it is.
  EXPECT_EQ(report(1, {500, 500}), (IntPoint{500, 500}));
  EXPECT_EQ(report(2, {520, 510}), (IntPoint{500, 500}));
  EXPECT_EQ(report(2, {530, 510}, 0), (IntPoint{530, 510}));
}

}  // namespace
}  // namespace zt

namespace zt {
namespace {

using Frames = std::vector<TouchFrame>;
constexpr std::uint32_t kDown = test::ContractTouchInjection::kDownFlags;
constexpr std::uint32_t kUpdate = test::ContractTouchInjection::kUpdateFlags;
constexpr std::uint32_t kUp = touch::kUp;

// Real threads whose sleeps are short but count as the time they ask for:
// the contract's clock.
class ClockThreads final : public test::DelegatingThreads {
public:
  void Sleep(std::uint32_t milliseconds) override {
    clock.fetch_add(milliseconds);
    real.Sleep(1);
  }
  std::atomic<std::uint32_t> clock{0};
};

// Touch output on a second monitor, every frame held to the contract: a
// drag, a rest (refreshed while the finger is down, nothing after the
// lift), a display change and a stop during a contact, the click modes as
// single taps; the double-tap rule and HoldRight do not apply, the one-shot
// right button is a mouse click; without touch injection, the mouse.
TEST(TouchOutputTest, EveryFrameSequenceKeepsTheContract) {
  ClockThreads threads;
  test::RecordingInput input;
  test::RecordingMessages messages;
  test::ContractTouchInjection injection([&] { return threads.clock.load(); });
  CPointerEmulation emulation(input, messages, threads, &injection);
  EngineSettings settings;
  settings.output = kOutputTouch;
  settings.holdRight = 750;
  settings.dTime = 500;
  emulation.ApplyEmulationSettings(settings);
  ASSERT_FALSE(emulation.TouchOutputMissing());
  emulation.SetDesktop({1024, 0, 1824, 600}, {0, 0, 1824, 768});
  const auto touch = [&](std::initializer_list<std::array<std::int32_t, 3>> reports) {
    for (const auto& [status, x, y] : reports) {
      emulation.EmulatePointer(status, x, y);
    }
    return injection.Take();
  };
  EXPECT_EQ(
      touch({{1, 0, 0}, {2, 2048, 2048}, {4, 4095, 4095}}),
      (Frames{{kDown, 1024, 0}, {kUpdate, 1424, 300}, {kUpdate, 1823, 599}, {kUp, 1823, 599}}));

  emulation.EmulatePointer(1, 2048, 2048);
  EXPECT_TRUE(test::WaitUntil([&] { return injection.Count() >= 4; }));  // refreshed while resting
  emulation.EmulatePointer(4, 2048, 2048);
  const Frames rest = injection.Take();
  EXPECT_EQ(rest.back(), (TouchFrame{kUp, 1424, 300}));
  EXPECT_EQ(std::count(rest.begin(), rest.end(), TouchFrame{kUpdate, 1424, 300}),
            static_cast<std::ptrdiff_t>(rest.size()) - 2);
  EXPECT_EQ(injection.Count(), 0U);  // nothing after the lift

  EXPECT_EQ(touch({{1, 1000, 1000}}).size(), 1U);
  emulation.SetDesktop({0, 0, 1024, 768}, {0, 0, 1824, 768});  // a display change
  EXPECT_EQ(injection.Take(), (Frames{{kUp, 1219, 146}}));
  EXPECT_EQ(touch({{1, 1000, 1000}}).size(), 1U);
  emulation.ReleaseTouch();  // a stop or a lost link
  EXPECT_EQ(injection.Take(), (Frames{{kUp, 250, 187}}));

  for (const std::int32_t mode : {kTouchModeClickOnTouch, kTouchModeClickOnRelease}) {
    settings.touchMode = mode;
    emulation.ApplyEmulationSettings(settings);
    const Frames tap = mode == kTouchModeClickOnTouch ? Frames{{kDown, 0, 0}, {kUp, 0, 0}}
                                                      : Frames{{kDown, 512, 384}, {kUp, 512, 384}};
    EXPECT_EQ(touch({{1, 0, 0}, {2, 1000, 1000}, {4, 2048, 2048}}), tap);
  }
  EXPECT_TRUE(input.TakeMouse().empty());
  emulation.m_bRightEnabled.store(1);
  emulation.m_bRightSelected.store(1);
  input.tickCount += 100000;
  EXPECT_TRUE(touch({{1, 2048, 2048}, {4, 2048, 2048}}).empty());
  std::vector<std::uint32_t> flags;
  for (const MouseCall& call : input.TakeMouse()) {
    flags.push_back(call.flags);
  }
  EXPECT_EQ(flags, (std::vector<std::uint32_t>{kMove, kMove, kRightDown, kRightUp}));

  injection.available = false;
  CPointerEmulation withoutTouch(input, messages, threads, &injection);
  withoutTouch.ApplyEmulationSettings(settings);
  EXPECT_TRUE(withoutTouch.TouchOutputMissing());
}

}  // namespace
}  // namespace zt
