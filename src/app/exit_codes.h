// The exit codes of ZeltraTouch.exe's commands and of its setup program,
// one table for both: each code means one thing wherever it is returned.
// 1 and 2 are the setup's own (NSIS's). The setup reads its numbers from
// this file when it is built, and the tests read them from here too.
#pragma once

namespace zt {

inline constexpr int kExitDone = 0;
inline constexpr int kExitCancelled = 1;  // the setup was cancelled
inline constexpr int kExitStopped = 2;    // stopped otherwise: not elevated, a system call refused
inline constexpr int kExitBadSettings = 3;     // a settings file with a bad line; nothing changed
inline constexpr int kExitFileFailed = 4;      // a file that cannot be read or written
inline constexpr int kExitKeyFailed = 5;       // the settings key that cannot be read or written
inline constexpr int kExitProgramRefused = 6;  // the running program refused or did not answer
inline constexpr int kExitNotRunning = 7;      // ZeltraTouch is not running
inline constexpr int kExitBadPort = 8;         // a port name that is not a COM port
inline constexpr int kExitBadCommandLine = 9;
inline constexpr int kExitImportedInPart = 10;  // a write failed and not every value was put back
inline constexpr int kExitProgramFileFailed = 11;  // a file of the program cannot be installed
inline constexpr int kExitFolderNotOurs = 12;      // the setup's data folder cannot be made its own

}  // namespace zt
