// The main window's state line beside the link's own words (the engine's
// LinkStateText): what Find says, a text refused as a port name, a port
// that could not be saved ("Could not save the port COM5; still on COM3"),
// and the line cut to fit the tray icon's tip.
// Plain C++ in UTF-8.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace zt {

// "Looking for the touch screen on COM3, COM6…"; a count instead of the
// names where they would not fit the tray icon's tip.
std::string FindingText(const std::vector<std::string>& ports);
inline constexpr char kNoTouchScreenFound[] = "No touch screen found";
inline constexpr char kNotAPortName[] = "Not a port name: ";
inline constexpr char kPortNotSaved[] = "Could not save the port ";
inline constexpr char kSettingsNotImported[] = "Could not store the imported settings";
inline constexpr char kStillOn[] = "; still on ";

// The longest tip the tray icon shows, in characters.
inline constexpr std::size_t kTipLength = 63;
// text as it fits in maxCharacters: whole, or cut after the last whole
// word (never inside a name or a character) and ended with "...".
std::string CutAtWord(const std::string& text, std::size_t maxCharacters);

}  // namespace zt
