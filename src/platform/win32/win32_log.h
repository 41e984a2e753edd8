#pragma once

#include "platform/log.h"

namespace zt {

// ILog over OutputDebugStringA: a debugger or DebugView shows the lines.
class Win32Log final : public ILog {
public:
  void Write(std::string_view line) override;
};

}  // namespace zt
