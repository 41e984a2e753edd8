#include "engine/pointer_emulation.h"
#include "engine/touch_smoothing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/window_messages.h"
#include "platform_fakes.h"
#include "touch_contract.h"
#include "touch_streams.h"

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
    threads.started.store(0);  // the emulation's timer is no beep
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
      const char* lift[] = {"", "", "MPBR"};  // no release of what no press pressed
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
    emulation.EmulatePointer(4, kX, kY);  // the last row's touch lifts: a stop swallows its lift
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
// {status, x, y}, {0, ms} for a pause, {-1, mode} for the touch mode
// changed (the setup sheet), {-2} for a stop, {-3} for the timers checked
// or {-4} for the timer thread's wait until it acts; the flags of every
// mouse event.
TEST_F(PointerEmulationTest, SequencesAcrossTouches) {
  struct Row {
    const char* why;
    std::int32_t mode;
    std::vector<std::vector<std::int32_t>> reports;
    std::vector<std::uint32_t> flags;
    std::int32_t holdRight = 0;  // press-and-hold time; the tolerance is 40 steps
    bool right = false;          // the indicator's one-shot right button
    std::int32_t smoothing = 0;
    bool plain = false;  // a calibration run: touches as they are read
  };
  // clang-format off
  const Row rows[] = {
      {"Normal: a double tap clicks, then the drag follows", kTouchModeNormal,
       {{1, 2000, 2000}, {4, 2000, 2000}, {0, 100}, {1, 2000, 2000}, {2, 2100, 2000}, {4, 2100, 2000}},
       {kMove, kLeftDown, kLeftUp, kLeftDown, kLeftUp, kMove}},
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
      {"Normal: hold", kTouchModeNormal, {{1, 2000, 2000}, {2, 2040, 1960}, {0, 750}, {2, 2030, 2000}, {4, 2030, 2000}},
       {kMove, kMove, kMove, kMove, kRightDown, kRightUp}, 750},
      {"Normal: lifted before the hold, within the tolerance: released where pressed", kTouchModeNormal,
       {{1, 2000, 2000}, {0, 749}, {4, 2030, 2000}}, {kMove, kLeftDown, kLeftUp}, 750},
      {"Normal: lifted before the hold, outside the tolerance", kTouchModeNormal,
       {{1, 2000, 2000}, {0, 749}, {4, 2041, 2000}}, {kMove, kLeftDown, kMove, kLeftUp}, 750},
      {"Normal: moved before the hold", kTouchModeNormal, {{1, 2000, 2000}, {0, 700}, {2, 2041, 2000}, {0, 100}, {4, 2041, 2000}},
       {kMove, kLeftDown, kMove, kLeftUp}, 750},
      {"Normal: armed, then moved away: a drag, as the ring going says", kTouchModeNormal,
       {{1, 2000, 2000}, {0, 750}, {2, 2500, 2000}, {4, 2500, 2000}},
       {kMove, kLeftDown, kMove, kLeftUp}, 750},
      {"Click On Release: hold", kTouchModeClickOnRelease, {{1, 2000, 2000}, {0, 750}, {2, 2001, 2000}, {4, 2000, 2000}},
       {kMove, kMove, kMove, kRightDown, kRightUp}, 750},
      {"Normal: switched to Click On Release mid-touch: one press, one release", kTouchModeNormal,
       {{1, 2000, 2000}, {-1, kTouchModeClickOnRelease}, {2, 2100, 2000}, {4, 2100, 2000}},
       {kMove, kLeftDown, kMove, kLeftUp}},
      {"Click On Release: moved before the hold", kTouchModeClickOnRelease, {{1, 2000, 2000}, {2, 2100, 2000}, {0, 750}, {4, 2100, 2000}},
       {kMove, kMove, kMove, kLeftDown, kLeftUp}, 750},
      {"Click On Touch: no hold", kTouchModeClickOnTouch, {{1, 2000, 2000}, {0, 750}, {4, 2000, 2000}},
       {kMove, kLeftDown, kLeftUp}, 750},
      {"Normal: the one-shot right button presses at once", kTouchModeNormal, {{1, 2000, 2000}, {0, 750}, {2, 2100, 2000}, {4, 2100, 2000}},
       {kMove, kRightDown, kMove, kRightUp}, 750, true},
      {"Normal, smoothed: the press waits until the readings agree, the lift lets go where the pointer is", kTouchModeNormal,
       {{1, 2000, 2000}, {2, 2040, 2000}, {2, 2080, 2000}, {4, 2080, 2000}},
       {kMove, kLeftDown, kMove, kLeftUp}, 0, false, 2},
      {"Normal, smoothed and held: a still tap with a stray lift reading clicks in place", kTouchModeNormal,
       {{1, 2000, 2000}, {2, 2001, 2000}, {2, 2000, 2001}, {4, 2100, 2000}},
       {kMove, kMove, kMove, kLeftDown, kLeftUp}, 750, false, 2},
      {"Normal, smoothed: a stop while the press waits: the next report presses nothing", kTouchModeNormal,
       {{1, 2000, 2000}, {-2}, {2, 2010, 2000}, {4, 2010, 2000}}, {kMove}, 0, false, 2},
      // A controller that reports only changes: a finger that lands and
      // stays sends one reading (after a wild first one, one more).
      {"Normal, smoothed: a second reading 49 ms after the first still agrees", kTouchModeNormal,
       {{1, 2000, 2000}, {0, 49}, {-3}, {2, 2002, 2000}, {4, 2002, 2000}}, {kMove, kLeftDown, kLeftUp}, 0, false, 1},
      {"Normal, smoothed: one reading, then silence: pressed there at 50 ms, released by a stop", kTouchModeNormal,
       {{1, 2000, 2000}, {0, 50}, {-4}, {-2}}, {kMove, kLeftDown, kLeftUp}, 0, false, 2},
      {"Normal, smoothed: a reading after the wait is a move, timer or not", kTouchModeNormal,
       {{1, 2000, 2000}, {0, 60}, {2, 2400, 2000}, {2, 2401, 2000}, {4, 2401, 2000}}, {kMove, kLeftDown, kMove, kLeftUp}, 0, false, 2},
      {"Normal, smoothed and held: a wild first reading, then silence: pressed on the second, right-clicks", kTouchModeNormal,
       {{1, 2400, 2000}, {2, 2000, 2000}, {0, 50}, {-3}, {2, 2001, 2000}, {2, 2000, 2000}, {0, 750}, {-3}, {4, 2000, 2000}}, {kMove, kMove, kMove, kMove, kRightDown, kRightUp}, 750, false, 3},
      {"A calibration run: a held touch presses at once, smoothing or not", kTouchModeNormal,
       {{1, 2000, 2000}, {0, 1200}, {2, 2001, 2000}, {4, 2000, 2000}},
       {kMove, kLeftDown, kMove, kLeftUp}, 750, false, 2, true},
      {"Click On Release: a stop, a move, the lift: no click", kTouchModeClickOnRelease,
       {{1, 2000, 2000}, {-2}, {2, 2010, 2000}, {4, 2010, 2000}}, {kMove, kMove}},
      {"Normal: a double tap is no hold", kTouchModeNormal, {{1, 2000, 2000}, {4, 2000, 2000}, {0, 100}, {1, 2000, 2000}, {0, 750}, {4, 2000, 2000}},
       {kMove, kLeftDown, kLeftUp, kLeftDown, kLeftUp}, 750},
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
    emulation.SetPlainTouches(row.plain);
    input.tickCount += 100000;
    for (const auto& report : row.reports) {
      if (report[0] == 0) {
        input.tickCount += static_cast<std::uint32_t>(report[1]);
      } else if (report[0] == -1) {
        settings.touchMode = report[1];
        Apply();
      } else if (report[0] == -2) {
        emulation.ReleaseTouch();
      } else if (report[0] == -3) {
        emulation.CheckTimers();
      } else if (report[0] == -4) {
        EXPECT_TRUE(test::WaitUntil([&] { return input.MouseCount() > 0; }));
      } else {
        emulation.EmulatePointer(report[0], report[1], report[2]);
      }
    }
    const std::vector<MouseCall> calls = input.TakeMouse();
    std::vector<std::uint32_t> flags;
    for (const MouseCall& call : calls) {
      flags.push_back(call.flags);
      // A right click where the touch went down; a click lets go where it pressed.
      if (call.flags == kRightDown && !row.right) {
        EXPECT_EQ(std::pair(call.dx, call.dy), std::pair(calls[0].dx, calls[0].dy));
      }
      if (call.flags == kLeftUp && flags.size() >= 2 && flags[flags.size() - 2] == kLeftDown) {
        const MouseCall& press = calls[flags.size() - 2];
        EXPECT_EQ(std::pair(call.dx, call.dy), std::pair(press.dx, press.dy));
      }
    }
    EXPECT_EQ(flags, row.flags);
    // The ring comes with a resting touch, is armed at the hold time (before
    // a right click, or the rows named armed) and always goes again.
    std::string ring;
    for (const PostedMessage& posted : messages.Take()) {
      if (posted.message == kWmHoldRing) {
        ring += "-+*"[posted.lParam & kRingKindMask];
        EXPECT_EQ(RingHoldMs(posted.lParam), ring.back() == '+' ? 750U : 0U);  // the touch's own
      }
    }
    const bool held = row.holdRight != 0 && !row.right && !row.plain;
    const bool armed = std::count(flags.begin(), flags.end(), kRightDown) != 0 ||
                       std::string_view(row.why).find("armed") != std::string_view::npos;
    EXPECT_EQ(ring, held && row.mode != kTouchModeClickOnTouch ? (armed ? "+*-" : "+-") : "");
    emulation.ReleaseTouch();
    input.TakeMouse();
  }
  settings.holdRight = 0;
  settings.smoothing = 0;
  SetRight(false);
  emulation.SetPlainTouches(false);
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

// A controller that reports while a finger rests goes silent with the
// finger down (its lift lost to a bad checksum or a pulled cable): 200 ms
// later the button lets go; a held touch's ring, armed meanwhile, goes, and
// neither a right click nor (Click On Release) a click follows. A lift that
// comes late is swallowed, whether the timer has ended the touch first or
// not.
TEST_F(PointerEmulationTest, ALostLiftEndsTheTouch) {
  for (const auto& [holdRight, timerFirst] :
       {std::pair{0, true}, {0, false}, {100, true}, {100, false}}) {
    settings.holdRight = holdRight;
    settings.touchMode = holdRight == 0 ? kTouchModeNormal : kTouchModeClickOnRelease;
    Apply();
    input.tickCount += 100000;
    Forget();
    for (const std::int32_t status : {1, 2, 2}) {
      emulation.EmulatePointer(status, 2000, 2000);
      input.tickCount += 10;
    }
    input.tickCount += 190;
    if (timerFirst) {
      emulation.CheckTimers();
    }
    emulation.EmulatePointer(4, 2000, 2000);
    std::string ring;  // the ring's messages: + shown, * armed, - gone
    for (const PostedMessage& posted : messages.Take()) {
      ring += "-+*"[posted.lParam & kRingKindMask];
    }
    EXPECT_EQ(Flags().back(), holdRight == 0 ? kLeftUp : kMove);
    EXPECT_EQ(ring, holdRight == 0 ? "" : "+*-");
  }
  // Such a controller sends a next reading unless the link broke: a smoothed
  // touch-down waits for readings that agree however late they come, and one
  // left silent is lost with nothing pressed.
  settings.smoothing = 2;
  settings.holdRight = 0;
  settings.touchMode = kTouchModeNormal;
  Apply();
  for (const std::uint32_t tail : {190U, 0U}) {
    input.tickCount += 5000;
    Forget();
    emulation.EmulatePointer(1, 2048, 2000);  // 12 px off the finger
    input.tickCount += 60;
    emulation.CheckTimers();
    input.tickCount += tail;
    emulation.CheckTimers();
    EXPECT_EQ(input.MouseCount(), 0U) << tail;
  }
  for (const std::int32_t status : {2, 2, 2, 2, 2}) {
    emulation.EmulatePointer(status, 2000, 2000);
  }
  const std::vector<MouseCall> calls = input.TakeMouse();
  ASSERT_FALSE(calls.empty());
  EXPECT_NEAR(calls[0].dx, 2000 * 16, 3 * 64);  // pressed within 3 px of the finger
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
  test::DelegatingThreads timer;  // no beep here to wait for
  CPointerEmulation fresh(input, messages, timer);
  fresh.ApplyEmulationSettings(settings);
  input.tickCount += 5;
  fresh.EmulatePointer(1, 50, 50);
  EXPECT_EQ(Flags(), (std::vector<std::uint32_t>{kLeftDown, kLeftUp}));
}

}  // namespace
}  // namespace zt

