// The calibration on an X display: the run's targets, check and report,
// full screen on the touch screen's monitor, answered by touch.
#pragma once

#include <optional>
#include <string>

#include "mapping/calibration_run.h"
#include "platform/linux/control_server.h"

namespace zt {

// Runs a calibration on the display DISPLAY names, fed by the daemon's
// session on peer: its raw touches come as "down X Y", "move X Y" and "up"
// lines, and the outcome goes back as an "end ..." line, after "monitor
// NAME" when the run was on a monitor the user chose. monitor: the chosen
// one, or empty for the daemon's (daemonMonitor; none: the daemon maps
// over the whole screen, and so does the run). inForce: the daemon's
// calibration, which the run starts from and keeps what it does not
// replace of. Returns the exit status and prints one line on how it ended.
int RunCalibrationWindow(CControlPeer& peer, const std::string& monitor,
                         const std::optional<std::string>& daemonMonitor,
                         const LiveCalibration& inForce);

}  // namespace zt
