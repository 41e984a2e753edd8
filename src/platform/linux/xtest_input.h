#pragma once

#include <cstdint>
#include <string>

#include "platform/input.h"

struct _XDisplay;

namespace zt {

// IInput over the XTest extension of an X display: absolute units over the
// whole screen (0..65535 across the root window) become pointer motions,
// the buttons button presses. For X11 sessions without uinput, and for the
// tests. The tick count is the monotonic clock; the double-click time is
// the program's own; there is no tone generator to sound.
class XTestInput final : public IInput {
public:
  XTestInput() = default;
  XTestInput(const XTestInput&) = delete;
  XTestInput& operator=(const XTestInput&) = delete;
  ~XTestInput() override;

  // Connects to display (empty: DISPLAY); false without a display or XTest.
  bool Open(const std::string& display);

  void MouseEvent(std::uint32_t flags, std::int32_t dx, std::int32_t dy, std::uint32_t data,
                  std::uintptr_t extraInfo) override;
  std::uintptr_t GetMessageExtraInfo() override { return 0; }
  std::uint32_t GetDoubleClickTime() override { return m_doubleClickTime; }
  bool SetDoubleClickTime(std::uint32_t milliseconds) override;
  std::uint32_t GetTickCount() override;
  bool Beep(std::uint32_t frequency, std::uint32_t duration) override;

private:
  _XDisplay* m_display = nullptr;
  std::uint32_t m_doubleClickTime = 500;
};

}  // namespace zt
