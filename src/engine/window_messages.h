// The program's private window messages, with their parameters. All are
// posted, never sent.
#pragma once

#include <algorithm>
#include <cstdint>

#include "platform/messages.h"

namespace zt {

// To the main window. lParam says why.
inline constexpr std::uint32_t kWmNotifyMain = kWmUser + 10;
inline constexpr std::intptr_t kNotifyShowWindow = 0;      // the tray icon was pressed
inline constexpr std::intptr_t kNotifyRightClickDone = 1;  // the engine completed a right click
inline constexpr std::intptr_t kNotifyLinkState = 2;       // wParam: the LinkState it is in now
inline constexpr std::intptr_t kNotifyFindDone = 3;        // wParam: 1 when a port answered

// To the button indicator: the right click is done, show "Left" again.
inline constexpr std::uint32_t kWmResetButton = kWmUser + 12;

// To the main window, for the ring round a resting finger, at wParam's
// absolute point over the touch monitor (x in the low, y in the high 16
// bits); lParam says what the engine decided: a touch that may become a
// right click began, its lift is now a right click, or it is over (it
// moved, lifted, lost its lift or the engine stopped).
inline constexpr std::uint32_t kWmHoldRing = kWmUser + 14;
inline constexpr std::intptr_t kRingHidden = 0;
inline constexpr std::intptr_t kRingFilling = 1;
inline constexpr std::intptr_t kRingArmed = 2;
// A filling ring's lParam carries, above the two bits of kRingFilling, the
// hold time its touch took at its touch-down, in ms (one over six days, more
// than 29 bits hold, is cut to that).
inline constexpr std::intptr_t kRingKindMask = 3;
inline constexpr std::uint32_t kRingLongestHoldMs = 0x1FFFFFFF;
inline constexpr std::intptr_t RingFilling(std::uint32_t holdMs) {
  return kRingFilling | (static_cast<std::intptr_t>(std::min(holdMs, kRingLongestHoldMs)) << 2);
}
inline constexpr std::uint32_t RingHoldMs(std::intptr_t ring) {
  return static_cast<std::uint32_t>(ring >> 2) & kRingLongestHoldMs;
}

// To the setup sheet's monitor page: the display changed.
inline constexpr std::uint32_t kWmMonitorsChanged = kWmUser + 13;

// A second instance started with /import hands its settings file to the
// running one: WM_COPYDATA with this dwData and the file's path, a NUL and
// its text. The running one answers as settings::ImportAnswer says.
inline constexpr std::uintptr_t kCopyDataImportSettings = 0x5A540001;
// ZeltraTouch.exe /status asks the running one for its health figures: the
// data is a file's path, which the running one fills with them as JSON,
// answering 1.
inline constexpr std::uintptr_t kCopyDataStatus = 0x5A540002;
// ZeltraTouch.exe /quit asks the running one to end as its own exit does
// (the setup, before it replaces the program): it answers 1 and ends.
inline constexpr std::uintptr_t kCopyDataQuit = 0x5A540003;

// The shell's callback to the tray icon's window (WM_APP + 163).
inline constexpr std::uint32_t kWmTrayNotify = 0x80A3;

}  // namespace zt
