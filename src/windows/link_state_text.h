// What the main window and the tray icon's tip say of the link and of
// Find, in UTF-8.
#pragma once

#include <string>
#include <vector>

#include "engine/serial_link.h"

namespace zt {

std::string LinkStateText(LinkState state, const std::string& port);
// "Looking for the touch screen on COM3, COM6…"; a count instead of the
// names where they would not fit the tray icon's tip.
std::string FindingText(const std::vector<std::string>& ports);
inline constexpr char kNoTouchScreenFound[] = "No touch screen found";
inline constexpr char kNotAPortName[] = "Not a port name: ";

}  // namespace zt
