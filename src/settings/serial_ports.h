// The serial ports this machine has, for the port list.
#pragma once

#include <string>
#include <vector>

#include "platform/registry.h"

namespace zt::settings {

// Where every serial driver lists its ports: one value a port, its data
// the port's name.
inline constexpr char kSerialDeviceMap[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

// Orders names as people count: "COM2" before "COM10"; letters without
// regard to case.
bool NaturalLess(const std::string& a, const std::string& b);

// The ports of the serial device map in natural order, with storedPort
// among them when it is not empty; each name once (case aside).
std::vector<std::string> ListSerialPorts(IRegistry& registry, const std::string& storedPort);

}  // namespace zt::settings
