#include "options.h"

#include <charconv>
#include <string_view>

namespace zt::touchsim {
namespace {

template <typename Number>
bool ParseNumber(std::string_view text, Number min, Number max, Number& value) {
  const char* end = text.data() + text.size();
  const auto [stop, status] = std::from_chars(text.data(), end, value);
  return status == std::errc() && stop == end && !text.empty() && value >= min && value <= max;
}

bool ParseOffset(std::string_view text, PanelTransform& panel) {
  const std::size_t comma = text.find(',');
  return comma != std::string_view::npos &&
         ParseNumber(text.substr(0, comma), -kFieldMax, kFieldMax, panel.offsetX) &&
         ParseNumber(text.substr(comma + 1), -kFieldMax, kFieldMax, panel.offsetY);
}

// Applies one option that takes a value; false when the value is bad.
bool ApplyValue(std::string_view name, const std::string& value, Options& options) {
  if (value.empty()) {
    return false;
  }
  if (name == "--device") {
    options.device = value;
  } else if (name == "--link") {
    options.linkPath = value;
  } else if (name == "--eeprom") {
    options.eepromFile = value;
  } else if (name == "--script") {
    options.scriptFile = value;
  } else if (name == "--offset") {
    return ParseOffset(value, options.panel);
  } else if (name == "--bow") {
    return ParseNumber(value, -kRawMax, kRawMax, options.panel.bow);
  } else if (name == "--jitter") {
    return ParseNumber(value, 0, Simulator::kMaxJitter, options.jitter);
  } else if (name == "--rate") {
    return ParseNumber(value, 1, Simulator::kMaxReportRate, options.reportRate);
  } else if (name == "--reply-delay") {
    return ParseNumber(value, 0, 60'000, options.replyDelayMs);
  } else if (name == "--seed") {
    std::uint32_t seed = 0;
    if (!ParseNumber<std::uint32_t>(value, 0, UINT32_MAX, seed)) {
      return false;
    }
    options.noiseSeed = seed;
  }
  return true;
}

// Applies one option without a value; false when name is not one.
bool ApplyFlag(std::string_view name, Options& options) {
  struct Flag {
    std::string_view name;
    bool Options::*member;
  };
  static constexpr Flag kFlags[] = {
      {"--paced", &Options::paced},
      {"--silent", &Options::silent},
      {"--exit-after-script", &Options::exitAfterScript},
      {"--keep-open", &Options::keepOpen},
      {"--verbose", &Options::verbose},
      {"-v", &Options::verbose},
      {"--help", &Options::help},
      {"-h", &Options::help},
  };
  for (const Flag& flag : kFlags) {
    if (flag.name == name) {
      options.*flag.member = true;
      return true;
    }
  }
  bool* panelFlag = name == "--mirror-x"   ? &options.panel.mirrorX
                    : name == "--mirror-y" ? &options.panel.mirrorY
                    : name == "--swap"     ? &options.panel.swapAxes
                                           : nullptr;
  if (panelFlag != nullptr) {
    *panelFlag = true;
  }
  return panelFlag != nullptr;
}

bool TakesValue(std::string_view name) {
  static constexpr std::string_view kWithValue[] = {
      "--device", "--link",   "--eeprom", "--script",      "--offset",
      "--rate",   "--jitter", "--bow",    "--reply-delay", "--seed"};
  for (std::string_view candidate : kWithValue) {
    if (candidate == name) {
      return true;
    }
  }
  return false;
}

}  // namespace

bool ParseOptions(const std::vector<std::string>& args, Options& options, std::string& error) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string_view name = args[i];
    std::string value;
    const std::size_t equals = name.find('=');
    const bool inlineValue = name.starts_with("--") && equals != std::string_view::npos;
    if (inlineValue) {
      value = std::string(name.substr(equals + 1));
      name = name.substr(0, equals);
    }
    if (!TakesValue(name)) {
      if (inlineValue || !ApplyFlag(name, options)) {
        error = "unknown option '" + args[i] + "'";
        return false;
      }
      continue;
    }
    if (!inlineValue) {
      if (i + 1 == args.size()) {
        error = "option " + std::string(name) + " needs a value";
        return false;
      }
      value = args[++i];
    }
    if (!ApplyValue(name, value, options)) {
      error = "bad value '" + value + "' for " + std::string(name);
      return false;
    }
  }
  if (options.exitAfterScript && options.keepOpen) {
    error = "--exit-after-script and --keep-open contradict each other";
    return false;
  }
  return true;
}

const char* UsageText() {
  return R"(usage: touchsim [options]

Plays the touch controller on a serial line. Prints the line's path (the
pseudo-terminal's slave, or the device) as the first line of stdout, then runs
commands from the script file, then from stdin, until stdin ends, 'quit', or
SIGTERM/SIGINT.

Line:
  --device PATH          use a serial device (9600 8N2 raw) instead of a pty
  --link PATH            create a symbolic link PATH to the line (replacing an
                         existing link), e.g. $WINEPREFIX/dosdevices/com5;
                         removed at exit
  --paced                send no faster than the real 9600-baud line
Controller:
  --eeprom FILE          keep the EEPROM in FILE ("P D U S"), loaded when present
  --silent               never answer parameter requests
  --reply-delay MS       answer parameter requests after MS milliseconds
Panel (applied to every scripted point, in this order):
  --swap                 swap X and Y
  --mirror-x             report X as 4095 - X
  --mirror-y             report Y as 4095 - Y
  --offset DX,DY         add DX and DY
  --bow N                bow the grid lines by N raw units at their middles
Script:
  --script FILE          run the commands in FILE first
  --rate HZ              reports per second in holds and drags (default 100)
  --jitter SIGMA         normal noise of SIGMA raw units on every report's position
  --seed N               seed of the noise generator
  --exit-after-script    end when the script file ends instead of reading stdin
  --keep-open            stay when stdin ends, until 'quit' or SIGTERM/SIGINT
  -v, --verbose          log bytes sent and received on stderr
  -h, --help             show this text

Commands (one a line, '#' starts a comment):
  tap X Y                     hold X Y MS
  drag X1 Y1 X2 Y2 [...] MS   report X Y STATUS
  split X Y STATUS C1 [C2...] corrupt X Y STATUS [checksum|drop INDEX]
  noise N [any]               raw HEX...
  rate HZ    wait MS    pace on|off    silent on|off    reply-delay MS
  eeprom P D U S              quit
)";
}

}  // namespace zt::touchsim
