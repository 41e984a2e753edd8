// Drives the pointer emulation with any sequence of touch reports, clock
// steps, setting changes (also mid-touch), stops and display changes, with
// the mouse and with touch output, and checks the buttons and the contact:
// a button is never pressed while it is down nor released while it is up,
// the system refuses no frame but one it let expire (the clock jumps here,
// the refresher runs on real time), and no button or contact stays down
// after a stop or once the last touch has lifted. The timers are checked at
// each clock step. Input: one byte an event, then its values.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "engine/controller_protocol.h"
#include "engine/pointer_emulation.h"
#include "platform_fakes.h"
#include "touch_contract.h"

namespace {

// The mouse as the system keeps it: which buttons are down.
struct ButtonInput final : zt::IInput {
  void MouseEvent(std::uint32_t flags, std::int32_t, std::int32_t, std::uint32_t,
                  std::uintptr_t) override {
    Press(flags, zt::mouse::kLeftDown, zt::mouse::kLeftUp, left);
    Press(flags, zt::mouse::kRightDown, zt::mouse::kRightUp, right);
  }
  static void Press(std::uint32_t flags, std::uint32_t down, std::uint32_t up,
                    std::atomic<bool>& held) {
    if ((flags & down) != 0 && held.exchange(true)) {
      std::abort();  // pressed a second time
    }
    if ((flags & up) != 0 && !held) {
      std::abort();  // released while not down
    }
    held = held && (flags & up) == 0;
  }
  std::uintptr_t GetMessageExtraInfo() override { return 0; }
  std::uint32_t GetDoubleClickTime() override { return 500; }
  bool SetDoubleClickTime(std::uint32_t) override { return true; }
  std::uint32_t GetTickCount() override { return tickCount.load(); }
  bool Beep(std::uint32_t, std::uint32_t) override { return true; }

  std::atomic<std::uint32_t> tickCount{100000};
  std::atomic<bool> left{false};
  std::atomic<bool> right{false};
};

constexpr zt::PixelRect kDesk{0, 0, 1824, 768};
constexpr zt::PixelRect kMonitors[] = {{1024, 0, 1824, 600}, {0, 0, 1024, 768}};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ButtonInput input;
  zt::test::RecordingMessages messages;
  zt::test::DelegatingThreads threads;
  zt::test::ContractTouchInjection injection(input.tickCount, kDesk);
  zt::EngineSettings settings;
  zt::CPointerEmulation emulation(input, messages, threads, &injection);
  emulation.SetDesktop(kMonitors[0], kDesk);
  // over: after a stop, or once the last touch has lifted.
  const auto check = [&](bool over) {
    for (const auto& stamped : injection.TakeStamped()) {
      if (stamped.answer != zt::touch::kInjected && stamped.answer != zt::touch::kErrorTimeout) {
        std::abort();
      }
    }
    if (over && (input.left || input.right || injection.InContact())) {
      std::abort();
    }
  };
  std::size_t at = 0;
  const auto next = [&]() -> std::int32_t { return at < size ? data[at++] : 0; };
  while (at < size) {
    const std::int32_t event = next();
    const std::int32_t value = next();
    switch (event % 6) {
      case 0:  // a report: status 1, 2, 4 or one the controller never sends
        emulation.EmulatePointer(std::array{1, 2, 2, 4, 3}[static_cast<std::size_t>(value % 5)],
                                 (next() << 4) % 4200, (next() << 4) % 4200);
        break;
      case 1:
        input.tickCount += static_cast<std::uint32_t>(value * 4);
        emulation.CheckTimers();
        break;
      case 2:
        settings.touchMode = value % 4;
        settings.holdRight = (value % 2) * value * 8;
        settings.smoothing = value % 5;
        settings.output = value / 128;
        settings.holdZone = next() * 16;
        emulation.ApplyEmulationSettings(settings);
        break;
      case 3:
        emulation.m_bRightEnabled = value % 2;
        emulation.m_bRightSelected = 1;
        break;
      case 4:
        emulation.ReleaseTouch();
        break;
      default:
        emulation.ContactCancelledBySystem(kMonitors[value % 2], kDesk,
                                           [&] { injection.DisplayChange(kDesk); });
        break;
    }
    check(event % 6 == 4);
  }
  emulation.EmulatePointer(zt::kTouchEnds, 0, 0);
  check(true);
  return 0;
}
