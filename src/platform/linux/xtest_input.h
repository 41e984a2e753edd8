#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "platform/linux/linux_input.h"

struct _XDisplay;

namespace zt {

// IInput over the XTest extension of an X display: absolute units over the
// whole screen (0..65535 across the root window) become pointer motions,
// the buttons button presses. For X11 sessions without uinput, and for the
// tests. The display may be opened, lost and opened again while events
// come; without one, events go nowhere.
class XTestInput final : public CLinuxInput {
public:
  XTestInput() = default;
  XTestInput(const XTestInput&) = delete;
  XTestInput& operator=(const XTestInput&) = delete;
  ~XTestInput() override;

  // Connects to display (empty: DISPLAY); false without a display or XTest.
  bool Open(const std::string& display);
  void Close();

  void MouseEvent(std::uint32_t flags, std::int32_t dx, std::int32_t dy, std::uint32_t data,
                  std::uintptr_t extraInfo) override;

private:
  std::mutex m_lock;
  _XDisplay* m_display = nullptr;  // under m_lock
  std::atomic<bool> m_lost{false};
};

}  // namespace zt
