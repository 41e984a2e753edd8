// What an operator watches over a fleet: where the link stands and how often
// it changed or was lost, the touches and the last one's time, the packets
// dropped for a bad checksum (a failing cable), when the calibration was
// stored and which output is in use. Counted over the program's life, across
// engine restarts; written as Prometheus metrics and as one JSON object.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "engine/event_reporter.h"
#include "engine/serial_link.h"
#include "platform/file_replacer.h"
#include "platform/log.h"

namespace zt {

struct HealthFigures {
  LinkState link = LinkState::kOpening;
  std::uint64_t linkChanges = 0;
  std::uint64_t linkLosses = 0;  // connected, then the device went away
  std::uint64_t touches = 0;
  std::uint64_t checksumErrors = 0;
  std::int64_t lastTouch = 0;          // Unix seconds; 0: none yet
  std::int64_t calibrationStored = 0;  // Unix seconds; 0: not known
  bool touchOutput = false;            // touch input, else the mouse
  bool running = true;                 // false: the program has ended
};

// Counted by the reader thread, read and completed by the thread that
// writes the figures out; every count is its own atomic, so a reading may
// mix counts a touch apart, never tear one.
class CHealth {
public:
  void OnLinkState(LinkState state);
  // The link opened anew by a start or a restart of the engine (an Apply,
  // an import): shown, but not counted as a change; its next state is
  // counted against the one before the restart.
  void OnLinkStarts(LinkState state);
  void OnTouchBegins();
  // The last touch's time as kept across a restart (0: not known); a touch
  // counted since wins.
  void RestoreLastTouch(std::int64_t unixSeconds);
  void OnChecksumError();
  void SetCalibrationStored(std::int64_t unixSeconds);
  void SetTouchOutput(bool touch);

  HealthFigures Figures() const;
  // Grows with every change of a figure.
  std::uint64_t Changes() const { return m_changes.load(std::memory_order_acquire); }

private:
  void Changed() { m_changes.fetch_add(1, std::memory_order_release); }

  std::atomic<std::uint8_t> m_link{static_cast<std::uint8_t>(LinkState::kOpening)};
  // The state the counts last saw: m_link but for a restart's opening.
  std::atomic<std::uint8_t> m_counted{static_cast<std::uint8_t>(LinkState::kOpening)};
  std::atomic<std::uint64_t> m_linkChanges{0};
  std::atomic<std::uint64_t> m_linkLosses{0};
  std::atomic<std::uint64_t> m_touches{0};
  std::atomic<std::uint64_t> m_checksumErrors{0};
  std::atomic<std::int64_t> m_lastTouch{0};
  std::atomic<std::int64_t> m_calibrationStored{0};
  std::atomic<bool> m_touchOutput{false};
  std::atomic<std::uint64_t> m_changes{0};
};

// The figures in the Prometheus text exposition format.
std::string MetricsText(const HealthFigures& figures);
// The same figures as one JSON object on one line.
std::string StatusJson(const HealthFigures& figures);

// Where and how a metrics file is written.
struct MetricsOutput {
  IFileReplacer& files;
  // Not empty: the one folder the file may be in, Metrics= naming a file
  // there (the Windows program's: it runs as whoever is logged on, while
  // any user may change the settings).
  std::string folder;
  ILog* log = nullptr;
  CEventReporter* events = nullptr;
};

// Keeps a metrics file up to date: written when the figures changed since
// the last write, and at least every kRefreshSeconds, each time replaced
// whole, so that a collector reads a whole file. Whether it can be written
// is said once for each change (failing, written again) and for each file
// named, with the system's reason, in the log and the event log given.
class CMetricsFile {
public:
  static constexpr std::int64_t kRefreshSeconds = 60;

  CMetricsFile(std::string path, const MetricsOutput& output);
  // False when a write was due and failed (it is tried again at the next).
  bool Update(const CHealth& health, std::int64_t nowSeconds);
  // The last write, as the program ends: the link no longer up, so that
  // what collects the file does not go on seeing it connected.
  bool WriteStopped(const CHealth& health);
  const std::string& Path() const { return m_path; }
  // Writes another file from the next update on (Metrics= changed). A
  // failure of the old file carries over: the new file's first good write
  // says that the failure is over, its first failed one names it.
  void MoveTo(std::string path);
  // No file is wanted any more (Metrics= removed): a failure is over too.
  void Abandon();

private:
  bool Write(const HealthFigures& figures);
  void Said(const std::string& failure);

  std::string m_path;    // as Metrics= names it
  std::string m_target;  // where it is written; empty: outside the folder
  MetricsOutput m_output;
  std::string m_failingPath;  // the file said to be failing; empty: none
  std::uint64_t m_written = ~std::uint64_t{0};
  std::int64_t m_writtenAt = 0;
};

// Where a metrics file Metrics= names lies when it must be in folder: a
// file name, or folder's own path and a file name (as an export writes
// it). Empty for anything else: another folder, a share, a subfolder (a
// user may make one a link to elsewhere), "..", a device name (NUL, COM1),
// a stream (a colon).
std::string MetricsFileIn(const std::string& folder, const std::string& setting);

// Follows the Metrics= setting: the file it names (empty: none), the same
// object across changes so that a failure is said to be over once it is.
void FollowMetricsSetting(std::optional<CMetricsFile>& file, const std::string& path,
                          const MetricsOutput& output);

// Now, in Unix seconds.
std::int64_t UnixNow();

}  // namespace zt
