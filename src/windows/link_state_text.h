// What the main window and the tray icon's tip say of the link (the
// engine's LinkStateText) and of Find, in UTF-8.
#pragma once

#include <string>
#include <vector>

#include "engine/serial_link.h"

namespace zt {

// "Looking for the touch screen on COM3, COM6…"; a count instead of the
// names where they would not fit the tray icon's tip.
std::string FindingText(const std::vector<std::string>& ports);
inline constexpr char kNoTouchScreenFound[] = "No touch screen found";
inline constexpr char kNotAPortName[] = "Not a port name: ";

}  // namespace zt
