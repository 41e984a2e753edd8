#include "touch_script.h"

#include <poll.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <span>

namespace zt::touchsim {
namespace {

constexpr std::int32_t kMaxDurationMs = 3'600'000;
constexpr std::int32_t kMaxNoiseBytes = 1'000'000;
constexpr std::int32_t kMaxReplyDelayMs = 60'000;
constexpr int kStdinPollMs = 50;

std::vector<std::string_view> Tokenize(std::string_view line) {
  line = line.substr(0, line.find('#'));
  std::vector<std::string_view> tokens;
  constexpr std::string_view kSpace = " \t\r\n\v\f";
  std::size_t start = line.find_first_not_of(kSpace);
  while (start != std::string_view::npos) {
    const std::size_t end = line.find_first_of(kSpace, start);
    tokens.push_back(line.substr(start, end == std::string_view::npos ? end : end - start));
    start = line.find_first_not_of(kSpace, end);
  }
  return tokens;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  if (c >= 'a' && c <= 'f') {
    return c - 'a' + 10;
  }
  if (c >= 'A' && c <= 'F') {
    return c - 'A' + 10;
  }
  return -1;
}

// Takes the command's arguments in turn; the first problem is kept.
class ArgumentReader {
public:
  explicit ArgumentReader(std::span<const std::string_view> args) : m_args(args) {}

  std::size_t Left() const { return m_args.size() - m_next; }
  bool Failed() const { return !m_error.empty(); }
  const std::string& Error() const { return m_error; }
  bool Fail(std::string message) {
    if (m_error.empty()) {
      m_error = std::move(message);
    }
    return false;
  }

  bool Next(std::string_view name, std::string_view& token) {
    if (Left() == 0) {
      return Fail("missing " + std::string(name));
    }
    token = m_args[m_next++];
    return true;
  }

  bool Number(std::string_view name, std::int32_t min, std::int32_t max, std::int32_t& value) {
    std::string_view token;
    if (!Next(name, token)) {
      return false;
    }
    const char* end = token.data() + token.size();
    const auto [stop, status] = std::from_chars(token.data(), end, value);
    if (status != std::errc() || stop != end || value < min || value > max) {
      return Fail(std::string(name) + " must be a number " + std::to_string(min) + ".." +
                  std::to_string(max) + ", not '" + std::string(token) + "'");
    }
    return true;
  }

  bool Point(std::vector<PanelPoint>& points) {
    PanelPoint point;
    if (!Number("X", 0, kFieldMax, point.x) || !Number("Y", 0, kFieldMax, point.y)) {
      return false;
    }
    points.push_back(point);
    return true;
  }

  bool Switch(bool& on) {
    std::string_view token;
    if (!Next("on|off", token)) {
      return false;
    }
    if (token != "on" && token != "off") {
      return Fail("expected on or off, not '" + std::string(token) + "'");
    }
    on = token == "on";
    return true;
  }

