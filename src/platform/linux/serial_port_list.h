// The machine's serial ports, where Find looks for the controller.
#pragma once

#include <string>
#include <vector>

namespace zt {

// Where serial ports are found: the stable names of USB adapters first
// (the ones to store), then the kernel's device nodes.
inline const std::vector<std::string> kSerialPortPatterns = {"/dev/serial/by-id/*", "/dev/ttyUSB*",
                                                             "/dev/ttyACM*", "/dev/ttyS*"};

// The ports the shell patterns name, in their order, each device once under
// the first name found for it. A port the kernel knows has no UART behind
// it (as most /dev/ttyS* have) is left out.
std::vector<std::string> ListSerialPorts(const std::vector<std::string>& patterns);

}  // namespace zt
