// zeltratouchd: the touch engine as a Linux daemon. Reads the config files,
// opens the controller's port (waiting for it and healing a lost link as
// on Windows), moves the pointer through uinput or XTest on the monitor
// XRandR names (waiting for the X display and following it when it goes
// and comes back), answers the control socket and logs one line per event
// worth knowing to standard error (the journal under systemd).
//   zeltratouchd [--config PATH] [--state PATH] [--output uinput|xtest]
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <future>
#include <iostream>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>

#include "app/linux/daemon.h"
#include "platform/linux/uinput_touch_screen.h"
#include "platform/linux/xrandr_monitors.h"
#include "platform/linux/xtest_input.h"

namespace {

constexpr char kDefaultConfig[] = "/etc/zeltratouch/zeltratouch.conf";
constexpr char kStateFile[] = "zeltratouch.conf";
constexpr char kDefaultStateFolder[] = "/var/lib/zeltratouch";
constexpr char kDefaultControl[] = "/run/zeltratouch/control";
constexpr char kGroup[] = "zeltratouch";
constexpr int kDisplayRetryMs = 1000;
constexpr int kDisplayRetryMaxMs = 60000;
constexpr char kUsage[] =
    "usage: zeltratouchd [--config PATH] [--state PATH] [--output uinput|xtest] [--foreground]\n"
    "       zeltratouchd --help | --version\n";

class StderrLog final : public zt::ILog {
public:
  // One write a line, so that lines from several threads never mix.
  void Write(std::string_view line) override {
    const std::string text = "zeltratouchd: " + std::string(line) + "\n";
    static_cast<void>(::write(STDERR_FILENO, text.data(), text.size()));
  }
};

int Usage() {
  std::cerr << kUsage;
  return 2;
}

// Blocks the signals the daemon takes (reload, end) in every thread, to be
// taken by sigwait.
sigset_t BlockDaemonSignals() {
  sigset_t taken;
  sigemptyset(&taken);
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
    sigaddset(&taken, signal);
  }
  pthread_sigmask(SIG_BLOCK, &taken, nullptr);
  return taken;
}

// Tells systemd the daemon is ready (Type=notify): READY=1 to the datagram
// socket NOTIFY_SOCKET names, where a leading '@' is the abstract namespace.
void NotifyReady() {
  const char* path = std::getenv("NOTIFY_SOCKET");
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::size_t length = path == nullptr ? 0 : std::strlen(path);
  if (length == 0 || length >= sizeof address.sun_path) {
    return;
  }
  std::memcpy(address.sun_path, path, length);
  if (address.sun_path[0] == '@') {
    address.sun_path[0] = '\0';
  }
  const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  constexpr char kReady[] = "READY=1";
  if (fd >= 0) {
    [[maybe_unused]] const ssize_t sent = ::sendto(
        fd, kReady, sizeof kReady - 1, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&address),
        static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + length));
    ::close(fd);
  }
}

// How long a calibration session may last: ZT_CALIBRATION_LIMIT_MS where
// it is set (tests shorten it), the run's bound otherwise.
std::int64_t CalibrationLimitMs() {
  const char* given = std::getenv("ZT_CALIBRATION_LIMIT_MS");
  const long long limit = given != nullptr ? std::strtoll(given, nullptr, 10) : 0;
  return limit > 0 ? limit : zt::kCalibrationLimitMs;
}

// Opens the monitors' and XTest's connections; false (both closed) when
// one cannot be opened.
bool OpenDisplay(zt::XRandrMonitors& monitors, zt::XTestInput* xtest) {
  if (monitors.Open("") && (xtest == nullptr || xtest->Open(""))) {
    return true;
  }
  monitors.Close();
  return false;
}

