// The daemon's work: the engine on the configured port, and the control
// requests that read, change and look after it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "engine/health.h"
#include "engine/touch_host.h"
#include "mapping/calibration_run.h"
#include "platform/linux/config_file_registry.h"
#include "platform/linux/control_server.h"
#include "platform/linux/posix_file_replacer.h"
#include "platform/linux/termios_comm_device.h"
#include "platform/linux/uinput_touch_screen.h"
#include "platform/std_threads.h"
#include "settings/last_touch_record.h"
#include "settings/settings_store.h"

namespace zt {

// The config file's own names beside the settings': the control socket's
// path, and where Find looks (shell patterns, separated by spaces).
inline constexpr char kControlName[] = "Control";
inline constexpr char kFindPortsName[] = "FindPorts";

// The engine's notifications: each change of the link is logged, and the
// end of a search is signalled to whoever waits for it.
class CDaemonMessages final : public IMessages {
public:
  explicit CDaemonMessages(ILog& log) : m_log(log) {}
  bool Post(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
            std::intptr_t lParam) override;
  // The port the texts name; set while no engine runs.
  void SetPort(const std::string& port);
  std::string Text() const;
  void WaitForFindDone();
  void EndFindWaits();

private:
  ILog& m_log;
  mutable std::mutex m_lock;
  std::condition_variable m_findDone;
  bool m_found = false;
  bool m_ended = false;
  std::string m_port;
  LinkState m_state = LinkState::kOpening;
};

// The pointer output, which a calibration can take over: while it listens,
// the engine's pointer events go to it instead (the engine then takes
// touches as they are read, so each is a press, moves and a release).
class CTouchTap final : public IInput {
public:
  using Listener = std::function<void(std::uint32_t flags)>;
  explicit CTouchTap(IInput& output) : m_output(output) {}
  // An empty listener gives the events back to the output; returns once no
  // event is being given to the one before. first, where given, runs before
  // the listener is taken, no event passing meanwhile (so that none goes to
  // the output after it); false from it: the listener is not taken.
  bool Listen(Listener listener, const std::function<bool()>& first = {});

  void MouseEvent(std::uint32_t flags, std::int32_t dx, std::int32_t dy, std::uint32_t data,
                  std::uintptr_t extraInfo) override;
  std::uintptr_t GetMessageExtraInfo() override { return m_output.GetMessageExtraInfo(); }
  std::uint32_t GetDoubleClickTime() override { return m_output.GetDoubleClickTime(); }
  bool SetDoubleClickTime(std::uint32_t ms) override { return m_output.SetDoubleClickTime(ms); }
  std::uint32_t GetTickCount() override { return m_output.GetTickCount(); }
  bool Beep(std::uint32_t frequency, std::uint32_t duration) override {
    return m_output.Beep(frequency, duration);
  }

private:
  IInput& m_output;
  std::mutex m_lock;
  Listener m_listener;
};

// A calibration session lasts at most this long from its start: a run
// whose thirteen targets and report each wait out their time-out (a touch
// judged just before it ends), and a margin.
inline constexpr std::int64_t kCalibrationLimitMs =
    14 * (kCalibIdleTimeout * 1000 + CCalibrationRun::kEvaluateDelayMs) + 60000;

struct DaemonPlatform {
  ConfigFileRegistry& config;
  IInput& output;
  IMonitors& monitors;
  UinputTouchScreen* touchScreen;  // none: pointer output only
  ILog& log;
  std::int64_t calibrationLimitMs = kCalibrationLimitMs;
};

// Runs the engine and answers the control requests: status and reload at
// once; params, find and calibrate one at a time on a worker thread, which
// answers its peer itself ("ERR busy" for another meanwhile).
class CDaemon {
public:
  explicit CDaemon(const DaemonPlatform& platform);
  CDaemon(const CDaemon&) = delete;
  CDaemon& operator=(const CDaemon&) = delete;
  ~CDaemon();

  // (Re)loads the settings and starts the engine on the stored port (none
  // while no port is stored), or on unstoredPort where one is given (a
  // found port that could not be stored); an engine already connected on
  // that port takes them in place instead, so that a finger down keeps its
  // touch. False when the settings cannot be read.
  bool Start(const std::string& unstoredPort = "");
  // On the control socket's thread.
  std::string Handle(const std::string& request, CControlPeer& peer);
  // Start again with the settings as they are now, unless a request is at
  // work ("ERR busy: ..."); the answer to "reload", from any thread.
  std::string Reload();
  // The reload of a SIGHUP: one asked for while a request is at work is
  // done when it ends.
  std::string ReloadWhenFree();
  // The monitors changed: touches follow the chosen one's new place.
  void DisplayChanged();
  // The X display is there (again): a touch screen waiting for it is made
  // (the engine starts again, when no request is at work), and touches
  // follow its monitors.
  void DisplayOpened();
  // Writes the metrics file (Metrics=) when the figures changed or a
  // minute passed, and keeps the time of the last touch in the state file;
  // called about once a second.
  void UpdateHealth();
  // As the daemon ends: the metrics file's last write (the link not up),
  // and the time of the last touch kept.
  void WriteHealthStopped();
  // Ends the request at work and waits for it; the engine stops.
  void Stop();
  // Whether a reader or probe was left running inside a driver call: the
  // process must then end without destroying what it may still use.
  bool LeftThreadsRunning() const { return m_threads.AnyLeftRunning(); }

private:
  using Job = std::function<std::string(CControlPeer& peer)>;
  std::string RunJob(const char* name, CControlPeer& peer, Job job);
  // The worker: runs job, answers its client and ends the job.
  void Work(const Job& job, CControlPeer& client);
  void EndJob();
  // Start, as the answer to a reload.
  std::string StartAnswer();
  // "OK N values", then a line "Name=Value<TAB>file" for each value the
  // config files set.
  std::string ConfigAnswer();
  // "OK " and the health figures as one JSON object.
  std::string StatusJsonAnswer();
  // The figures the engine does not count: the output in use and when the
  // calibration was stored. Under m_hostLock.
  void CompleteHealth();
  std::string Params(const std::string& request);
  std::string Find();
  std::string Calibrate(CControlPeer& peer);
  std::string EndCalibration(CTouchDriver& engine, const std::string& line,
                             const std::string& monitor);

  ILog& m_log;
  ConfigFileRegistry& m_config;
  std::int64_t m_calibrationLimitMs;
  UinputTouchScreen* m_touchScreen;
  settings::CSettingsStore m_store;
  TermiosCommDevice m_comm;
  StdThreads m_threads;
  CTouchTap m_tap;
  CDaemonMessages m_messages;
  CHealth m_health;
  settings::CLastTouchRecord m_lastTouch;  // used by the thread that updates the health
  CTouchHost m_host;
  std::mutex m_hostLock;  // the engine is started, replaced and used under it
  // A request is started, or a reload checks that none is at work, under
  // m_jobLock; the worker clears m_busyWith when it has answered.
  std::mutex m_jobLock;
  std::thread m_job;
  std::atomic<const char*> m_busyWith{nullptr};
  bool m_reloadWanted = false;  // under m_jobLock
  std::mutex m_peerLock;
  CControlPeer* m_jobPeer = nullptr;  // the worker's peer, shut down by Stop
  std::atomic<bool> m_stopping{false};
  PosixFileReplacer m_files;
  std::optional<CMetricsFile> m_metrics;  // under m_hostLock
};

}  // namespace zt
