#pragma once

#include "platform/input.h"

namespace zt {

// IInput over mouse_event, the double-click time, GetTickCount and Beep.
class Win32Input final : public IInput {
public:
  void MouseEvent(std::uint32_t flags, std::int32_t dx, std::int32_t dy, std::uint32_t data,
                  std::uintptr_t extraInfo) override;
  std::uintptr_t GetMessageExtraInfo() override;
  std::uint32_t GetDoubleClickTime() override;
  bool SetDoubleClickTime(std::uint32_t milliseconds) override;
  std::uint32_t GetTickCount() override;
  bool Beep(std::uint32_t frequency, std::uint32_t duration) override;
};

}  // namespace zt
