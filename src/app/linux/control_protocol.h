// The lines the daemon and the command say to each other beside a plain
// request and its answer: the controller's parameters, a calibration's raw
// touches and its outcome.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "engine/parameter_exchange.h"
#include "mapping/calibration_run.h"

namespace zt {

// "OK pressure=N downcount=N upcount=N delay=N".
std::string ParamsAnswer(const SensitivityParams& values);
// "name=N,name=N" (pressure, downcount, upcount, delay; 0..65535 each):
// the values given replace those in values. False, with values partly
// changed, for anything else.
bool ParseParams(const std::string& list, SensitivityParams& values);

// The daemon's answer to "calibrate": the calibration in force ("OK
// MAPPING X0 Y0 .. X8 Y8", for the run to start from and to keep what it
// does not replace), then the monitor its touches go to by name
// (" monitor=NAME", empty: the primary one), or " screen" when it knows no
// monitors and touches span the whole screen (monitor: none).
std::string CalibrationStartAnswer(const LiveCalibration& inForce,
                                   const std::optional<std::string>& monitor);
// False for an answer that is not one of those.
bool ParseCalibrationStart(const std::string& answer, LiveCalibration& inForce,
                           std::optional<std::string>& monitor);

// A raw touch of a calibration: "down X Y", "move X Y" or "up", from the
// flags of the pointer event it stands for.
std::string TouchLine(std::uint32_t mouseFlags, IntPoint raw);
enum class TouchKind { kDown, kMove, kUp, kNone };
TouchKind ParseTouchLine(const std::string& line, IntPoint& raw);

// "end STOREPOINTS STOREMAPPING MAPPING X0 Y0 .. X8 Y8".
std::string OutcomeLine(const CCalibrationRun::Outcome& outcome);
bool ParseOutcome(const std::string& line, CCalibrationRun::Outcome& outcome);

}  // namespace zt
