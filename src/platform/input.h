#pragma once

#include <cstdint>

namespace zt {

// Flags of an injected mouse event.
namespace mouse {
inline constexpr std::uint32_t kMove = 0x0001;
inline constexpr std::uint32_t kLeftDown = 0x0002;
inline constexpr std::uint32_t kLeftUp = 0x0004;
inline constexpr std::uint32_t kRightDown = 0x0008;
inline constexpr std::uint32_t kRightUp = 0x0010;
inline constexpr std::uint32_t kVirtualDesk = 0x4000;
inline constexpr std::uint32_t kAbsolute = 0x8000;
}  // namespace mouse

// Mouse injection, the desktop's double-click time, the millisecond tick
// counter and the tone generator.
class IInput {
public:
  virtual ~IInput() = default;

  // Absolute coordinates are on the 0..65535 scale of the primary screen.
  virtual void MouseEvent(std::uint32_t flags, std::int32_t dx, std::int32_t dy, std::uint32_t data,
                          std::uintptr_t extraInfo) = 0;
  virtual std::uintptr_t GetMessageExtraInfo() = 0;
  virtual std::uint32_t GetDoubleClickTime() = 0;
  virtual bool SetDoubleClickTime(std::uint32_t milliseconds) = 0;
  // Milliseconds since start-up; wraps around every 2^32 ms.
  virtual std::uint32_t GetTickCount() = 0;
  // Sounds a tone; may block for its duration.
  virtual bool Beep(std::uint32_t frequency, std::uint32_t duration) = 0;
};

}  // namespace zt