// The X display's life: waited for while it cannot be opened (the reason
// logged once per change), its monitors followed while it is there, and
// let go of when it is lost, to be waited for again. tried: called once,
// after the first try to open it.
void FollowDisplay(const std::string& display, zt::XRandrMonitors& monitors, zt::XTestInput* xtest,
                   zt::CDaemon& daemon, zt::ILog& log, const std::function<void()>& tried) {
  std::string said;
  bool first = true;
  int pauseMs = kDisplayRetryMs;
  do {
    const bool open = OpenDisplay(monitors, xtest);
    if (std::exchange(first, false)) {
      tried();
    }
    if (!open) {
      const std::string why = zt::WhyNoDisplay("");
      // Each refused try has Xlib write its reason to standard error (the
      // journal): a server that keeps refusing is tried less and less often.
      const bool refused = why == said && why.rfind("no X server", 0) != 0;
      pauseMs = refused ? std::min(pauseMs * 2, kDisplayRetryMaxMs) : kDisplayRetryMs;
      if (why != said) {
        log.Write("waiting for the X display " + display + ": " + why);
        said = why;
      }
      continue;
    }
    pauseMs = kDisplayRetryMs;
    said.clear();
    log.Write("The X display " + display + " is open");
    daemon.DisplayOpened();
    while (monitors.WaitForChange()) {
      daemon.DisplayChanged();
    }
    if (!monitors.Lost()) {
      return;  // stopped
    }
    monitors.Close();
    if (xtest != nullptr) {
      xtest->Close();
    }
    log.Write("The X display " + display + " went away; waiting for it");
    daemon.DisplayChanged();
  } while (monitors.Pause(pauseMs));
}

// The thread that follows the X display. An X server that takes the
// connection but never answers holds it inside Xlib for good: the daemon
// neither waits for it to start nor to end.
class DisplayThread {
public:
  // Starts following display and waits a moment for its first try, so that
  // a display that is up already gives the engine its monitors at start.
  void Start(const std::string& display, zt::XRandrMonitors& monitors, zt::XTestInput* xtest,
             zt::CDaemon& daemon, zt::ILog& log) {
    std::promise<void> tried;
    std::future<void> firstTry = tried.get_future();
    m_ended = m_end.get_future();
    m_thread = std::thread([&, display, xtest, tried = std::move(tried)]() mutable {
      try {
        FollowDisplay(display, monitors, xtest, daemon, log, [&tried] { tried.set_value(); });
      } catch (const std::exception& error) {
        log.Write(std::string("the X display's thread ended: ") + error.what());
      }
      m_end.set_value();
    });
    firstTry.wait_for(kFirstDisplayTry);
  }
  // Asks it to end (monitors.Stop) and waits a moment; false: it is stuck
  // in the X server, and the process must end without destructors.
  bool End(zt::XRandrMonitors& monitors) {
    monitors.Stop();
    if (!m_thread.joinable()) {
      return true;
    }
    if (m_ended.wait_for(kFirstDisplayTry) != std::future_status::ready) {
      m_thread.detach();
      return false;
    }
    m_thread.join();
    return true;
  }

private:
  static constexpr std::chrono::seconds kFirstDisplayTry{2};
  std::thread m_thread;
  std::promise<void> m_end;
  std::future<void> m_ended;
};

