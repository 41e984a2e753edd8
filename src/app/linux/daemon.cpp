#include "app/linux/daemon.h"

#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>
#include <system_error>
#include <vector>

#include "app/linux/control_protocol.h"
#include "engine/parameter_exchange.h"
#include "engine/port_finder.h"
#include "engine/window_messages.h"
#include "mapping/desktop_mapping.h"
#include "platform/linux/serial_port_list.h"
#include "settings/calibration_outcome.h"

namespace zt {
namespace {

// Where touches go, for the log.
std::string TouchMonitorText(const CTouchDriver& engine, IMonitors& monitors) {
  const std::string name = engine.Settings().monitor;
  const MonitorChoice choice = ChooseMonitor(monitors.Layout(), name);
  const PixelRect& place = choice.monitor.rect;
  if (place.IsEmpty()) {
    return "touches go to the whole screen";
  }
  const std::string where = choice.monitor.deviceName + " at " + std::to_string(place.Width()) +
                            "x" + std::to_string(place.Height()) + "+" +
                            std::to_string(place.left) + "+" + std::to_string(place.top);
  return choice.named ? "touches go to " + where
                      : "there is no monitor " + name + "; touches go to " + where;
}

std::string Joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) {
    text += (text.empty() ? "" : ", ") + name;
  }
  return text;
}

// The link's state as the log and "status" say it: the engine's words,
// naming the port also once connected.
std::string DaemonStateText(LinkState state, const std::string& port) {
  return state == LinkState::kConnected ? "Connected on " + port : LinkStateText(state, port);
}

// Whether two paths name one device (a by-id link and its ttyUSB node).
bool SameDevice(const std::string& one, const std::string& other) {
  struct stat first {};
  struct stat second {};
  return one == other || (::stat(one.c_str(), &first) == 0 && ::stat(other.c_str(), &second) == 0 &&
                          first.st_dev == second.st_dev && first.st_ino == second.st_ino);
}

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

bool CDaemonMessages::Post(WindowHandle, std::uint32_t message, std::uintptr_t wParam,
                           std::intptr_t lParam) {
  if (message != kWmNotifyMain) {
    return true;
  }
  std::string text;
  {
    const std::lock_guard<std::mutex> lock(m_lock);
    if (lParam == kNotifyLinkState) {
      m_state = static_cast<LinkState>(wParam);
      text = DaemonStateText(m_state, m_port);
    } else if (lParam == kNotifyFindDone) {
      m_found = true;
    }
  }
  m_findDone.notify_all();
  if (!text.empty()) {
    m_log.Write(text);
  }
  return true;
}

void CDaemonMessages::SetPort(const std::string& port) {
  const std::lock_guard<std::mutex> lock(m_lock);
  m_port = port;
  m_state = LinkState::kOpening;
}

std::string CDaemonMessages::Text() const {
  const std::lock_guard<std::mutex> lock(m_lock);
  return m_port.empty() ? "No port chosen: \"zeltratouch find\" looks for the touch screen"
                        : DaemonStateText(m_state, m_port);
}

void CDaemonMessages::WaitForFindDone() {
  std::unique_lock<std::mutex> lock(m_lock);
  m_findDone.wait(lock, [this] { return m_found || m_ended; });
  m_found = false;
}

void CDaemonMessages::EndFindWaits() {
  {
    const std::lock_guard<std::mutex> lock(m_lock);
    m_ended = true;
  }
  m_findDone.notify_all();
}

bool CTouchTap::Listen(Listener listener, const std::function<bool()>& first) {
  const std::lock_guard<std::mutex> lock(m_lock);
  if (first && !first()) {
    return false;
  }
  m_listener = std::move(listener);
  return true;
}

void CTouchTap::MouseEvent(std::uint32_t flags, std::int32_t dx, std::int32_t dy,
                           std::uint32_t data, std::uintptr_t extraInfo) {
  {
    const std::lock_guard<std::mutex> lock(m_lock);
    if (m_listener) {
      m_listener(flags);
      return;
    }
  }
  m_output.MouseEvent(flags, dx, dy, data, extraInfo);
}

CDaemon::CDaemon(const DaemonPlatform& platform)
    : m_log(platform.log),
      m_config(platform.config),
      m_calibrationLimitMs(platform.calibrationLimitMs),
      m_touchScreen(platform.touchScreen),
      m_store(platform.config),
      m_comm(&platform.log),
      m_tap(platform.output),
      m_messages(platform.log),
      m_lastTouch(platform.config, &platform.log, "in " + platform.config.Path()),
      m_host({m_comm, m_threads, m_tap, m_messages, platform.monitors, platform.touchScreen,
              &platform.log, &m_health},
             m_store) {
  m_health.RestoreLastTouch(m_lastTouch.Load(UnixNow()));
}

