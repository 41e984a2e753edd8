// The controller's four sensitivity parameters as the Advanced dialog
// (CAdvancedDlg) shows them: the sliders' ranges, the label texts, and the
// read exchange that fetches them before the dialog opens.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/controller_protocol.h"
#include "engine/parameter_exchange.h"
#include "platform/threads.h"

namespace zt::advanced {

struct SliderRange {
  std::int32_t minimum = 0;
  std::int32_t maximum = 0;
};

inline constexpr SliderRange kPressureRange{600, 900};
inline constexpr SliderRange kDownCountRange{0, 20};
inline constexpr SliderRange kUpCountRange{0, 20};
inline constexpr SliderRange kStabDelayRange{100, 600};

// The names the labels start with.
inline constexpr char kPressure[] = "Pressure";
inline constexpr char kDownCount[] = "DownCount";
inline constexpr char kUpCount[] = "UpCount";
inline constexpr char kStabDelay[] = "Stabilization Delay";

// "<name>: <value>", e.g. "Pressure: 705". The value is shown as it is,
// also when it lies outside its slider's range.
std::string LabelText(std::string_view name, std::int32_t value);

// The read exchange over the engine's link, sleeping on the user-interface
// thread through threads: true with the controller's values, or false after
// three unanswered requests (4.5 s).
bool ReadFromController(IParameterLink& link, IThreads& threads, SensitivityParams& values);

}  // namespace zt::advanced
