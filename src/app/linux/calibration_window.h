// The calibration on an X display: the run's targets, check and report,
// full screen on the touch screen's monitor, answered by touch.
#pragma once

#include <string>

#include "platform/linux/control_server.h"

namespace zt {

// Runs a calibration on the display DISPLAY names, fed by the daemon's
// session on peer (which has answered "OK monitor=NAME"): its raw touches
// come as "down X Y", "move X Y" and "up" lines, and the outcome goes back
// as "end MAPPING STOREPOINTS STOREMAPPING X0 Y0 .. X8 Y8", after
// "monitor NAME" when the run was on a monitor the user chose. monitor:
// the chosen one, or empty for the daemon's (configuredMonitor). Returns
// the exit status and prints one line on how it ended.
int RunCalibrationWindow(CControlPeer& peer, const std::string& monitor,
                         const std::string& configuredMonitor);

}  // namespace zt
