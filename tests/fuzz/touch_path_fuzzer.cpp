// Drives the pointer emulation with any sequence of touch reports, clock
// steps, setting changes (also mid-touch), stops and display changes, with
// the mouse and with touch output, and checks the buttons: a button is
// never pressed while it is down, and none stays down once the last touch
// has lifted, nor after a stop.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "engine/controller_protocol.h"
#include "engine/pointer_emulation.h"
#include "platform_fakes.h"
#include "touch_contract.h"

namespace {

// The mouse as the system keeps it: which buttons are down.
class ButtonInput final : public zt::IInput {
public:
  void MouseEvent(std::uint32_t flags, std::int32_t, std::int32_t, std::uint32_t,
                  std::uintptr_t) override {
    Press(flags, zt::mouse::kLeftDown, zt::mouse::kLeftUp, left);
    Press(flags, zt::mouse::kRightDown, zt::mouse::kRightUp, right);
  }
  std::uintptr_t GetMessageExtraInfo() override { return 0; }
  std::uint32_t GetDoubleClickTime() override { return 500; }
  bool SetDoubleClickTime(std::uint32_t) override { return true; }
  std::uint32_t GetTickCount() override { return tickCount.load(); }
  bool Beep(std::uint32_t, std::uint32_t) override { return true; }

  std::atomic<std::uint32_t> tickCount{100000};
  std::atomic<bool> left{false};
  std::atomic<bool> right{false};

private:
  static void Press(std::uint32_t flags, std::uint32_t down, std::uint32_t up,
                    std::atomic<bool>& held) {
    if ((flags & down) != 0 && held.exchange(true)) {
      std::abort();  // pressed a second time
    }
    if ((flags & up) != 0) {
      held = false;
    }
  }
};

struct Bytes {
  const std::uint8_t* data;
  std::size_t size;
  std::size_t offset = 0;
  std::uint8_t Next() { return offset < size ? data[offset++] : 0; }
  std::int32_t Coordinate() { return ((Next() << 8) | Next()) % 4200; }
};

constexpr zt::PixelRect kDesk{0, 0, 1824, 768};
constexpr zt::PixelRect kMonitors[] = {{1024, 0, 1824, 600}, {0, 0, 1024, 768}};

void Step(Bytes& bytes, ButtonInput& input, zt::CPointerEmulation& emulation,
          zt::EngineSettings& settings) {
  constexpr std::int32_t kStatuses[] = {1, 2, 2, 2, 4, 3};
  switch (bytes.Next() % 8) {
    case 0:
    case 1:
    case 2: {
      const std::int32_t status = kStatuses[bytes.Next() % 6];
      const std::int32_t x = bytes.Coordinate();
      emulation.EmulatePointer(status, x, bytes.Coordinate());
      break;
    }
    case 3:
      input.tickCount += bytes.Next() * 4U;
      break;
    case 4: {
      const std::uint8_t value = bytes.Next();
      switch (value % 6) {
        case 0:
          settings.touchMode = value / 6 % 4;
          break;
        case 1:
          settings.holdRight = value * 8;
          break;
        case 2:
          settings.holdZone = value * 16;
          break;
        case 3:
          settings.smoothing = value / 6 % 5;
          break;
        case 4:
          settings.output = value / 6 % 2;
          break;
        default:
          settings.dTime = value * 4;
          break;
      }
      emulation.ApplyEmulationSettings(settings);
      break;
    }
    case 5:
      emulation.m_bRightEnabled = bytes.Next() % 2;
      emulation.m_bRightSelected = 1;
      break;
    case 6:
      emulation.ReleaseTouch();
      if (input.left || input.right) {
        std::abort();  // a stop left a button down
      }
      break;
    default:
      emulation.ContactCancelledBySystem();
      emulation.SetDesktop(kMonitors[bytes.Next() % 2], kDesk);
      break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ButtonInput input;
  zt::test::RecordingMessages messages;
  zt::test::DelegatingThreads threads;
  zt::test::ContractTouchInjection injection(input.tickCount, kDesk);
  zt::EngineSettings settings;
  zt::CPointerEmulation emulation(input, messages, threads, &injection);
  emulation.SetDesktop(kMonitors[0], kDesk);
  Bytes bytes{data, size};
  while (bytes.offset < size) {
    Step(bytes, input, emulation, settings);
  }
  emulation.EmulatePointer(zt::kTouchEnds, 0, 0);
  if (input.left || input.right) {
    std::abort();  // the lift left a button down
  }
  return 0;
}
