#include "settings/settings_file.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <set>
#include <utility>

#include "platform/comm_device.h"
#include "settings/registry_key.h"

namespace zt::settings {
namespace {

// kUnitRecord: kept by each unit for itself, never exported nor imported.
enum class Kind { kNumber, kText, kPort, kMonitor, kPath, kLinuxText, kUnitRecord };

// What a value may hold.
struct Rule {
  std::string name;
  Kind kind = Kind::kNumber;
  std::uint32_t min = 0;
  std::uint32_t max = 0;
};

const std::vector<Rule>& Rules() {
  static const std::vector<Rule> rules = [] {
    std::vector<Rule> list = {
        {kPort, Kind::kPort},
        {kMonitor, Kind::kMonitor},
        {kWindowTitle, Kind::kText},
        {kFirst, Kind::kNumber, 0, 1},
        {kRight, Kind::kNumber, 0, 1},
        {kStartUpMode, Kind::kNumber, 0, 1},
        {kDTime, Kind::kNumber, 0, 5000},
        {kDZone, Kind::kNumber, 0, 3},
        {kDZoneX, Kind::kNumber, 0, 65535},
        {kDZoneY, Kind::kNumber, 0, 65535},
        {kBeep, Kind::kNumber, 0, 1},
        {kFreq, Kind::kNumber, kMinFreq, kMaxFreq},
        {kDuration, Kind::kNumber, 0, kMaxDuration},
        {kTouchMode, Kind::kNumber, 0, 2},
        {kReconnect, Kind::kNumber, 0, 1},
        {kMapping, Kind::kNumber, 0, 1},
        {kHoldRight, Kind::kNumber, 0, 60000},
        {kHoldZone, Kind::kNumber, 0, 65535},
        {kSmoothing, Kind::kNumber, 0, 3},
        {kOutput, Kind::kNumber, 0, 1},
        {kCalibrationTime, Kind::kNumber, 0, 0xFFFFFFFF},
        {kMetrics, Kind::kPath},
        {kLastTouch, Kind::kUnitRecord, 0, 0xFFFFFFFF},
        // The Linux daemon's own: its control socket and where find looks.
        {"Control", Kind::kLinuxText},
        {"FindPorts", Kind::kLinuxText},
    };
    for (int index = 0; index < 9; ++index) {
      list.push_back({kPointXPrefix + std::to_string(index), Kind::kNumber, 0, 4095});
      list.push_back({kPointYPrefix + std::to_string(index), Kind::kNumber, 0, 4095});
    }
    return list;
  }();
  return rules;
}

// A number, decimal or hexadecimal; every other kind is a text.
bool IsNumber(Kind kind) {
  return kind == Kind::kNumber || kind == Kind::kUnitRecord;
}

const Rule* FindRule(const std::string& name) {
  const auto& rules = Rules();
  const auto found =
      std::find_if(rules.begin(), rules.end(), [&](const Rule& rule) { return rule.name == name; });
  return found == rules.end() ? nullptr : &*found;
}

std::string Trimmed(const std::string& text) {
  const auto begin = text.find_first_not_of(" \t");
  const auto end = text.find_last_not_of(" \t");
  return begin == std::string::npos ? std::string() : text.substr(begin, end - begin + 1);
}

// A line without its "\n" and the "\r" a Windows editor puts before it.
std::string LineAt(const std::string& text, std::size_t begin, std::size_t end) {
  if (end > begin && text[end - 1] == '\r') {
    --end;
  }
  return text.substr(begin, end - begin);
}

// Decimal, or hexadecimal after "0x"; nothing else.
std::optional<std::uint64_t> Number(const std::string& text) {
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const std::string digits = hex ? text.substr(2) : text;
  const auto isDigit = [hex](char c) {
    return hex ? std::isxdigit(static_cast<unsigned char>(c)) != 0
               : std::isdigit(static_cast<unsigned char>(c)) != 0;
  };
  if (digits.empty() || digits.size() > 16 || !std::all_of(digits.begin(), digits.end(), isDigit)) {
    return std::nullopt;
  }
  errno = 0;
  const unsigned long long value = std::strtoull(digits.c_str(), nullptr, hex ? 16 : 10);
  return errno == 0 ? std::optional<std::uint64_t>(value) : std::nullopt;
}

// Whether a port, monitor or file name is one of this platform: a COM
// port, a display device ("\\.\DISPLAY2") and a file name or a path from a
// drive or a share on Windows (the program writes only in its own folder);
// a device path, an XRandR name and an absolute path on Linux.
bool IsLocalName(Kind kind, const std::string& value, FilePlatform platform) {
  const bool windows = platform == FilePlatform::kWindows;
  if (kind == Kind::kPort) {
    return windows ? IsPortName(value) : value.rfind('/', 0) == 0;
  }
  if (kind == Kind::kPath) {
    const bool fromDrive = value.size() > 2 && value[1] == ':' && value[2] == '\\';
    const bool fileName = value.find_first_of("\\/:") == std::string::npos;
    return windows ? fromDrive || fileName || value.rfind("\\\\", 0) == 0
                   : value.rfind('/', 0) == 0;
  }
  const bool displayDevice = value.rfind("\\\\.\\", 0) == 0;
  return !value.empty() && (windows ? displayDevice : !displayDevice);
}

// Why value does not suit rule; nullptr when it does.
const char* Fault(const Rule& rule, const std::string& value) {
  if (!IsNumber(rule.kind)) {
    const bool control = std::any_of(value.begin(), value.end(),
                                     [](char c) { return static_cast<unsigned char>(c) < 0x20; });
    return value.size() >= kTextSize ? "longer than 1023 characters"
           : control                 ? "holds a control character"
                                     : nullptr;
  }
  const std::optional<std::uint64_t> number = Number(value);
  if (!number) {
    return "not a number";
  }
  return *number < rule.min || *number > rule.max ? "out of range" : nullptr;
}

// The value's text, as a file gives it.
std::optional<std::string> ReadValue(CRegistryKey& key, const Rule& rule) {
  if (rule.kind == Kind::kNumber) {
    std::int32_t number = 0;
    return key.QueryDword(rule.name.c_str(), number)
               ? std::optional<std::string>(std::to_string(static_cast<std::uint32_t>(number)))
               : std::nullopt;
  }
  char text[kTextSize] = {};
  std::uint32_t size = kTextSize - 1;
  if (!key.QueryValue(rule.name.c_str(), text, size)) {
    return std::nullopt;
  }
  return std::string(text, strnlen(text, size));
}

// A value of the key: its type and bytes, or absent.
struct Held {
  std::string name;
  bool present = false;
  std::uint32_t type = 0;
  std::vector<char> bytes;

