// What ZeltraTouch.exe does when started with a command: /export FILE
// writes the settings in force to a settings file, /import FILE checks one
// and stores it (through the running instance, when there is one), /check
// FILE checks one and stores nothing, /status
// prints the running instance's health figures as JSON. Messages go to the
// console the program was started from.
#pragma once

namespace zt {

class CTouchApp;

// Exit codes of a command.
inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;       // a file or the key that cannot be read or written
inline constexpr int kExitBadSettings = 2;  // a line of the settings file is bad; nothing changed
inline constexpr int kExitBadCommandLine = 3;

// Runs the command of argv; false when there is none (the program runs).
bool RunCommand(CTouchApp& app, int argc, char** argv, int& exitCode);

}  // namespace zt
