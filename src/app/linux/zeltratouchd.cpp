// zeltratouchd: the touch engine as a Linux daemon. Reads the config file,
// opens the controller's port (waiting for it and healing a lost link as
// on Windows), moves the pointer through uinput or XTest on the monitor
// XRandR names, answers the control socket and logs one line per event
// worth knowing to standard error (the journal under systemd).
//   zeltratouchd [--config PATH] [--output uinput|xtest] [--foreground]
#include <signal.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <set>
#include <string>
#include <thread>

#include "app/linux/daemon.h"
#include "platform/linux/uinput_touch_screen.h"
#include "platform/linux/xrandr_monitors.h"
#include "platform/linux/xtest_input.h"

namespace {

constexpr char kDefaultConfig[] = "/etc/zeltratouch/zeltratouch.conf";
constexpr char kDefaultControl[] = "/run/zeltratouch/control";
constexpr char kGroup[] = "zeltratouch";

class StderrLog final : public zt::ILog {
public:
  void Write(std::string_view line) override { std::cerr << "zeltratouchd: " << line << std::endl; }
};

int Usage() {
  std::cerr << "usage: zeltratouchd [--config PATH] [--output uinput|xtest] [--foreground]\n";
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

}  // namespace

int main(int argc, char** argv) {
  std::string config = kDefaultConfig;
  std::string output;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--config" && i + 1 < argc) {
      config = argv[++i];
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
  zt::ConfigFileRegistry registry(config, textNames, &log);

  // Monitors where there is a display; without one, absolute units span
  // the whole screen (an empty layout).
  zt::XRandrMonitors monitors;
  const char* display = std::getenv("DISPLAY");
  const bool hasDisplay = display != nullptr && monitors.Open("");
  zt::UinputNode pointerNode;
  zt::UinputInput uinput(pointerNode);
  zt::XTestInput xtest;
  const bool useUinput = output != "xtest" && uinput.Create();
  if (!useUinput && (output == "uinput" || !xtest.Open(""))) {
    log.Write(output == "uinput"
                  ? "cannot make the uinput pointer (/dev/uinput)"
                  : "neither uinput nor an X display with XTest to move the pointer");
    return 1;
  }
  log.Write(useUinput ? std::string("Output: the uinput pointer")
                      : std::string("Output: XTest on the display ") + (display ? display : ""));
  zt::UinputNode touchNode;
  zt::UinputTouchScreen touchScreen(touchNode, monitors);
  zt::CDaemon daemon({registry, useUinput ? static_cast<zt::IInput&>(uinput) : xtest, monitors,
                      useUinput && hasDisplay ? &touchScreen : nullptr, log});
  if (!daemon.Start()) {
    log.Write("cannot read \"Port\" from " + config);
    return 1;
  }

  zt::CControlServer server;
  const std::string stored = zt::settings::CSettingsStore(registry).ReadTextValue(zt::kControlName);
  const std::string control = stored.empty() ? kDefaultControl : stored;
  std::error_code ignored;
  std::filesystem::create_directories(std::filesystem::path(control).parent_path(), ignored);
  if (!server.Listen(control, kGroup)) {
    log.Write("cannot make the control socket " + control + ": " + std::strerror(errno));
    return 1;
  }
  // SIGHUP reloads the settings; SIGTERM and SIGINT end the daemon.
  std::thread signals([&] {
    for (int signal = 0; sigwait(&taken, &signal) == 0 && signal == SIGHUP;) {
      log.Write("SIGHUP: " + daemon.Reload());
    }
    server.Stop();
  });
  std::thread displayChanges([&] {
    while (hasDisplay && monitors.WaitForChange()) {
      daemon.DisplayChanged();
    }
  });
  server.Serve([&](const std::string& request, zt::CControlPeer& peer) {
    return daemon.Handle(request, peer);
  });
  ::kill(::getpid(), SIGTERM);  // ends the signal thread when the loop ended by itself
  signals.join();
  monitors.Stop();
  displayChanges.join();
  daemon.Stop();
  log.Write("stopped");
  return 0;
}
