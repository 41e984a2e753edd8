#pragma once

#include <cstdint>

namespace zt {

// Opaque window handle of the platform; 0 means none.
using WindowHandle = std::uintptr_t;

inline constexpr std::uint32_t kWmUser = 0x0400;

// Posting window messages, which never waits for the receiver.
class IMessages {
public:
  virtual ~IMessages() = default;
  virtual bool Post(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                    std::intptr_t lParam) = 0;
};

}  // namespace zt