namespace zt {
namespace {

// The smoother on generated streams (a 1 024-px panel, 100 reports a
// second, noise 2 px unless said), each figure against its bounds: the
// median of ten seeds against the requirement, the worst against a looser
// one.
TEST(TouchSmootherTest, StreamsTable) {
  using namespace streams;
  using Make = std::function<Stream(unsigned)>;
  const Make rest = [](unsigned seed) { return Rest(seed); };
  const auto drag = [](double noise, double speed, double rate = kReportsPerSecond) -> Make {
    return [=](unsigned seed) { return Drag(seed, speed, {Gaussian(noise).noise, rate}); };
  };
  const auto flick = [](double speed) -> Make {
    return [=](unsigned seed) { return Flick(seed, speed); };
  };
  const auto spiked = [](const Make& base, std::size_t at, double size) -> Make {
    return [=](unsigned seed) { return WithSpike(base(seed), at, size, WildDirection(seed)); };
  };
  const struct {
    const char* name;
    Make stream;
    double speed;
    double Figures::*figure;
    double median, worst;
  } rows[] = {
      {"rest: span", rest, 0, &Figures::span, 1.0, 1.5},
      {"rest: off the finger", rest, 0, &Figures::restError, 1.0, 2.0},
      // One axis noisier than the strength is meant for: its noise read as
      // motion and wild readings.
      {"rest, y 3 times noisier than x: span",
       [](unsigned seed) {
         return Rest(seed, {{0.89, 2.68}});
       },
       0, &Figures::span, 1.0, 3.0},
      {"20 px/s: steps", drag(kNoisePixels, 20), 20, &Figures::largestStep, 3.0, 3.5},
      {"20 px/s: lag", drag(kNoisePixels, 20), 20, &Figures::lag, 3.0, 3.0},
      // A drag from its touch-down: the pointer jumped from the touch-down's
      // mean onto the line as far as the first readings' noisy slope allowed.
      {"100 px/s: steps", drag(kNoisePixels, 100), 100, &Figures::largestStep, 3.0, 2.5},
      {"100 px/s at 40 reports a second: steps", drag(kNoisePixels, 100, 40), 100,
       &Figures::largestStep, 4.0, 5.0},
      {"100 px/s: lag", drag(kNoisePixels, 100), 100, &Figures::lag, 3.0, 3.0},
      {"80 px/s clean: steps", drag(0.0, 80), 80, &Figures::largestStep, 2.0, 2.0},
      {"80 px/s clean: lag", drag(0.0, 80), 80, &Figures::lag, 3.0, 3.0},
      {"2 000 px/s: lag", flick(2000), 2000, &Figures::lag, 1.0, 1.0},
      {"2 000 px/s: reports without a move", flick(2000), 2000, &Figures::stillReports, 0, 0},
      // A creep too slow to tell from a rest trailed without limit (26 px).
      {"5 px/s for 10 s: off the finger", [](unsigned seed) { return Line(seed, 2, 100, 5, 1000); },
       0, &Figures::restError, 6.0, 8.0},
      // A window of 32 readings at 100 reports a second told a slow drag from
      // a rest late: the pointer stood, then trailed (7.9 px); after the stop
      // it crept on the rest's mean (2.0 px off a second later).
      {"10 px/s after a rest", [](unsigned n) { return SlowDrag(n, 10, 0); }, 0,
       &Figures::pointerOff, 2.5, 3.0},
      {"1 s after a stop from 10 px/s", [](unsigned n) { return SlowDrag(n, 10, 1); }, 0,
       &Figures::restError, 1.0, 1.5},
      {"3 reports after a stop: off the finger", [](unsigned seed) { return Stop(seed, 1000, 4); },
       0, &Figures::restError, 1.5, 2.5},
      {"lift: the release off the pointer", rest, 0, &Figures::releaseOff, 0, 0},
      // A line drawn on past the finger overran stops, swelled curves and
      // pressed on a wild first reading.
      {"stop from 200 px/s: past it", [](unsigned seed) { return Stop(seed, 200, 30); }, 0,
       &Figures::overshoot, 2.0, 4.0},
      // Slowing to it (from 200 px/s over 200 ms), the pointer kept only half
      // the shrinking step behind the newest reading, and went wherever that
      // one reading put it: 2.3 px past at the median, 4.4 at worst.
      {"eased stop at 40/s", [](unsigned n) { return EasedStop(n, 200, 200, {.rate = 40}); }, 0,
       &Figures::overshoot, 1.0, 4.0},
      {"circle of 10 px", [](unsigned seed) { return Circle(seed, 10, 100); }, 0,
       &Figures::radiusError, 0.15, 0.15},
      {"V at 600 px/s: past the turn", [](unsigned seed) { return VTurn(seed, 600); }, 0,
       &Figures::spur, 3.0, 3.0},
      // A scrub read as a rest taught an x noise several times the panel's:
      // no turn broke away, and the pointer ran on the old way (44 px off).
      {"scrub at 40/s: off the finger", [](unsigned n) { return Scrub(n, 30, 2, {.rate = 40}); }, 0,
       &Figures::worstOff, 20.0, 26.0},
      {"first reading 12 px off", spiked(rest, 0, 12), 0, &Figures::pressOff, 3.0, 3.0},
      {"a drag at 600 px/s from its touch-down", drag(kNoisePixels, 600), 0, &Figures::pressOff,
       3.0, 14.0},
      // After a rest the line kept the rest's readings: the pointer stood,
      // then jumped up to 18 px or trailed by 6 reports.
      {"300 px/s after a 1-s rest: steps", [](unsigned seed) { return RestThenDrag(seed, 300); },
       300, &Figures::largestStep, 6.0, 7.0},
      {"100 px/s after a 1-s rest, 40 reports/s: lag",
       [](unsigned seed) { return RestThenDrag(seed, 100, {.rate = 40}); }, 100, &Figures::lag, 3.5,
       5.0},
  };
  for (const auto& row : rows) {
    const std::vector<double> values =
        Over([] { return Smoothing(2); }, row.stream, 10, row.speed, row.figure);
    EXPECT_LE(values[5], row.median) << row.name;
    EXPECT_LE(values.back(), row.worst) << row.name;
  }
  // A small scrub evened out the slope of the window's line and was taken
  // for a rest: the pointer stood still through some (none of the sweep).
  const std::vector<double> sweep =
      Over([] { return Smoothing(2); }, [](unsigned n) { return Scrub(n, 8, 2, {.rate = 40}); }, 10,
           0, &Figures::sweep);
  EXPECT_GE(sweep[5], 0.7);
  EXPECT_GE(sweep.front(), 0.5);
  // A lone reading 15 or 200 px off, ahead of, beside or behind the finger,
  // moves the pointer no more than the noise at rest and mid-drag at the
  // median (it took the pointer all the way; one behind a drag, waiting,
  // pulled it back and it trailed by up to 33 px). While it waits the
  // pointer goes on at the finger's pace; the worst is a dropped reading's
  // neighbours' own noise, larger at 40 reports a second.
  for (const auto& [base, worst] :
       {std::pair{rest, kNoisePixels}, std::pair{drag(kNoisePixels, 100), 3.0},
        std::pair{drag(kNoisePixels, 100, 40), 5.0}}) {
    const std::vector<double> moved = Leaks([] { return Smoothing(2); }, base, 10, {15.0, 200.0});
    EXPECT_LE(moved[20], kNoisePixels);
    EXPECT_LE(moved.back(), worst);
  }
  // At rest, a wild reading next to a noisy one (report 54 lies 10 px off)
  // made a new course through both: the pointer went 12.6 px toward them.
  // Mid-drag, one 10 px back along the way, near the newest reading, made a
  // new course through the two: the pointer stepped back 7.5 px. At 40
  // reports a second, one 10 px off next to a noisy one was taken: it tilted
  // the whole rest's line, and the pointer set off 2.5 px along it.
  const auto moved = [](const Stream& stream, std::size_t at, double pixels, double degrees) {
    const Stream wild = WithSpike(stream, at, pixels, degrees);
    return Changed([] { return Smoothing(2); }, stream, wild, at, PathChange::kMoved);
  };
  EXPECT_LE(moved(Rest(143), 55, 15.0, 180.0), kNoisePixels);
  EXPECT_LE(moved(Drag(14, 100), 100, 10.0, 165.0), 1.0);
  // Behind the course a taken reading counted whole, as a finger that
  // stops: one 10 px straight back at 60 reports a second stepped the
  // pointer back 4.1 px.
  EXPECT_LE(moved(Drag(7, 100, {{0.0, 0.0}, 60.0}), 45, 10.0, 180.0), kNoisePixels);
  EXPECT_LE(moved(Rest(9, {{}, 40.0}), 26, 10.0, 93.0), 1.0);
  // A noisy reading, then a wild one back across its step, made a flick (19.3 px toward it).
  EXPECT_LE(moved(Drag(1003, 100, {{0.89, 2.68}}), 100, 20.0, 356.0), kNoisePixels);
  // At 40 reports a second a 15.6 ms tick counter reads 31.2 ms for one
  // interval: taken for a gap that may hide a lost report, it let a lone
  // reading ahead of a 400 px/s drag count as one (13.6 px toward it).
  Stream coarse = Drag(3, 400, {{2.0, 2.0}, 40.0});
  coarse.tickStep = 15.625;
  EXPECT_LE(moved(coarse, coarse.reports.size() * 2 / 3, 15.0, WildDirection(8)), kNoisePixels);
  // Level 3: a reading 16 px beside the course, then one 40 px ahead and
  // across its step, made a flick (41 px toward it).
  const Stream strong = Drag(1003, 100, Gaussian(4.0));
  EXPECT_LE(
      Changed([] { return Smoothing(3); }, strong,
              WithSpike(strong, 100, 40.0, WildDirection(2 * 1003 + 2)), 100, PathChange::kMoved),
      2.0 * kNoisePixels);
  // As a finger set off from a rest, one 20 px off was taken whole after a
  // suspect one (15.8 px toward it), or in place of its stand-in (13.8 px);
  // one 300 px off, waiting, whole along the way (176 px); one 60 px off
  // after a pair that set off, whole as the pair's third (34 px).
  for (const auto& [seed, speed, after, pixels, degrees, most] :
       {std::tuple{16U, 100.0, 8U, 20.0, WildDirection(16 * 7 + 108), 10.0},
        std::tuple{17U, 100.0, 8U, 20.0, WildDirection(17 * 7 + 108), kNoisePixels},
        std::tuple{8U, 20.0, 19U, 300.0, WildDirection(8 * 31 + 19), 10.0},
        std::tuple{31U, 100.0, 10U, 60.0, WildDirection(31 * 31 + 10), 10.0}}) {
    const Stream setOff = RestThenDrag(seed, speed);
    EXPECT_LE(moved(setOff, setOff.start + after, pixels, degrees), most) << seed;
  }
  // Where a panel reads y three times noisier than x, the mean of four
  // readings after a wild first one pressed 3.25 px off the finger.
  const Stream wildFirst = WithSpike(Rest(35, {{0.89, 2.68}}), 0, 12.0, WildDirection(35));
  EXPECT_LE(Measure(wildFirst, RunFilter(Smoothing(2), wildFirst), 0).pressOff, 3.0);
  // First readings 6 px apart, then one 20 px off: pressed on that one; or
  // a fourth 300 px off: pressed on the mean with it, 100 px off.
  for (const auto& [at, pixels] : {std::pair{2U, 20.0}, std::pair{3U, 300.0}}) {
    const Stream wild = WithSpike(WithSpike(Rest(1, Gaussian(0)), 0, 6, 180), at, pixels, 90);
    EXPECT_LE(Measure(wild, RunFilter(Smoothing(2), wild), 0).pressOff, 1.0) << at;
  }
  // Two readings alike 15 px off a held rest: the pointer followed them (up
  // to 18.6 px), and a held touch became a drag.
  for (unsigned seed = 1; seed <= 10; ++seed) {
    EXPECT_LE(moved(WithSpike(Rest(seed), 100, 15, 36.0 * seed), 101, 15, 36.0 * seed), 1.0);
  }
  // A new course past a dropped reading put the newest reading one report
  // back, not two: its slope doubled and the pointer jumped 20 px.
  const Stream setOff = RestThenDrag(1304, 300);
  EXPECT_LE(Measure(setOff, RunFilter(Smoothing(2), setOff), 300).largestStep, 12.0);
}

// A wild reading mid-drag is the finger's only if the next reading agrees
// with it; one off the course the other way waits in its turn (a line
// restarted at the wild reading took the pointer 15 px off the drag).
TEST(TouchSmootherTest, AWildReadingIsConfirmedOnlyByOneThatAgrees) {
  CTouchSmoother smoother;
  IntPoint pointer{20000, 30000};
  for (std::int32_t i = 1; i < 26; ++i) {
    const IntPoint reading{20000 + 128 * i, 30000 + (i == 20 ? -960 : (i == 21 ? 960 : 0))};
    for (const FilteredReport& out :
         smoother.Filter(i == 1 ? 1 : 2, reading, 2, 655, 10U * static_cast<std::uint32_t>(i))) {
      pointer = out.point;
    }
    EXPECT_NEAR(pointer.y, 30000, 64) << i;
  }
}

// A report lost mid-drag (a bad checksum): the reading after it lay two
// steps on and waited as a wild one, and the pointer stood, then trailed by
// 12 px at 1 000 px/s (17.5 px with Windows' 15.6-ms ticks, where the gap
// looks no longer than a report's). Coarse ticks make gaps look longer too:
// taken for lost reports, they jerked a noisy 200 px/s drag (5.4 px steps).
// Each row at 100 reports a second: tick step (ms), px/s, noise (px), one
// report lost in every (0: none), and how far (px) the pointer may be off
// the finger and step.
TEST(TouchSmootherTest, AReportLostMidDrag) {
  for (const auto& [tickMs, speed, noise, every, off, most] : std::vector<std::array<double, 6>>{
           {1, 1000, 0, 75, 3, 40}, {15.625, 200, 2, 0, 9, 4}, {15.625, 1000, 2, 20, 12, 40}}) {
    const streams::Stream drag = streams::Drag(7, speed, streams::Gaussian(noise));
    const streams::Filter filter = streams::Smoothing(2);
    double pointer = drag.truthX[0];
    // Report every / 2 of each every is lost (none where fmod gives no number).
    for (std::size_t i = 0; i + 1 < drag.reports.size();
         i += std::fmod(i + 1, every) == std::floor(every / 2) ? 2 : 1) {
      const auto tick = static_cast<std::uint32_t>(std::floor(drag.Tick(i) / tickMs) * tickMs);
      for (const FilteredReport& out :
           filter(drag.reports[i].status, drag.reports[i].point, tick)) {
        const double step = out.point.x / 64.0 - std::exchange(pointer, out.point.x / 64.0);
        EXPECT_TRUE(i < drag.settle || (std::abs(pointer - drag.truthX[i]) <= off && step <= most))
            << i << ": " << step;
      }
    }
  }
  // Runs lost mid-drag at 1 000 px/s: four at 40 reports a second (the gap,
  // folded into the mean interval before it was measured, counted one
  // short: 96 px behind), ten at 100 (counted as one report: 66 px behind).
  for (const auto& [rate, lost] : {std::pair{40.0, 4U}, std::pair{100.0, 10U}}) {
    const streams::Stream fast = streams::Drag(1, 1000, {{2.0, 2.0}, rate});
    const streams::Filter filter = streams::Smoothing(2);
    double pointer = 0.0;
    for (std::size_t i = 0; i <= 37 + lost; i += i == 29 ? lost + 1 : 1) {
      for (const FilteredReport& out :
           filter(fast.reports[i].status, fast.reports[i].point, fast.Tick(i))) {
        pointer = out.point.x / 64.0;
      }
    }
    EXPECT_NEAR(pointer, fast.truthX[37 + lost], 3.0 * streams::kNoisePixels) << rate;
  }
}

// The hold's transitions, one sequence a row: events at ticks (ms after
// the touch-down; the tolerance is 100 units, the hold time 500 ms) and the
// state after each; a lift gives the state it found.
TEST(PressAndHoldTest, Transitions) {
  using State = CPressAndHold::State;
  struct Event {
    char kind;  // 'm' a move, 't' the timer, 'l' the lift, 'c' a cancel
    std::uint32_t tick;
    std::int32_t dx;
    State after;
  };
  const std::vector<std::vector<Event>> rows = {
      {{'m', 100, 50, State::kResting}, {'l', 499, 0, State::kResting}},
      {{'m', 500, 100, State::kArmed}, {'l', 900, 0, State::kArmed}},
      {{'m', 200, 101, State::kLeft}, {'m', 600, 0, State::kLeft}, {'l', 700, 0, State::kLeft}},
      {{'m', 600, 0, State::kArmed}, {'m', 650, -101, State::kLeft}},
      {{'l', 500, 0, State::kResting}},  // the lift arms nothing: the ring never showed it
      {{'t', 499, 0, State::kResting}, {'t', 500, 0, State::kArmed}},  // the timer does
      {{'c', 600, 0, State::kIdle}, {'m', 700, 0, State::kIdle}},
  };
  for (const auto& row : rows) {
    CPressAndHold hold;
    const std::uint32_t down = 0xFFFFFF00U;  // across the tick counter's wrap
    hold.Begin({1000, 1000}, down, 500, 100);
    for (const Event& event : row) {
      const State got = event.kind == 'm'   ? hold.Move({1000 + event.dx, 1000}, down + event.tick)
                        : event.kind == 't' ? hold.Tick(down + event.tick)
                        : event.kind == 'l' ? hold.Lift()
                                            : (hold.Cancel(), hold.GetState());
      EXPECT_EQ(got, event.after) << CPressAndHold::Name(got) << " at " << event.tick;
    }
    EXPECT_TRUE(std::string("mt").find(row.back().kind) != std::string::npos ||
                hold.GetState() == State::kIdle);
  }
}

// When a touch's lift counts as lost: reports {status, x, ms} from a tick
// just before the counter wraps, and the milliseconds left at a time after
// the last (-1: never). Only a controller once seen to repeat a report
// (it reports while a finger rests) is watched; the silence is 8 of its
// longest report intervals in the touch, never under 200 ms.
TEST(LostLiftWatchTest, Silences) {
  const struct {
    std::vector<std::array<std::int32_t, 3>> reports;
    std::uint32_t after;
    std::int64_t remaining;
  } rows[] = {
      {{{1, 0, 0}, {2, 1, 10}, {2, 2, 20}, {2, 3, 30}}, 5000, -1},  // only changes
      {{{1, 0, 0}, {2, 0, 10}, {2, 0, 20}}, 120, 80},
      {{{1, 0, 0}, {2, 0, 40}, {2, 0, 80}}, 319, 1},    // 40 ms apart: 320 ms
      {{{1, 0, 0}, {2, 0, 10}, {4, 0, 20}}, 5000, -1},  // lifted
      {{{1, 0, 0}, {2, 0, 10}, {4, 0, 20}, {1, 5, 900}, {2, 6, 910}}, 200, 0},  // seen before
  };
  for (const auto& row : rows) {
    CLostLiftWatch watch;
    const std::uint32_t start = 0xFFFFFFF0U;
    for (const auto& [status, x, ms] : row.reports) {
      watch.Report(status, {x, 0}, start + static_cast<std::uint32_t>(ms));
    }
    const auto remaining =
        watch.Remaining(start + static_cast<std::uint32_t>(row.reports.back()[2]) + row.after);
    EXPECT_EQ(remaining ? std::int64_t{*remaining} : -1, row.remaining) << row.after;
  }
}

// A touch-down with no next reading waits three of the controller's report
// intervals, as its last touch told them, within 50..80 ms.
TEST(TouchSmootherTest, TheStartWaitFollowsTheReportInterval) {
  for (const auto& [interval, wait] : {std::pair{10U, 50U}, {25U, 75U}, {100U, 80U}}) {
    CTouchSmoother smoother;
    for (std::uint32_t tick = 0; const std::int32_t status : {1, 2, 2, 2, 2, 2, 2, 2, 4, 1}) {
      smoother.Filter(status, {30000, 30000}, 1, 655, tick += interval);
    }
    EXPECT_EQ(smoother.StartWaitRemaining(10 * interval), wait);
  }
  // A tick counter that steps by 16 ms (Windows' 15.6): reports 25 ms apart
  // arrive 16 or 32 ms apart; the wait follows the touch's mean interval.
  CTouchSmoother smoother;
  for (std::uint32_t i = 1; const std::int32_t status : {1, 2, 2, 2, 2, 2, 2, 2, 4, 1}) {
    smoother.Filter(status, {30000, 30000}, 1, 655, i++ * 25 / 16 * 16);
  }
  EXPECT_NEAR(*smoother.StartWaitRemaining(240), 75.0, 4.0);
}

// After a lift, a move that comes without its touch-down starts where the
// finger is, not where the last touch lifted.
TEST(TouchSmootherTest, ALostTouchDownAndAnUnconfirmedOne) {
  CTouchSmoother smoother;
  const auto out = [&](std::int32_t status, IntPoint point) {
    const SmoothedReports reports = smoother.Filter(status, point, 2, 655, 0);
    return std::vector<FilteredReport>(reports.begin(), reports.end());
  };
  out(1, {20000, 20000});
  out(2, {20010, 20000});
  out(4, {20000, 20010});
  EXPECT_EQ(out(2, {40000, 30000}), (std::vector<FilteredReport>{{2, {40000, 30000}}}));
  EXPECT_EQ(out(2, {40020, 30010}), (std::vector<FilteredReport>{{2, {40010, 30005}}}));
  // Two readings that disagree and no third: the touch-down goes on the
  // second, whether the lift or the end of the wait comes first.
  for (const bool lifted : {false, true}) {
    out(1, {30000, 30000});
    out(2, {36400, 30000});
    const FilteredReport down =
        lifted ? out(4, {36400, 30000}).at(0) : smoother.Expire(2, 655, 60).reports[0];
    EXPECT_EQ(down, (FilteredReport{1, {36400, 30000}})) << lifted;
  }
  // After a touch that read y three times noisier than the strength is
  // meant for, a touch whose touch-down was lost took a reading 12 px off on
  // y for noise: the pointer went 2.4 px toward it.
  for (std::int32_t i = 0; i < 45; ++i) {  // the touch, its lift, then moves
    out(i == 0 ? 1 : (i == 40 ? 4 : 2),
        i < 40 ? IntPoint{20000, 30000 + (i % 2 == 0 ? 384 : -384)} : IntPoint{40000, 30000});
  }
  EXPECT_TRUE(out(2, {40000, 30768}).empty());
}

}  // namespace
}  // namespace zt

