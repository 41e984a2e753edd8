#pragma once

#include "platform/monitors.h"

namespace zt::test {

// The desktop a test sets; empty at first (mouse units then pass through).
class FixedMonitors final : public IMonitors {
public:
  DesktopLayout Layout() override { return layout; }
  DesktopLayout layout;
};

}  // namespace zt::test
