#pragma once

#include <vector>

#include "platform/monitors.h"

namespace zt {

// "Identify": shows each monitor's number (1, 2, ... in the order given) in
// large type in the middle of that monitor for two seconds.
void ShowMonitorNumbers(const std::vector<MonitorInfo>& monitors);

}  // namespace zt