// main's end with status: without destructors when the display's thread is
// stuck in the X server.
int Ended(DisplayThread& displayThread, zt::XRandrMonitors& monitors, int status) {
  if (!displayThread.End(monitors)) {
    std::_Exit(status);
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  std::string config = kDefaultConfig;
  const char* stateFolder = std::getenv("STATE_DIRECTORY");  // systemd's StateDirectory
  std::string state =
      std::string(stateFolder != nullptr ? stateFolder : kDefaultStateFolder) + "/" + kStateFile;
  std::string output;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--help" || option == "-h") {
      std::cout << kUsage;
      return 0;
    }
    if (option == "--version") {
      std::cout << "zeltratouchd " << ZT_VERSION_STRING << "\n";
      return 0;
    }
    if (option == "--config" && i + 1 < argc) {
      config = argv[++i];
    } else if (option == "--state" && i + 1 < argc) {
      state = argv[++i];
    } else if (option == "--output" && i + 1 < argc) {
      output = argv[++i];
    } else if (option != "--foreground") {  // it always runs in the foreground
      return Usage();
    }
  }
  if (!output.empty() && output != "uinput" && output != "xtest") {
    return Usage();
  }
  sigset_t taken = BlockDaemonSignals();

  StderrLog log;
  std::set<std::string> textNames(std::begin(zt::settings::kTextValueNames),
                                  std::end(zt::settings::kTextValueNames));
  textNames.insert({zt::kControlName, zt::kFindPortsName});
  const std::string dropIns = (std::filesystem::path(config).parent_path() / "conf.d").string();
  zt::ConfigFileRegistry registry({config, dropIns, state}, textNames, &log);

  // Monitors while there is a display; without one, absolute units span
  // the whole screen (an empty layout).
  const char* display = std::getenv("DISPLAY");
  const bool hasDisplay = display != nullptr && display[0] != '\0';
  zt::XRandrMonitors monitors;
  zt::UinputNode pointerNode;
  zt::UinputInput uinput(pointerNode);
  zt::XTestInput xtest;
  const bool useUinput = output != "xtest" && uinput.Create();
  // Read at once: errno is the failed call's only until the next call.
  const std::string uinputWhy = output == "xtest" ? std::string("not used with --output xtest")
                                : useUinput       ? std::string()
                                                  : std::string(std::strerror(errno));
  if (!useUinput && (output == "uinput" || !hasDisplay)) {
    log.Write(output == "uinput"
                  ? "cannot make the uinput pointer (/dev/uinput): " + uinputWhy
                  : "neither uinput (/dev/uinput: " + uinputWhy +
                        ") nor an X display (DISPLAY) with XTest to move the pointer");
    return 1;
  }
  if (!useUinput && output.empty()) {
    log.Write("no uinput pointer (/dev/uinput: " + uinputWhy + ")");
  }
  log.Write(useUinput ? std::string("Output: the uinput pointer")
                      : std::string("Output: XTest on the display ") + display);
  zt::XTestInput* xtestOutput = useUinput ? nullptr : &xtest;
  zt::UinputNode touchNode;
  zt::UinputTouchScreen touchScreen(touchNode, monitors);
  zt::CDaemon daemon({registry, useUinput ? static_cast<zt::IInput&>(uinput) : xtest, monitors,
                      useUinput ? &touchScreen : nullptr, log, CalibrationLimitMs()});
  DisplayThread displayThread;
  if (hasDisplay) {
    displayThread.Start(display, monitors, xtestOutput, daemon, log);
  }
  if (!daemon.Start()) {
    log.Write("cannot read \"Port\" from the config");
    return Ended(displayThread, monitors, 1);
  }

  zt::CControlServer server;
  const std::string stored = zt::settings::CSettingsStore(registry).ReadTextValue(zt::kControlName);
  const std::string control = stored.empty() ? kDefaultControl : stored;
  std::error_code ignored;
  std::filesystem::create_directories(std::filesystem::path(control).parent_path(), ignored);
  if (!server.Listen(control, kGroup)) {
    log.Write("cannot make the control socket " + control + ": " + std::strerror(errno));
    return Ended(displayThread, monitors, 1);
  }
  NotifyReady();
  // SIGHUP reloads the settings; SIGTERM and SIGINT end the daemon.
  std::thread signals([&] {
    for (int signal = 0; sigwait(&taken, &signal) == 0 && signal == SIGHUP;) {
      try {
        log.Write("SIGHUP: " + daemon.ReloadWhenFree());
      } catch (const std::exception& error) {
        log.Write(std::string("SIGHUP: ") + error.what());
      }
    }
    server.Stop();
  });
  // The health (the metrics file, the last touch's time) is kept up to date
  // about once a second.
  std::mutex metricsLock;
  std::condition_variable metricsWake;
  bool ending = false;
  std::thread metricsThread([&] {
    std::unique_lock<std::mutex> lock(metricsLock);
    while (!metricsWake.wait_for(lock, std::chrono::seconds(1), [&] { return ending; })) {
      lock.unlock();
      try {
        daemon.UpdateHealth();
      } catch (const std::exception& error) {
        log.Write(std::string("metrics: ") + error.what());
      }
      lock.lock();
    }
  });
  server.Serve([&](const std::string& request, zt::CControlPeer& peer) {
    try {
      return daemon.Handle(request, peer);
    } catch (const std::exception& error) {
      log.Write(std::string("request failed: ") + error.what());
      return std::string("ERR ") + error.what();
    }
  });
  ::kill(::getpid(), SIGTERM);  // ends the signal thread when the loop ended by itself
  signals.join();
  {
    const std::lock_guard<std::mutex> lock(metricsLock);
    ending = true;
  }
  metricsWake.notify_all();
  metricsThread.join();
  // The health's last writes come after the engine has stopped, so that a
  // touch begun while it stops is kept.
  const bool displayEnded = displayThread.End(monitors);
  daemon.Stop();
  daemon.WriteHealthStopped();
  log.Write("stopped");
  if (!displayEnded || daemon.LeftThreadsRunning()) {
    std::_Exit(0);  // a thread still inside a driver or X call may use what main owns
  }
  return 0;
}