namespace zt {
namespace {

// Frames as flags, x and y.
using Frames = std::vector<std::array<std::int64_t, 3>>;
constexpr std::uint32_t kDown = test::ContractTouchInjection::kDownFlags;
constexpr std::uint32_t kUpdate = test::ContractTouchInjection::kUpdateFlags;
constexpr std::uint32_t kUp = touch::kUp;
constexpr std::uint32_t kCancelUp = touch::kCanceled | touch::kUp;

// Every line the program logs.
struct RecordingLog final : ILog {
  void Write(std::string_view line) override { lines.emplace_back(line); }
  std::vector<std::string> lines;
};

// Touch output on a second monitor against the documented contract, on a
// clock the test moves: every frame sequence the system accepts, a resting
// contact refreshed within 50 ms of its last frame, taps with their UPDATE,
// areas inside the desktop, refusals, cancels and display changes, and the
// choice of mouse or touch kept through a touch.
class TouchOutputTest : public ::testing::Test {
protected:
  static constexpr PixelRect kDesk{0, 0, 1824, 768};

  TouchOutputTest() {
    settings.output = kOutputTouch;
    settings.holdRight = 750;
    settings.dTime = 500;
    emulation.SetDesktop({1024, 0, 1824, 600}, kDesk);
    emulation.ApplyEmulationSettings(settings);
  }
  test::RecordingInput input;
  test::SimulatedClock clock{input.tickCount};
  test::RecordingMessages messages;
  test::ContractTouchInjection injection{input.tickCount, kDesk};
  RecordingLog log;
  EngineSettings settings;
  CPointerEmulation emulation{input, messages, clock, &injection, &log};
  // The refresher's sleeps end before the emulation goes.
  struct Release {
    test::SimulatedClock& clock;
    ~Release() { clock.Release(); }
  } release{clock};
};

// Frame sequences, one a row: steps (r a report: status, x, y; R the next
// frames refused: error, count; S a stop or lost link; D a display change;
// M the touch mode), the frames the system took, and how many it refused.
// A refusal ends the contact on our side too (noted in the log); a frame
// refused as not ready is sent again; a cancel is CANCELED with UP; a
// contact the system or a new monitor cancelled gets no tap at its lift,
// and none after the touch ends, nor does the rest of a touch that a
// stopped engine let go of.
TEST_F(TouchOutputTest, FrameSequences) {
  using Step = std::function<void()>;
  const auto r = [&](std::int32_t status, std::int32_t x, std::int32_t y) -> Step {
    return [=, this] { emulation.EmulatePointer(status, x, y); };
  };
  const auto refuse = [&](std::uint32_t error, int count, int after = 0) -> Step {
    return [=, this] { injection.RefuseNext(error, count, after); };
  };
  const auto mode = [&](std::int32_t touchMode) -> Step {
    return
        [=, this] { settings.touchMode = touchMode, emulation.ApplyEmulationSettings(settings); };
  };
  const Step stop = [&] { emulation.ReleaseTouch(); };
  const Step move = r(2, 2048, 2048);
  // A display change's two events: the system cancels; the engine hears of
  // it and takes the new monitor. Or the monitor moves alone (a setting).
  const Step systemCancels = [&] { injection.DisplayChange(kDesk); };
  const Step engineHears = [&] { emulation.ContactCancelledBySystem({0, 0, 1024, 768}, kDesk); };
  const Step monitorMoves = [&] { emulation.SetDesktop({0, 0, 1024, 768}, kDesk); };
  const struct {
    const char* name;
    std::vector<Step> steps;
    Frames taken;
    std::size_t refused;
  } rows[] = {
      {"the rest of a touch that an engine stopped before let go of",
       {[&] { emulation.SwallowNextLift(); }, move, r(4, 2048, 2048)},
       {},
       0},
      {"a drag to the corner",
       {r(1, 0, 0), r(2, 2048, 2048), r(4, 4095, 4095)},
       {{kDown, 1024, 0}, {kUpdate, 1424, 300}, {kUpdate, 1823, 599}, {kUp, 1823, 599}},
       0},
      {"Click On Touch: a tap",
       {mode(kTouchModeClickOnTouch), r(1, 0, 0), r(4, 9, 9)},
       {{kDown, 1024, 0}, {kUpdate, 1024, 0}, {kUp, 1024, 0}},
       0},
      {"Click On Release: a tap",
       {mode(kTouchModeClickOnRelease), r(1, 0, 0), r(4, 2048, 2048)},
       {{kDown, 1424, 300}, {kUpdate, 1424, 300}, {kUp, 1424, 300}},
       0},
      {"a stop",
       {r(1, 0, 0), stop},
       {{kDown, 1024, 0}, {kUpdate, 1024, 0}, {kCancelUp, 1024, 0}},
       0},
      {"a lost lift",
       {r(1, 0, 0), r(2, 1000, 1000), r(1, 2048, 2048)},
       {{kDown, 1024, 0}, {kUpdate, 1219, 146}, {kCancelUp, 1219, 146}, {kDown, 1424, 300}},
       0},
      {"the monitor changed (as at a display change) while the finger rests, then the lift: no tap",
       {r(1, 0, 0), monitorMoves, r(4, 2048, 2048)},
       {{kDown, 1024, 0}, {kUpdate, 1024, 0}, {kCancelUp, 1024, 0}},
       0},
      {"a stop after a display change: the finger's next move starts no contact",
       {r(1, 0, 0), systemCancels, engineHears, stop, r(2, 2048, 2048), r(4, 2048, 2048)},
       {{kDown, 1024, 0}},
       0},
      {"the engine hears of a display change first: the DOWN the system refuses goes again",
       {r(1, 0, 0), engineHears, r(2, 2048, 2048), systemCancels, r(2, 2048, 2048), r(4, 0, 0)},
       {{kDown, 1024, 0}, {kDown, 512, 384}, {kUpdate, 0, 0}, {kUp, 0, 0}},
       1},
      {"the DOWN refused as out of order goes again a few moves at most; other refusals at once",
       {r(1, 0, 0), engineHears, refuse(87, CTouchContact::kCancelPendingMoves), move, move, move,
        move, move, move, engineHears, refuse(5, 1), move, move, r(4, 0, 0)},
       {{kDown, 1024, 0}},
       CTouchContact::kCancelPendingMoves + 1},
      {"an UPDATE refused",
       {r(1, 0, 0), refuse(87, 1), r(2, 200, 200), r(2, 300, 300), r(4, 0, 0)},
       {{kDown, 1024, 0}},
       1},
      {"an UP refused",
       {r(1, 0, 0), r(2, 200, 200), refuse(87, 1, 1), r(4, 200, 200)},
       {{kDown, 1024, 0}, {kUpdate, 1063, 29}, {kUpdate, 1063, 29}},
       1},
      {"not ready, sent again",
       {refuse(21, CTouchContact::kNotReadyRetries), r(1, 0, 0)},
       {{kDown, 1024, 0}},
       3},
  };
  for (const auto& row : rows) {
    emulation.SetDesktop({1024, 0, 1824, 600}, kDesk);
    injection.DisplayChange(kDesk);
    mode(kTouchModeNormal)();
    std::for_each(row.steps.begin(), row.steps.end(), [](const Step& step) { step(); });
    Frames taken;
    std::size_t refused = 0;
    for (const auto& stamped : injection.TakeStamped()) {
      const TouchFrame& frame = stamped.frame;
      if (stamped.answer == touch::kInjected) {
        taken.push_back({frame.flags, frame.x, frame.y});
        EXPECT_TRUE(frame.area.right < kDesk.right && frame.area.bottom < kDesk.bottom);
      }
      refused += stamped.answer == touch::kInjected ? 0 : 1;
    }
    EXPECT_EQ(taken, row.taken) << row.name;
    EXPECT_EQ(refused, row.refused) << row.name;
    emulation.ReleaseTouch();
    injection.TakeStamped();
  }
  EXPECT_TRUE(input.TakeMouse().empty());
  EXPECT_EQ(log.lines.size(), 4U);  // once for each contact a refusal ended
}

// A controller that reports while a finger rests goes silent: 200 ms after
// its last report the contact ends CANCELED (no tap, no drop), noted once.
TEST_F(TouchOutputTest, ALostLiftCancelsTheContact) {
  for (const std::int32_t status : {1, 2, 2}) {
    emulation.EmulatePointer(status, 2048, 2048);
    ASSERT_TRUE(clock.Advance(status == 1 ? 10 : 5));
  }
  ASSERT_TRUE(clock.Advance(195));
  emulation.CheckTimers();
  const auto frames = injection.TakeStamped();
  EXPECT_EQ(frames.front().frame.flags, kDown);
  EXPECT_EQ(frames.back().frame.flags, kCancelUp);
  EXPECT_EQ(log.lines.size(), 1U);
}

// Mouse or touch holds for the whole touch as it was at its touch-down: the
// mouse and the one-shot right button chosen while a smoothed touch-down
// waits for its next reading, the right button still selected at the lift
// (touch output is chosen again before the lift, so that the contact
// outlives it).
TEST_F(TouchOutputTest, TheOutputIsTakenAtTheTouchDownNotAtThePress) {
  settings.smoothing = 2;
  emulation.m_bRightEnabled = 1;
  for (const std::int32_t status : {1, 2, 4}) {
    settings.output = status == 2 ? kOutputMouse : kOutputTouch;
    emulation.ApplyEmulationSettings(settings);
    emulation.m_bRightSelected = status == 1 ? 0 : 1;
    emulation.EmulatePointer(status, 2048, 2048);
  }
  EXPECT_TRUE(input.TakeMouse().empty());
  EXPECT_FALSE(injection.TakeStamped().empty());
}

// A rest after one early move: never more than 50 ms without a frame,
// counted from the last frame sent, whoever sent it.
TEST_F(TouchOutputTest, ARestingContactGetsAFrameWithin50ms) {
  emulation.EmulatePointer(1, 2048, 2048);
  ASSERT_TRUE(clock.Advance(2));
  emulation.EmulatePointer(2, 2049, 2048);  // a controller that reports only changes
  ASSERT_TRUE(clock.Advance(500));
  const auto rest = injection.TakeStamped();
  ASSERT_GT(rest.size(), 10U);
  for (std::size_t i = 1; i < rest.size(); ++i) {
    EXPECT_LE(rest[i].time - rest[i - 1].time, 50U) << i;
    EXPECT_EQ(rest[i].answer, touch::kInjected);
  }
}

}  // namespace
}  // namespace zt
