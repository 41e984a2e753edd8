#include "app/linux/control_protocol.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <sstream>
#include <vector>

#include "platform/input.h"

namespace zt {
namespace {

constexpr const char* kParamNames[] = {"pressure", "downcount", "upcount", "delay"};
constexpr long kMaxValue = 65535;

// A whole number from..to, and nothing else.
bool ParseNumber(const std::string& text, long from, long to, long& value) {
  char* rest = nullptr;
  value = text.empty() ? -1 : std::strtol(text.c_str(), &rest, 10);
  return rest != nullptr && *rest == '\0' && value >= from && value <= to;
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
    long value = 0;
    if (name == std::end(kParamNames) || equals == std::string::npos ||
        !ParseNumber(item.substr(equals + 1), 0, kMaxValue, value)) {
      return false;
    }
    *fields[name - std::begin(kParamNames)] = static_cast<std::int32_t>(value);
    ++count;
  }
  return count > 0 && list.back() != ',';
}

std::string CalibrationStartAnswer(const std::optional<std::string>& monitor) {
  return monitor ? "OK monitor=" + *monitor : "OK screen";
}

bool ParseCalibrationStart(const std::string& answer, std::optional<std::string>& monitor) {
  constexpr char kMonitorIs[] = "OK monitor=";
  if (answer.rfind(kMonitorIs, 0) == 0) {
    monitor = answer.substr(sizeof kMonitorIs - 1);
    return true;
  }
  monitor.reset();
  return answer == "OK screen";
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
  long x = 0, y = 0;
  if (words.size() != 3 || !ParseNumber(words[1], 0, kMaxValue, x) ||
      !ParseNumber(words[2], 0, kMaxValue, y)) {
    return TouchKind::kNone;
  }
  raw = {static_cast<std::int32_t>(x), static_cast<std::int32_t>(y)};
  return words[0] == "down"   ? TouchKind::kDown
         : words[0] == "move" ? TouchKind::kMove
                              : TouchKind::kNone;
}

std::string OutcomeLine(const CCalibrationRun::Outcome& outcome) {
  std::string line = "end " + std::to_string(outcome.use.mapping) + " " +
                     std::to_string(outcome.storePoints ? 1 : 0) + " " +
                     std::to_string(outcome.storeMapping ? 1 : 0);
  for (const IntPoint& point : outcome.use.points) {
    line += " " + std::to_string(point.x) + " " + std::to_string(point.y);
  }
  return line;
}

bool ParseOutcome(const std::string& line, CCalibrationRun::Outcome& outcome) {
  const std::vector<std::string> fields = Words(line);
  constexpr std::size_t kFields = 4 + 2 * kCalibPointCount;
  long numbers[kFields] = {};
  if (fields.size() != kFields || fields[0] != "end") {
    return false;
  }
  for (std::size_t i = 1; i < kFields; ++i) {
    if (!ParseNumber(fields[i], 0, i < 4 ? 1 : kMaxValue, numbers[i])) {
      return false;
    }
  }
  outcome.use.mapping = static_cast<std::int32_t>(numbers[1]);
  outcome.storePoints = numbers[2] != 0;
  outcome.storeMapping = numbers[3] != 0;
  for (std::size_t i = 0; i < outcome.use.points.size(); ++i) {
    outcome.use.points[i] = {static_cast<std::int32_t>(numbers[4 + 2 * i]),
                             static_cast<std::int32_t>(numbers[5 + 2 * i])};
  }
  return true;
}

}  // namespace zt