  bool operator==(const Held&) const = default;
};

// What the key holds under name; none when it cannot be read.
std::optional<Held> ReadHeld(IRegistry& registry, RegKeyHandle key, const std::string& name) {
  Held held{name, true, 0, std::vector<char>(kTextSize)};
  auto size = static_cast<std::uint32_t>(held.bytes.size());
  std::int32_t status = registry.QueryValue(key, name.c_str(), held.type, held.bytes.data(), size);
  if (status == reg::kErrorMoreData) {  // stored by another program, larger than ours
    held.bytes.resize(size);
    status = registry.QueryValue(key, name.c_str(), held.type, held.bytes.data(), size);
  }
  if (status != reg::kErrorSuccess && status != reg::kErrorFileNotFound) {
    return std::nullopt;
  }
  held.present = status == reg::kErrorSuccess;
  held.bytes.resize(held.present ? size : 0);
  return held;
}

// The value as the key stores it. Strings are written without their NUL,
// as every other save of the program writes them.
Held AsStored(const FileValue& value) {
  if (value.text) {
    return {value.name, true, reg::kRegSz,
            std::vector<char>(value.value.begin(), value.value.end())};
  }
  const auto number = static_cast<std::uint32_t>(Number(value.value).value_or(0));
  return {value.name,
          true,
          reg::kRegDword,
          {static_cast<char>(number), static_cast<char>(number >> 8),
           static_cast<char>(number >> 16), static_cast<char>(number >> 24)}};
}

// Writes held into the key; one that is absent is deleted (gone already is
// as good).
bool Write(IRegistry& registry, RegKeyHandle key, const Held& held) {
  if (!held.present) {
    const std::int32_t status = registry.DeleteValue(key, held.name.c_str());
    return status == reg::kErrorSuccess || status == reg::kErrorFileNotFound;
  }
  return registry.SetValue(key, held.name.c_str(), held.type, held.bytes.data(),
                           static_cast<std::uint32_t>(held.bytes.size())) == reg::kErrorSuccess;
}

// A value this import wrote: what the key held before, and what was written.
struct Written {
  Held before;
  Held stored;
};

// Puts back what the key held before, unless another writer (a second
// import, the running program storing a calibration) changed the value
// since: its value stays. One that cannot be read again is put back.
void PutBack(IRegistry& registry, RegKeyHandle key, const Written& written, ApplyOutcome& outcome) {
  const std::optional<Held> now = ReadHeld(registry, key, written.stored.name);
  if (now && *now != written.stored) {
    outcome.changedMeanwhile.push_back(written.stored.name);
  } else if (!Write(registry, key, written.before)) {
    outcome.notRestored.push_back(written.stored.name);
  }
}

std::string Joined(const std::vector<std::string>& names) {
  std::string joined;
  for (const std::string& name : names) {
    joined.append(joined.empty() ? "" : ", ").append(name);
  }
  return joined;
}

// The bit of an import's answer that names value index of the file, above
// kImportInPart's. A file has at most one value per setting, fewer than the
// 62 such bits.
std::uint64_t AnswerBit(std::size_t index) {
  return index < 62 ? std::uint64_t{1} << (index + 2) : 0;
}

}  // namespace

SettingsFile ReadSettingsFile(const std::string& text, const std::string& path,
                              FilePlatform platform) {
  SettingsFile file;
  // Notepad saves "Unicode" as UTF-16, whose every other byte of a name is
  // a NUL; UTF-8 it may begin with a byte order mark.
  if (text.find('\0') != std::string::npos) {
    file.errors.push_back(path + ":1: UTF-16: save the file as UTF-8");
    return file;
  }
  constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";
  std::set<std::string> given;
  std::size_t number = 0;
  for (std::size_t begin = text.rfind(kByteOrderMark, 0) == 0 ? 3 : 0; begin < text.size();
       ++number) {
    const std::size_t end = std::min(text.find('\n', begin), text.size());
    const std::string line = LineAt(text, begin, end);
    begin = end + 1;
    const std::string content = Trimmed(line);
    if (content.empty() || content[0] == '#') {
      continue;
    }
    // A text value is kept as written, spaces included: the window title
    // the setup stores ends in one, and the second instance finds the
    // first by it. A number may have spaces around it.
    const auto equals = line.find('=');
    const std::string name = Trimmed(equals == std::string::npos ? line : line.substr(0, equals));
    const Rule* rule = FindRule(name);
    const std::string written = equals == std::string::npos ? "" : line.substr(equals + 1);
    const std::string value = rule != nullptr && IsNumber(rule->kind) ? Trimmed(written) : written;
    std::string where = path;
    where.append(":").append(std::to_string(number + 1)).append(": ").append(name).append(": ");
    const char* fault = equals == std::string::npos ? "no \"=\""
                        : rule == nullptr           ? "not a setting"
                                                    : Fault(*rule, value);
    if (fault != nullptr) {
      file.errors.push_back(where + fault);
    } else if (rule->kind == Kind::kUnitRecord) {
      file.notes.push_back(where + "each unit keeps its own; passed over");
    } else if (rule->kind == Kind::kLinuxText && platform == FilePlatform::kWindows) {
      file.notes.push_back(where + "used on Linux only; passed over");
    } else if ((rule->kind == Kind::kPort || rule->kind == Kind::kMonitor ||
                rule->kind == Kind::kPath) &&
               !IsLocalName(rule->kind, value, platform)) {
      where.append("\"").append(value).append("\" is not one of this platform's; the local ");
      file.notes.push_back(where.append(name).append(" is kept"));
    } else if (!given.insert(name).second) {
      // Written twice, the value the key held before could no longer be
      // put back. A port of each platform under one name is no such case.
      file.errors.push_back(where + "given twice");
    } else {
      file.values.push_back({name, value, rule->kind != Kind::kNumber});
    }
  }
  // Lines all passed over store nothing either.
  if (file.values.empty() && file.errors.empty()) {
    file.errors.push_back(path + ": no settings");
  }
  return file;
}

std::string SettingsFileText(const std::vector<std::pair<std::string, std::string>>& values) {
  std::string text =
      "# ZeltraTouch settings: Name=Value lines, read by ZeltraTouch.exe /import on Windows\n"
      "# and from /etc/zeltratouch/conf.d/ on Linux.\n"
      "# The calibration (PX0..PY8, Mapping) suits panels of the model it was taken on:\n"
      "# a panel of another model needs its own.\n";
  for (const auto& [name, value] : values) {
    text.append(name).append("=").append(value).append("\n");
  }
  return text;
}

std::string ExportSettings(IRegistry& registry, const KeyLocation& where) {
  CRegistryKey key(registry);
  if (!key.Open(where.root, where.subKey, reg::kKeyQueryValue)) {
    return "";
  }
  std::vector<std::pair<std::string, std::string>> values;
  for (const Rule& rule : Rules()) {
    if (rule.kind == Kind::kUnitRecord) {
      continue;
    }
    if (const std::optional<std::string> value = ReadValue(key, rule)) {
      values.emplace_back(rule.name, *value);
    }
  }
  return SettingsFileText(values);
}

// One key, opened for reading and writing, so that what a value held
// before can be put back.
ApplyOutcome ApplySettingsFile(IRegistry& registry, const SettingsFile& file,
                               const KeyLocation& where) {
  ApplyOutcome outcome;
  RegKeyHandle key = kNoRegKey;
  if (!file.errors.empty() ||
      registry.OpenKey(where.root, where.subKey, reg::kKeySetValue | reg::kKeyQueryValue, key) !=
          reg::kErrorSuccess) {
    return outcome;
  }
  std::vector<Written> written;
  bool stored = true;
  for (const FileValue& value : file.values) {
    std::optional<Held> held = ReadHeld(registry, key, value.name);
    Held wanted = AsStored(value);
    stored = held && Write(registry, key, wanted);
    if (!stored) {
      break;
    }
    written.push_back({std::move(*held), std::move(wanted)});
  }
  for (const Written& each : written) {
    if (!stored) {
      PutBack(registry, key, each, outcome);
    }
  }
  outcome.stored = registry.CloseKey(key) == reg::kErrorSuccess && stored;
  return outcome;
}

std::string ApplyFailureText(const ApplyOutcome& outcome) {
  std::string text = outcome.notRestored.empty()
                         ? "nothing imported"
                         : "imported in part: " + Joined(outcome.notRestored) +
                               " could not be put back and keep the file's values";
  if (!outcome.changedMeanwhile.empty()) {
    text += "; left as another writer set them meanwhile: " + Joined(outcome.changedMeanwhile);
  }
  return text;
}

std::uint64_t ImportAnswer(const SettingsFile& file, const ApplyOutcome& outcome) {
  if (outcome.stored) {
    return kImportStored;
  }
  std::uint64_t answer = 0;
  const auto& left = outcome.notRestored;
  for (std::size_t index = 0; index < file.values.size(); ++index) {
    if (std::find(left.begin(), left.end(), file.values[index].name) != left.end()) {
      answer |= kImportInPart | AnswerBit(index);
    }
  }
  return answer;
}

ApplyOutcome AnsweredOutcome(const SettingsFile& file, std::uint64_t answer) {
  ApplyOutcome outcome;
  outcome.stored = answer == kImportStored;
  for (std::size_t index = 0; index < file.values.size(); ++index) {
    if ((answer & kImportInPart) != 0 && (answer & AnswerBit(index)) != 0) {
      outcome.notRestored.push_back(file.values[index].name);
    }
  }
  return outcome;
}

}  // namespace zt::settings
