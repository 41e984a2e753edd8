#pragma once

#include "platform/messages.h"

namespace zt {

// IMessages over PostMessageA.
class Win32Messages final : public IMessages {
public:
  bool Post(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
            std::intptr_t lParam) override;
};

}  // namespace zt
