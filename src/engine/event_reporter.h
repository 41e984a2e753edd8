// What an operator reads in the system's event log: the link lost and back,
// a port that cannot be opened, a calibration stored, settings imported
// (whole or in part), touch output refused, a metrics file that cannot be
// written. Each is reported once for each change, however often the thing
// that caused it is seen again.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "engine/serial_link.h"
#include "platform/event_log.h"

namespace zt {

// The events' ids, as the message table (resources/events.mc) numbers them.
enum EventId : std::uint32_t {
  kEventLinkLost = 1,
  kEventLinkBack = 2,
  kEventPortCannotOpen = 3,
  kEventCalibrationStored = 4,
  kEventSettingsImported = 5,
  kEventTouchOutputRefused = 6,
  kEventMetricsNotWritten = 7,
  kEventMetricsWrittenAgain = 8,
  kEventSettingsImportedInPart = 9,
};

// Called from the reader thread (link states) and the user-interface
// thread (the rest).
class CEventReporter {
public:
  explicit CEventReporter(IEventLog& log) : m_log(log) {}

  // Lost: a connected link whose device went away. Cannot open: a port that
  // did not open, once until the link is connected. Back: connected again
  // after either.
  void OnLinkState(LinkState state, const std::string& port);
  // When the calibration in force was stored; the first time seen is the
  // one the program started with and reports nothing.
  void OnCalibrationStored(std::int64_t unixSeconds);
  void OnSettingsImported(const std::string& path);
  // An import that failed midway and could not put every value back: what
  // the key is left holding of the file (ApplyFailureText's words).
  void OnSettingsImportedInPart(const std::string& path, const std::string& left);
  // Whether touch output is asked for and refused (touches go to the mouse).
  void OnTouchOutputRefused(bool refused);
  // The metrics file stopped being written (failure: the system's reason),
  // or is written again (failure empty); called at each change only.
  void OnMetricsFile(const std::string& path, const std::string& failure);

private:
  IEventLog& m_log;
  std::mutex m_lock;
  LinkState m_link = LinkState::kOpening;
  bool m_linkDown = false;  // lost, or not opened, and said so
  std::optional<std::int64_t> m_calibrationStored;
  bool m_touchRefused = false;
};

}  // namespace zt
