// What ZeltraTouch.exe does when started with a command: /export FILE
// writes the settings in force to a settings file, /import FILE checks one
// and stores it (through the running instance, when there is one), /check
// FILE checks one and stores nothing, /status prints the running instance's
// health figures as JSON, /quit ends the running instance as its own exit
// does, /startforuser starts the program in the logged-on user's session
// (what the setup runs as SYSTEM). Messages go to the console the program
// was started from.
#pragma once

namespace zt {

class CTouchApp;

// Runs the command of argv; false when there is none (the program runs).
// exitCode takes one of app/exit_codes.h.
bool RunCommand(CTouchApp& app, int argc, char** argv, int& exitCode);

}  // namespace zt