  bool HexBytes(std::vector<std::uint8_t>& bytes) {
    std::string_view token;
    if (!Next("hex bytes", token)) {
      return false;
    }
    if (token.starts_with("0x") || token.starts_with("0X")) {
      token.remove_prefix(2);
    }
    if (token.empty() || token.size() % 2 != 0) {
      return Fail("'" + std::string(token) + "' is not a whole number of hex bytes");
    }
    for (std::size_t i = 0; i < token.size(); i += 2) {
      const int high = HexDigit(token[i]);
      const int low = HexDigit(token[i + 1]);
      if (high < 0 || low < 0) {
        return Fail("'" + std::string(token) + "' is not hex");
      }
      bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    return true;
  }

private:
  std::span<const std::string_view> m_args;
  std::size_t m_next = 0;
  std::string m_error;
};

bool ParseDuration(ArgumentReader& args, ScriptCommand& command) {
  return args.Number("MS", 0, kMaxDurationMs, command.number);
}

bool ParseStatus(ArgumentReader& args, ScriptCommand& command) {
  return args.Number("STATUS", 0, 255, command.number);
}

bool ParseTap(ArgumentReader& args, ScriptCommand& command) {
  return args.Point(command.points);
}

bool ParseHold(ArgumentReader& args, ScriptCommand& command) {
  return args.Point(command.points) && ParseDuration(args, command);
}

bool ParseDrag(ArgumentReader& args, ScriptCommand& command) {
  if (args.Left() < 5 || args.Left() % 2 == 0) {
    return args.Fail("expected two or more points and a duration");
  }
  while (args.Left() > 1) {
    args.Point(command.points);
  }
  return ParseDuration(args, command);
}

bool ParseReport(ArgumentReader& args, ScriptCommand& command) {
  return args.Point(command.points) && ParseStatus(args, command);
}

bool ParseSplit(ArgumentReader& args, ScriptCommand& command) {
  if (!args.Point(command.points) || !ParseStatus(args, command)) {
    return false;
  }
  if (args.Left() == 0) {
    return args.Fail("missing chunk sizes");
  }
  std::int32_t total = 0;
  while (args.Left() > 0) {
    std::int32_t size = 0;
    if (!args.Number("chunk size", 1, kPacketSize, size)) {
      return false;
    }
    total += size;
    command.chunks.push_back(size);
  }
  return total <= kPacketSize || args.Fail("chunk sizes add up to more than 10 bytes");
}

bool ParseCorrupt(ArgumentReader& args, ScriptCommand& command) {
  if (!args.Point(command.points) || !ParseStatus(args, command)) {
    return false;
  }
  std::string_view mode = "checksum";
  if (args.Left() > 0) {
    args.Next("mode", mode);
  }
  if (mode == "checksum") {
    command.corruption = {Corruption::Kind::kBadChecksum, 0};
    return true;
  }
  if (mode != "drop") {
    return args.Fail("mode must be checksum or drop, not '" + std::string(mode) + "'");
  }
  command.corruption.kind = Corruption::Kind::kDroppedByte;
  return args.Number("INDEX", 0, kPacketSize - 1, command.corruption.droppedIndex);
}

bool ParseNoise(ArgumentReader& args, ScriptCommand& command) {
  if (!args.Number("N", 0, kMaxNoiseBytes, command.number)) {
    return false;
  }
  std::string_view any;
  if (args.Left() > 0 && args.Next("any", any) && any != "any") {
    return args.Fail("expected 'any', not '" + std::string(any) + "'");
  }
  command.on = any == "any";
  return true;
}

bool ParseRaw(ArgumentReader& args, ScriptCommand& command) {
  if (args.Left() == 0) {
    return args.Fail("missing hex bytes");
  }
  while (args.Left() > 0) {
    if (!args.HexBytes(command.bytes)) {
      return false;
    }
  }
  return true;
}

bool ParseJitter(ArgumentReader& args, ScriptCommand& command) {
  return args.Number("SIGMA", 0, Simulator::kMaxJitter, command.number);
}

bool ParseRate(ArgumentReader& args, ScriptCommand& command) {
  return args.Number("HZ", 1, Simulator::kMaxReportRate, command.number);
}

bool ParseSwitch(ArgumentReader& args, ScriptCommand& command) {
  return args.Switch(command.on);
}

bool ParseReplyDelay(ArgumentReader& args, ScriptCommand& command) {
  return args.Number("MS", 0, kMaxReplyDelayMs, command.number);
}

bool ParseEeprom(ArgumentReader& args, ScriptCommand& command) {
  SensitivityParams& p = command.params;
  return args.Number("P", 0, kFieldMax, p.pressure) &&
         args.Number("D", 0, kFieldMax, p.downCount) && args.Number("U", 0, kFieldMax, p.upCount) &&
         args.Number("S", 0, kFieldMax, p.stabilizationDelay);
}

bool ParseNothing(ArgumentReader&, ScriptCommand&) {
  return true;
}

struct CommandSyntax {
  std::string_view name;
  CommandKind kind;
  std::string_view usage;
  bool (*parse)(ArgumentReader&, ScriptCommand&);
};

constexpr std::array kCommands = {
    CommandSyntax{"tap", CommandKind::kTap, "tap X Y", ParseTap},
    CommandSyntax{"hold", CommandKind::kHold, "hold X Y MS", ParseHold},
    CommandSyntax{"drag", CommandKind::kDrag, "drag X1 Y1 X2 Y2 [X3 Y3 ...] MS", ParseDrag},
    CommandSyntax{"report", CommandKind::kReport, "report X Y STATUS", ParseReport},
    CommandSyntax{"split", CommandKind::kSplit, "split X Y STATUS C1 [C2 ...]", ParseSplit},
    CommandSyntax{"corrupt", CommandKind::kCorrupt, "corrupt X Y STATUS [checksum|drop INDEX]",
                  ParseCorrupt},
    CommandSyntax{"noise", CommandKind::kNoise, "noise N [any]", ParseNoise},
    CommandSyntax{"raw", CommandKind::kRaw, "raw HEX...", ParseRaw},
    CommandSyntax{"rate", CommandKind::kRate, "rate HZ", ParseRate},
    CommandSyntax{"jitter", CommandKind::kJitter, "jitter SIGMA", ParseJitter},
    CommandSyntax{"wait", CommandKind::kWait, "wait MS", ParseDuration},
    CommandSyntax{"pace", CommandKind::kPace, "pace on|off", ParseSwitch},
    CommandSyntax{"silent", CommandKind::kSilent, "silent on|off", ParseSwitch},
    CommandSyntax{"reply-delay", CommandKind::kReplyDelay, "reply-delay MS", ParseReplyDelay},
    CommandSyntax{"eeprom", CommandKind::kEeprom, "eeprom P D U S", ParseEeprom},
    CommandSyntax{"quit", CommandKind::kQuit, "quit", ParseNothing},
};

}  // namespace

ParsedLine ParseScriptLine(std::string_view line) {
  ParsedLine parsed;
  const std::vector<std::string_view> tokens = Tokenize(line);
  if (tokens.empty()) {
    return parsed;
  }
  parsed.kind = ParsedLine::Kind::kError;
  for (const CommandSyntax& syntax : kCommands) {
    if (syntax.name != tokens.front()) {
      continue;
    }
    ArgumentReader args(std::span(tokens).subspan(1));
    parsed.command.kind = syntax.kind;
    if (syntax.parse(args, parsed.command) && args.Left() > 0) {
      args.Fail("too many arguments");
    }
    if (args.Failed()) {
      parsed.error = args.Error() + " (usage: " + std::string(syntax.usage) + ")";
    } else {
      parsed.kind = ParsedLine::Kind::kCommand;
    }
    return parsed;
  }
  parsed.error = "unknown command '" + std::string(tokens.front()) + "'";
  return parsed;
}

bool StreamLineSource::NextLine(std::string& line) {
  return static_cast<bool>(std::getline(m_in, line));
}

bool FdLineSource::NextLine(std::string& line) {
  char chunk[512];
  while (!TakeLine(line)) {
    if (m_ended || m_stopRequested()) {
      return false;
    }
    pollfd entry{m_fd, POLLIN, 0};
    if (poll(&entry, 1, kStdinPollMs) <= 0) {
      continue;
    }
    const ssize_t received = read(m_fd, chunk, sizeof chunk);
    if (received > 0) {
      m_pending.append(chunk, static_cast<std::size_t>(received));
    } else if (received == 0 || (errno != EINTR && errno != EAGAIN)) {
      m_ended = true;
    }
  }
  return true;
}

// Takes the next whole line, or at the end of the input what is left.
bool FdLineSource::TakeLine(std::string& line) {
  const std::size_t end = m_pending.find('\n');
  if (end == std::string::npos) {
    if (!m_ended || m_pending.empty()) {
      return false;
    }
    line = std::move(m_pending);
    m_pending.clear();
    return true;
  }
  line = m_pending.substr(0, end);
  m_pending.erase(0, end + 1);
  return true;
}

ScriptRunner::Outcome ScriptRunner::Run(LineSource& source) {
  std::string line;
  for (int number = 1; !m_simulator.StopRequested() && source.NextLine(line); ++number) {
    const ParsedLine parsed = ParseScriptLine(line);
    if (parsed.kind == ParsedLine::Kind::kError) {
      ++m_rejectedLines;
      m_log.Error(source.Name() + ":" + std::to_string(number) + ": " + parsed.error +
                  "; line skipped");
    } else if (parsed.kind == ParsedLine::Kind::kCommand) {
      if (parsed.command.kind == CommandKind::kQuit) {
        return Outcome::kQuit;
      }
      Execute(parsed.command);
    }
  }
  return m_simulator.StopRequested() ? Outcome::kStopped : Outcome::kEnded;
}

void ScriptRunner::Execute(const ScriptCommand& command) {
  const std::int32_t number = command.number;
  const PanelPoint point = command.points.empty() ? PanelPoint{} : command.points.front();
  std::string error;
  switch (command.kind) {
    case CommandKind::kTap:
      m_simulator.Tap(point);
      break;
    case CommandKind::kHold:
      m_simulator.Hold(point, number);
      break;
    case CommandKind::kDrag:
      m_simulator.Drag(command.points, number);
      break;
    case CommandKind::kReport:
      m_simulator.Report(point, number);
      break;
    case CommandKind::kSplit:
      m_simulator.Split(point, number, command.chunks);
      break;
    case CommandKind::kCorrupt:
      m_simulator.Corrupt(point, number, command.corruption);
      break;
    case CommandKind::kNoise:
      m_simulator.Noise(number, command.on);
      break;
    case CommandKind::kRaw:
      m_simulator.Raw(command.bytes);
      break;
    case CommandKind::kRate:
      m_simulator.SetReportRate(number);
      break;
    case CommandKind::kJitter:
      m_simulator.SetJitter(number);
      break;
    case CommandKind::kWait:
      m_simulator.Wait(number);
      break;
    case CommandKind::kPace:
      m_simulator.SetPaced(command.on);
      break;
    case CommandKind::kSilent:
      m_controller.SetSilent(command.on);
      break;
    case CommandKind::kReplyDelay:
      m_controller.SetReplyDelayMs(number);
      break;
    case CommandKind::kEeprom:
      if (!m_controller.SetEeprom(command.params, error)) {
        m_log.Error(error);
      }
      break;
    case CommandKind::kQuit:
      m_simulator.RequestStop();
      break;
  }
}

}  // namespace zt::touchsim