CDaemon::~CDaemon() {
  Stop();
}

bool CDaemon::Start(const std::string& unstoredPort) {
  const std::lock_guard<std::mutex> lock(m_hostLock);
  if (!m_host.LoadStartupSettings()) {
    if (m_config.Has(settings::kPort)) {
      m_host.StopDriver();
      return false;  // a port name too long to be one
    }
    m_host.m_szPort[0] = '\0';  // none named: none yet, as an empty one
  }
  if (!unstoredPort.empty()) {
    std::snprintf(m_host.m_szPort, sizeof m_host.m_szPort, "%s", unstoredPort.c_str());
  }
  FollowMetricsSetting(m_metrics, m_store.ReadTextValue(settings::kMetrics),
                       {m_files, "", &m_log, nullptr});
  const bool applied = m_host.ApplyToConnectedDriver();
  if (!applied) {
    m_host.StopDriver();
    m_messages.SetPort(m_host.m_szPort);
    if (m_host.m_szPort[0] == '\0') {
      m_log.Write(m_messages.Text());
      return true;
    }
    if (!m_host.StartDriver(0)) {
      return false;
    }
  }
  m_log.Write((applied ? "Reloaded: " : "Started: ") +
              TouchMonitorText(*m_host.Driver(), m_host.Monitors()));
  if (m_host.Driver()->TouchOutputMissing()) {
    m_log.Write(m_touchScreen == nullptr
                    ? "Output=1: a touch screen needs uinput; the pointer is used"
                    : "Output=1: the touch screen waits for the X display (its size); the "
                      "pointer meanwhile");
  }
  return true;
}

std::string CDaemon::Handle(const std::string& request, CControlPeer& peer) {
  if (request == "status") {
    return "OK " + m_messages.Text();
  }
  if (request == "reload") {
    return Reload();
  }
  if (request == "config") {
    return ConfigAnswer();
  }
  if (request == "status json") {
    return StatusJsonAnswer();
  }
  if (request == "params" || request.rfind("params set ", 0) == 0) {
    return RunJob("reading the controller's parameters", peer,
                  [this, request](CControlPeer&) { return Params(request); });
  }
  if (request == "find") {
    return RunJob("looking for the touch screen", peer, [this](CControlPeer&) { return Find(); });
  }
  if (request == "calibrate") {
    return RunJob("a calibration is running", peer,
                  [this](CControlPeer& client) { return Calibrate(client); });
  }
  return "ERR unknown request: " + request.substr(0, 40);
}

std::string CDaemon::Reload() {
  const std::lock_guard<std::mutex> lock(m_jobLock);
  if (const char* busy = m_busyWith.load()) {
    return std::string("ERR busy: ") + busy;
  }
  return StartAnswer();
}

std::string CDaemon::ReloadWhenFree() {
  const std::lock_guard<std::mutex> lock(m_jobLock);
  if (const char* busy = m_busyWith.load()) {
    m_reloadWanted = true;
    return std::string("busy: ") + busy + "; reloading when it ends";
  }
  return StartAnswer();
}

std::string CDaemon::StartAnswer() {
  return Start() ? "OK reloaded" : "ERR cannot read \"Port\" from the config";
}

std::string CDaemon::ConfigAnswer() {
  const std::vector<ConfigValue> values = m_config.Values();
  std::string answer = "OK " + std::to_string(values.size()) + " values";
  for (const ConfigValue& value : values) {
    answer += "\n" + value.name + "=" + value.value + "\t" + value.path;
  }
  return answer;
}

std::string CDaemon::RunJob(const char* name, CControlPeer& peer, Job job) {
  const std::lock_guard<std::mutex> lock(m_jobLock);
  if (const char* busy = m_busyWith.load()) {
    return std::string("ERR busy: ") + busy;
  }
  if (m_job.joinable()) {
    m_job.join();  // the one before has answered
  }
  // Shared, so that the peer is still there to be answered when the system
  // refuses the thread.
  auto shared = std::make_shared<CControlPeer>(std::move(peer));
  m_busyWith.store(name);
  try {
    m_job = std::thread([this, job = std::move(job), shared] { Work(job, *shared); });
  } catch (const std::system_error& error) {
    m_busyWith.store(nullptr);
    peer = std::move(*shared);
    m_log.Write(std::string("cannot start a worker thread: ") + error.what());
    return std::string("ERR cannot start a worker thread: ") + error.what();
  }
  return "";
}

