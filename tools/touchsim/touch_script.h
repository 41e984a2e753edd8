#pragma once

#include <cstdint>
#include <functional>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

#include "controller_model.h"
#include "logger.h"
#include "simulator.h"

namespace zt::touchsim {

enum class CommandKind {
  kTap,
  kHold,
  kDrag,
  kReport,
  kSplit,
  kCorrupt,
  kNoise,
  kRaw,
  kRate,
  kJitter,
  kWait,
  kPace,
  kSilent,
  kReplyDelay,
  kEeprom,
  kQuit,
};

// One line of the command language, e.g. "drag 100 100 900 100 500".
struct ScriptCommand {
  CommandKind kind = CommandKind::kQuit;
  std::vector<PanelPoint> points;  // one point, or the path of a drag
  std::int32_t number = 0;         // duration, rate, status, count or delay
  std::vector<std::int32_t> chunks;
  std::vector<std::uint8_t> bytes;
  bool on = false;  // pace/silent on; noise may include 0x55
  Corruption corruption;
  SensitivityParams params;
};

struct ParsedLine {
  enum class Kind { kBlank, kCommand, kError };
  Kind kind = Kind::kBlank;
  ScriptCommand command;
  std::string error;
};

// Parses one line; '#' starts a comment.
ParsedLine ParseScriptLine(std::string_view line);

// Where script lines come from.
class LineSource {
public:
  virtual ~LineSource() = default;
  // False at the end of the input.
  virtual bool NextLine(std::string& line) = 0;
  const std::string& Name() const { return m_name; }

protected:
  explicit LineSource(std::string name) : m_name(std::move(name)) {}

private:
  std::string m_name;
};

class StreamLineSource : public LineSource {
public:
  StreamLineSource(std::istream& in, std::string name) : LineSource(std::move(name)), m_in(in) {}
  bool NextLine(std::string& line) override;

private:
  std::istream& m_in;
};

// Reads a file descriptor such as stdin without blocking for long, so that
// a stop is noticed while no line comes.
class FdLineSource : public LineSource {
public:
  FdLineSource(int fd, std::string name, std::function<bool()> stopRequested)
      : LineSource(std::move(name)), m_fd(fd), m_stopRequested(std::move(stopRequested)) {}
  bool NextLine(std::string& line) override;

private:
  bool TakeLine(std::string& line);

  int m_fd;
  std::function<bool()> m_stopRequested;
  std::string m_pending;
  bool m_ended = false;
};

// Runs commands on a simulator. Bad lines are reported with their line
// number and skipped.
class ScriptRunner {
public:
  enum class Outcome { kEnded, kQuit, kStopped };

  ScriptRunner(Simulator& simulator, ControllerModel& controller, Logger& log)
      : m_simulator(simulator), m_controller(controller), m_log(log) {}

  Outcome Run(LineSource& source);
  void Execute(const ScriptCommand& command);

  int RejectedLines() const { return m_rejectedLines; }

private:
  Simulator& m_simulator;
  ControllerModel& m_controller;
  Logger& m_log;
  int m_rejectedLines = 0;
};

}  // namespace zt::touchsim
