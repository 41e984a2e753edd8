#include "app/linux/control_protocol.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <sstream>
#include <vector>

#include "platform/input.h"
#include "platform/linux/config_file_registry.h"

namespace zt {
namespace {

constexpr const char* kParamNames[] = {"pressure", "downcount", "upcount", "delay"};
constexpr std::uint64_t kMaxValue = 65535;
constexpr std::size_t kCalibrationFields = 1 + 2 * kCalibPointCount;
constexpr char kMonitorIs[] = "monitor=";

// "MAPPING X0 Y0 .. X8 Y8".
std::string CalibrationFields(const LiveCalibration& calibration) {
  std::string fields = std::to_string(calibration.mapping);
  for (const IntPoint& point : calibration.points) {
    fields += " " + std::to_string(point.x) + " " + std::to_string(point.y);
  }
  return fields;
}

// The fields of CalibrationFields from words[at].
bool ParseCalibrationFields(const std::vector<std::string>& words, std::size_t at,
                            LiveCalibration& calibration) {
  std::uint64_t numbers[kCalibrationFields] = {};
  for (std::size_t i = 0; i < kCalibrationFields; ++i) {
    if (at + i >= words.size() || !ParseNumber(words[at + i], i == 0 ? 1 : kMaxValue, numbers[i])) {
      return false;
    }
  }
  calibration.mapping = static_cast<std::int32_t>(numbers[0]);
  for (std::size_t i = 0; i < calibration.points.size(); ++i) {
    calibration.points[i] = {static_cast<std::int32_t>(numbers[1 + 2 * i]),
                             static_cast<std::int32_t>(numbers[2 + 2 * i])};
  }
  return true;
}

std::vector<std::string> Words(const std::string& line) {
  std::istringstream words(line);
  return {std::istream_iterator<std::string>(words), {}};
}

}  // namespace

std::string ParamsAnswer(const SensitivityParams& values) {
  const std::int32_t numbers[] = {values.pressure, values.downCount, values.upCount,
                                  values.stabilizationDelay};
  std::string text = "OK";
  for (std::size_t i = 0; i < std::size(numbers); ++i) {
    text += std::string(" ") + kParamNames[i] + "=" + std::to_string(numbers[i]);
  }
  return text;
}

bool ParseParams(const std::string& list, SensitivityParams& values) {
  std::int32_t* fields[] = {&values.pressure, &values.downCount, &values.upCount,
                            &values.stabilizationDelay};
  std::istringstream items(list);
  std::size_t count = 0;
  for (std::string item; std::getline(items, item, ',');) {
    const std::size_t equals = item.find('=');
    const auto name =
        std::find(std::begin(kParamNames), std::end(kParamNames), item.substr(0, equals));
    std::uint64_t value = 0;
    if (name == std::end(kParamNames) || equals == std::string::npos ||
        !ParseNumber(item.substr(equals + 1), kMaxValue, value)) {
      return false;
    }
    *fields[name - std::begin(kParamNames)] = static_cast<std::int32_t>(value);
    ++count;
  }
  return count > 0 && list.back() != ',';
}

std::string CalibrationStartAnswer(const LiveCalibration& inForce,
                                   const std::optional<std::string>& monitor) {
  return "OK " + CalibrationFields(inForce) + (monitor ? " " + (kMonitorIs + *monitor) : " screen");
}

bool ParseCalibrationStart(const std::string& answer, LiveCalibration& inForce,
                           std::optional<std::string>& monitor) {
  const std::vector<std::string> words = Words(answer);
  if (words.size() < 2 + kCalibrationFields || words[0] != "OK" ||
      !ParseCalibrationFields(words, 1, inForce)) {
    return false;
  }
  // What follows the fields as the daemon writes them: a monitor's name may
  // hold spaces.
  const std::string fields = "OK " + CalibrationFields(inForce) + " ";
  const std::string last = answer.rfind(fields, 0) == 0 ? answer.substr(fields.size()) : "";
  monitor.reset();
  if (last.rfind(kMonitorIs, 0) == 0) {
    monitor = last.substr(sizeof kMonitorIs - 1);
    return true;
  }
  return last == "screen";
}

std::string TouchLine(std::uint32_t mouseFlags, IntPoint raw) {
  const std::string where = " " + std::to_string(raw.x) + " " + std::to_string(raw.y);
  if ((mouseFlags & (mouse::kLeftDown | mouse::kRightDown)) != 0) {
    return "down" + where;
  }
  return (mouseFlags & (mouse::kLeftUp | mouse::kRightUp)) != 0 ? "up" : "move" + where;
}

TouchKind ParseTouchLine(const std::string& line, IntPoint& raw) {
  const std::vector<std::string> words = Words(line);
  if (words.size() == 1 && words[0] == "up") {
    return TouchKind::kUp;
  }
  std::uint64_t x = 0, y = 0;
  if (words.size() != 3 || !ParseNumber(words[1], kMaxValue, x) ||
      !ParseNumber(words[2], kMaxValue, y)) {
    return TouchKind::kNone;
  }
  raw = {static_cast<std::int32_t>(x), static_cast<std::int32_t>(y)};
  return words[0] == "down"   ? TouchKind::kDown
         : words[0] == "move" ? TouchKind::kMove
                              : TouchKind::kNone;
}

std::string OutcomeLine(const CCalibrationRun::Outcome& outcome) {
  return "end " + std::to_string(outcome.storePoints ? 1 : 0) + " " +
         std::to_string(outcome.storeMapping ? 1 : 0) + " " + CalibrationFields(outcome.use);
}

bool ParseOutcome(const std::string& line, CCalibrationRun::Outcome& outcome) {
  const std::vector<std::string> words = Words(line);
  std::uint64_t storePoints = 0, storeMapping = 0;
  if (words.size() != 3 + kCalibrationFields || words[0] != "end" ||
      !ParseNumber(words[1], 1, storePoints) || !ParseNumber(words[2], 1, storeMapping) ||
      !ParseCalibrationFields(words, 3, outcome.use)) {
    return false;
  }
  outcome.storePoints = storePoints != 0;
  outcome.storeMapping = storeMapping != 0;
  return true;
}

}  // namespace zt