void CDaemon::Work(const Job& job, CControlPeer& client) {
  {
    const std::lock_guard<std::mutex> lock(m_peerLock);
    m_jobPeer = &client;
  }
  std::string answer;
  try {
    answer = m_stopping.load() ? "ERR stopping" : job(client);
  } catch (const std::exception& error) {
    answer = std::string("ERR ") + error.what();
    m_log.Write(std::string("request failed: ") + error.what());
  } catch (...) {
    answer = "ERR the request failed";
    m_log.Write(answer.substr(4));
  }
  if (!answer.empty()) {
    client.Send(answer);
  }
  {
    const std::lock_guard<std::mutex> lock(m_peerLock);
    m_jobPeer = nullptr;
  }
  EndJob();
}

// A reload asked for meanwhile (SIGHUP) is done before another request may
// start; nothing is taken under m_jobLock after m_busyWith is cleared, since
// RunJob joins this thread holding it.
void CDaemon::EndJob() {
  for (;;) {
    {
      const std::lock_guard<std::mutex> lock(m_jobLock);
      if (!m_reloadWanted || m_stopping.load()) {
        m_reloadWanted = false;
        m_busyWith.store(nullptr);
        return;
      }
      m_reloadWanted = false;
    }
    m_log.Write("SIGHUP: " + StartAnswer());
  }
}

std::string CDaemon::Params(const std::string& request) {
  SensitivityParams wanted;
  const bool setting = request != "params";
  if (setting && !ParseParams(request.substr(11), wanted)) {
    return "ERR not a list of pressure, downcount, upcount, delay = 0..65535";
  }
  const std::lock_guard<std::mutex> lock(m_hostLock);
  CTouchDriver* engine = m_host.ConnectedDriver();
  if (engine == nullptr) {
    return "ERR " + m_messages.Text();
  }
  const auto sleep = [this](std::uint32_t ms) { m_threads.Sleep(ms); };
  SensitivityParams values;
  if (!ReadParameters(*engine, sleep, values)) {
    return "ERR the controller does not answer";
  }
  if (setting) {
    ParseParams(request.substr(11), values);
    engine->SendParameters(values);
    if (!ReadParameters(*engine, sleep, values)) {
      return "ERR the controller does not answer";
    }
  }
  return ParamsAnswer(values);
}

std::string CDaemon::Find() {
  std::string current;
  {
    const std::lock_guard<std::mutex> lock(m_hostLock);
    if (m_host.ConnectedDriver() != nullptr) {
      return "OK " + m_messages.Text();
    }
    current = m_host.m_szPort;
  }
  std::vector<std::string> patterns = kSerialPortPatterns;
  if (const std::string stored = m_store.ReadTextValue(kFindPortsName); !stored.empty()) {
    std::istringstream words(stored);
    patterns.assign(std::istream_iterator<std::string>(words), {});
  }
  std::vector<std::string> ports = ListSerialPorts(patterns);
  std::erase_if(ports, [&](const std::string& port) {
    return !current.empty() && SameDevice(port, current);  // its engine holds it
  });
  if (ports.empty()) {
    return "ERR no serial port to look on: " + Joined(patterns);
  }
  CPortFinder finder(m_comm, m_threads, m_messages);
  std::string found;
  if (!finder.Start(ports, 0)) {
    return "ERR cannot look for the touch screen";
  }
  m_messages.WaitForFindDone();
  if (m_stopping.load()) {
    finder.Stop();
    return "ERR stopping";
  }
  finder.TakeResult(found);
  if (found.empty()) {
    return "ERR no touch screen on " + Joined(ports);
  }
  if (!m_store.SavePort(found.c_str())) {
    Start(found);  // the touch screen works meanwhile
    const std::string why = "it cannot be stored in " + m_config.Path() + ": used until a reload";
    m_log.Write("found on " + found + ", but " + why);
    return "OK found on " + found + ", but " + why;
  }
  Start();
  return "OK found on " + found;
}

