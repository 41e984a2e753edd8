#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <random>
#include <thread>
#include <utility>
#include <vector>

#include "controller_model.h"
#include "logger.h"
#include "panel_transform.h"
#include "pty_line.h"

namespace zt::touchsim {

// A packet spoilt on purpose, to see the receiver drop it and recover.
struct Corruption {
  enum class Kind { kBadChecksum, kDroppedByte };
  Kind kind = Kind::kBadChecksum;
  std::int32_t droppedIndex = 9;  // for kDroppedByte, 0..9
};

// The point a fraction 0..1 of the way along the path, measured by length.
PanelPoint PointAlongPath(const std::vector<PanelPoint>& path, double fraction);

// Plays the touch controller on a line. Touches, noise and raw bytes are sent
// by one driving thread (a script runner or a test); a thread of its own
// serves the system's commands meanwhile. Touch operations return false when
// the simulator was stopped before they completed or the line did not take
// all their bytes. A touch cut short by a stop still sends its lift.
class Simulator {
public:
  using Clock = std::chrono::steady_clock;

  static constexpr std::int32_t kDefaultReportRate = 100;
  static constexpr std::int32_t kMaxReportRate = 1000;
  static constexpr std::int32_t kMaxJitter = 1000;
  // One byte at 9600 baud with a start bit, 8 data bits and 2 stop bits.
  static constexpr std::chrono::nanoseconds kByteTime{11'000'000'000 / 9600};
  static constexpr std::chrono::milliseconds kSplitGap{5};

  Simulator(PtyLine& line, ControllerModel& controller, Logger& log);
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;
  ~Simulator() { Stop(); }

  // Starts serving the system's commands.
  bool Start();
  // Cuts waits and touches short; callable from any thread.
  void RequestStop();
  bool StopRequested() const { return m_stopRequested.load(std::memory_order_acquire); }
  // Requests a stop and waits for the serving thread to end.
  void Stop();

  // Reports per second during holds and drags, 1..1000.
  void SetReportRate(std::int32_t reportsPerSecond);
  std::int32_t ReportRate() const { return m_reportRate; }
  // Sends bytes no faster than the real 9600-baud line, replies included.
  void SetPaced(bool paced) { m_paced.store(paced, std::memory_order_relaxed); }
  void SetPanel(const PanelTransform& panel) { m_panel = panel; }
  void SeedNoise(std::uint32_t seed) { m_random.seed(seed); }
  // Every report's position gets normal noise of this standard deviation
  // (raw units), as a finger on a resistive panel gives; 0: none.
  void SetJitter(std::int32_t sigma) { m_jitter = sigma; }

  // Status 1, then status 4 one report period later.
  bool Tap(PanelPoint intended);
  // Status 1, status 2 at the report rate until durationMs, then status 4.
  bool Hold(PanelPoint intended, std::int32_t durationMs);
  // As Hold, moving along the path so that it ends at the last point.
  bool Drag(const std::vector<PanelPoint>& path, std::int32_t durationMs);
  // One report with any status byte.
  bool Report(PanelPoint intended, std::int32_t status);
  // One report written in chunks of the given sizes with short gaps; what
  // the sizes leave of the ten bytes goes last.
  bool Split(PanelPoint intended, std::int32_t status, const std::vector<std::int32_t>& chunks);
  bool Corrupt(PanelPoint intended, std::int32_t status, Corruption corruption);
  // Random bytes; 0x55 only when allowPacketStart.
  bool Noise(std::int32_t count, bool allowPacketStart);
  bool Raw(const std::vector<std::uint8_t>& bytes);
  bool Wait(std::int32_t durationMs);
  // Waits up to maxMs for the other side to take everything sent.
  bool Drain(std::int32_t maxMs);

  // Packets received from the system and handled so far; a reply that is
  // due at once has been sent when its request counts as handled.
  std::int64_t PacketsHandled() const;
  // Waits until count packets have been handled; false when timeout passed.
  bool WaitUntilHandled(std::int64_t count, std::chrono::milliseconds timeout);

private:
  bool Touch(const std::vector<PanelPoint>& path, std::int32_t durationMs);
  bool SendReport(std::int32_t status, PanelPoint intended);
  bool Send(const std::uint8_t* bytes, int count, const char* label);
  bool SendLocked(const std::uint8_t* bytes, int count, const char* label);
  bool SleepUntil(Clock::time_point deadline);
  Clock::duration ReportPeriods(std::int64_t count) const;

  void ServeCommands();
  void HandleCommand(const std::uint8_t* packet);
  void SendDueReplies();
  int NextReadTimeoutMs() const;

  PtyLine& m_line;
  ControllerModel& m_controller;
  Logger& m_log;

  // Settings of the driving thread.
  std::int32_t m_reportRate = kDefaultReportRate;
  std::int32_t m_jitter = 0;
  PanelTransform m_panel;
  std::mt19937 m_random{std::random_device{}()};

  std::atomic<bool> m_paced{false};
  // Held for each whole write, so packets from the two threads never mix.
  std::mutex m_lineMutex;
  Clock::time_point m_lineFreeAt;

  std::atomic<bool> m_stopRequested{false};
  std::mutex m_stopMutex;
  std::condition_variable m_stopSignal;

  std::thread m_server;
  mutable std::mutex m_handledMutex;
  std::condition_variable m_handledSignal;
  std::int64_t m_packetsHandled = 0;
  // Replies waiting for their reply delay; serving thread only.
  std::deque<std::pair<Clock::time_point, Packet>> m_dueReplies;
};

}  // namespace zt::touchsim