std::string CDaemon::Calibrate(CControlPeer& peer) {
  CTouchDriver* engine = nullptr;
  std::optional<std::string> monitor;  // none: touches span the whole screen
  {
    const std::lock_guard<std::mutex> lock(m_hostLock);
    engine = m_host.ConnectedDriver();
    if (engine == nullptr) {
      return "ERR " + m_messages.Text();
    }
    if (!m_host.Monitors().Layout().monitors.empty()) {
      monitor = engine->Settings().monitor;
    }
  }
  // The engine stays while this runs: reload and find are refused as busy,
  // and a stop ends the run before it stops the engine.
  engine->ReleaseTouch();
  engine->SetPlainTouches(true);
  // The touches are the client's from its answer on: a touch it makes at
  // once must not reach the pointer.
  const std::string start = CalibrationStartAnswer(engine->Calibration(), monitor);
  const bool started = m_tap.Listen(
      [engine, &peer](std::uint32_t flags) {
        const std::string line = TouchLine(flags, engine->GetRawPoint());
        if (!peer.Send(line, 200)) {
          peer.Shutdown();  // a client that does not read ends its run
        }
      },
      [&peer, &start] { return peer.Send(start); });
  if (!started) {
    engine->SetPlainTouches(false);
    return "";
  }
  // The session's length is bounded from its start: neither touches nor
  // the client's lines lengthen it.
  const std::int64_t deadline = NowMs() + m_calibrationLimitMs;
  std::string answer = "ERR the calibration ended without an outcome";
  std::optional<std::string> chosen;
  for (std::string line;;) {
    const std::int64_t left = deadline - NowMs();
    if (left <= 0 || !peer.WaitForLine(static_cast<int>(left))) {
      m_log.Write("a calibration ended: it was still running after " +
                  std::to_string(m_calibrationLimitMs / 1000) + " s");
      answer = "ERR the calibration took too long and was ended";
      break;
    }
    if (!peer.ReadLine(line)) {
      break;
    }
    if (line.rfind("monitor ", 0) == 0 && !chosen) {
      chosen = line.substr(8);
      continue;
    }
    answer = line.rfind("monitor ", 0) == 0 ? "ERR one monitor line only, before the outcome"
                                            : EndCalibration(*engine, line, chosen.value_or(""));
    break;
  }
  m_tap.Listen(nullptr);
  engine->SetPlainTouches(false);
  return answer;
}

std::string CDaemon::EndCalibration(CTouchDriver& engine, const std::string& line,
                                    const std::string& monitor) {
  CCalibrationRun::Outcome outcome;
  if (!ParseOutcome(line, outcome)) {
    return "ERR not a calibration outcome: " + line.substr(0, 40);
  }
  const std::lock_guard<std::mutex> lock(m_hostLock);
  if (!settings::KeepCalibrationOutcome(engine, m_store, outcome, monitor)) {
    return "ERR the calibration is in use, but cannot be written to " + m_config.Path();
  }
  return outcome.storePoints || outcome.storeMapping ? "OK calibration stored"
                                                     : "OK nothing changed";
}

// The touch screen's contact is cancelled as the system cancels it on
// Windows, in the engine's step, so that no report falls between the two.
void CDaemon::DisplayChanged() {
  const std::lock_guard<std::mutex> lock(m_hostLock);
  if (CTouchDriver* engine = m_host.Driver(); engine != nullptr) {
    engine->DisplayChanged([this] {
      if (m_touchScreen != nullptr) {
        m_touchScreen->CancelContact();
      }
    });
    m_log.Write("The monitors changed: " + TouchMonitorText(*engine, m_host.Monitors()));
  }
}

void CDaemon::DisplayOpened() {
  bool touchWaits = false;
  {
    const std::lock_guard<std::mutex> lock(m_hostLock);
    const CTouchDriver* engine = m_host.Driver();
    touchWaits = m_touchScreen != nullptr && engine != nullptr && engine->TouchOutputMissing();
  }
  if (touchWaits) {
    m_log.Write("The touch screen: " + ReloadWhenFree());
  }
  DisplayChanged();
}

void CDaemon::Stop() {
  m_stopping.store(true);
  {
    const std::lock_guard<std::mutex> lock(m_peerLock);
    if (m_jobPeer != nullptr) {
      m_jobPeer->Shutdown();
    }
  }
  m_messages.EndFindWaits();
  if (m_job.joinable()) {
    m_job.join();
  }
  const std::lock_guard<std::mutex> lock(m_hostLock);
  m_host.StopDriver();
}

void CDaemon::CompleteHealth() {
  const CTouchDriver* engine = m_host.Driver();
  m_health.SetTouchOutput(engine != nullptr && engine->Settings().output == kOutputTouch &&
                          !engine->TouchOutputMissing());
  m_health.SetCalibrationStored(m_store.CalibrationStored());
}

std::string CDaemon::StatusJsonAnswer() {
  const std::lock_guard<std::mutex> lock(m_hostLock);
  CompleteHealth();
  return "OK " + StatusJson(m_health.Figures());
}

void CDaemon::UpdateHealth() {
  m_lastTouch.Update(m_health.Figures().lastTouch, UnixNow());
  const std::lock_guard<std::mutex> lock(m_hostLock);
  if (!m_metrics) {
    return;
  }
  CompleteHealth();
  m_metrics->Update(m_health, UnixNow());
}

void CDaemon::WriteHealthStopped() {
  m_lastTouch.Flush(m_health.Figures().lastTouch);
  const std::lock_guard<std::mutex> lock(m_hostLock);
  if (m_metrics) {
    m_metrics->WriteStopped(m_health);
  }
}

}  // namespace zt
