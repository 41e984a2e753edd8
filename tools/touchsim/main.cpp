// touchsim: plays the touch controller on a pseudo-terminal or serial device.

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <functional>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "controller_model.h"
#include "logger.h"
#include "options.h"
#include "pty_line.h"
#include "simulator.h"
#include "touch_script.h"

namespace zt::touchsim {
namespace {

// Time the other side gets to read what was sent before the line closes.
constexpr std::int32_t kDrainMs = 100;

// Turns SIGINT, SIGTERM and SIGHUP into a call on a thread of its own. The
// signals are blocked from construction on, so every thread started later
// leaves them to the watcher.
class SignalWatcher {
public:
  SignalWatcher() {
    sigemptyset(&m_signals);
    sigaddset(&m_signals, SIGINT);
    sigaddset(&m_signals, SIGTERM);
    sigaddset(&m_signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &m_signals, nullptr);
    signal(SIGPIPE, SIG_IGN);
  }
  SignalWatcher(const SignalWatcher&) = delete;
  SignalWatcher& operator=(const SignalWatcher&) = delete;
  ~SignalWatcher() { Stop(); }

  void Start(std::function<void()> onSignal) {
    m_thread = std::thread([this, onSignal = std::move(onSignal)] {
      const timespec pollInterval{0, 100'000'000};
      while (!m_done.load(std::memory_order_acquire)) {
        if (sigtimedwait(&m_signals, nullptr, &pollInterval) > 0) {
          onSignal();
        }
      }
    });
  }

  void Stop() {
    m_done.store(true, std::memory_order_release);
    if (m_thread.joinable()) {
      m_thread.join();
    }
  }

private:
  sigset_t m_signals{};
  std::atomic<bool> m_done{false};
  std::thread m_thread;
};

bool OpenLine(const Options& options, PtyLine& line, std::string& error) {
  return options.device.empty() ? line.OpenPseudoTerminal(error)
                                : line.OpenDevice(options.device, error);
}

void Configure(const Options& options, Simulator& simulator, ControllerModel& controller) {
  simulator.SetReportRate(options.reportRate);
  simulator.SetJitter(options.jitter);
  simulator.SetPaced(options.paced);
  simulator.SetPanel(options.panel);
  if (options.noiseSeed) {
    simulator.SeedNoise(*options.noiseSeed);
  }
  controller.SetSilent(options.silent);
  controller.SetReplyDelayMs(options.replyDelayMs);
}

ScriptRunner::Outcome RunCommands(const Options& options, std::istream& script,
                                  Simulator& simulator, ScriptRunner& runner) {
  using Outcome = ScriptRunner::Outcome;
  Outcome outcome = Outcome::kEnded;
  if (!options.scriptFile.empty()) {
    StreamLineSource source(script, options.scriptFile);
    outcome = runner.Run(source);
    if (options.exitAfterScript) {
      return outcome;
    }
  }
  if (outcome == Outcome::kEnded) {
    FdLineSource source(STDIN_FILENO, "<stdin>", [&] { return simulator.StopRequested(); });
    outcome = runner.Run(source);
  }
  return outcome;
}

void WaitForStop(Simulator& simulator) {
  while (!simulator.StopRequested()) {
    simulator.Wait(60'000);
  }
}

int Run(const Options& options) {
  Logger log(std::cerr);
  log.SetVerbose(options.verbose);
  SignalWatcher signals;
  std::string error;

  ControllerModel controller;
  if (!options.eepromFile.empty() && !controller.AttachEepromFile(options.eepromFile, error)) {
    log.Error(error);
    return 1;
  }
  std::ifstream script;
  if (!options.scriptFile.empty()) {
    script.open(options.scriptFile);
    if (!script) {
      log.Error("cannot open the script " + options.scriptFile);
      return 1;
    }
  }
  PtyLine line;
  PortLink link;
  if (!OpenLine(options, line, error) ||
      (!options.linkPath.empty() && !link.Create(options.linkPath, line.PeerPath(), error))) {
    log.Error(error);
    return 1;
  }
  std::cout << line.PeerPath() << std::endl;

  Simulator simulator(line, controller, log);
  Configure(options, simulator, controller);
  signals.Start([&] { simulator.RequestStop(); });
  simulator.Start();

  ScriptRunner runner(simulator, controller, log);
  const ScriptRunner::Outcome outcome = RunCommands(options, script, simulator, runner);
  if (outcome == ScriptRunner::Outcome::kEnded && options.keepOpen) {
    WaitForStop(simulator);
  }
  simulator.Drain(kDrainMs);
  simulator.Stop();
  signals.Stop();
  return runner.RejectedLines() > 0 ? 1 : 0;
}

}  // namespace
}  // namespace zt::touchsim

int main(int argc, char** argv) {
  using namespace zt::touchsim;
  const std::vector<std::string> args(argv + 1, argv + argc);
  Options options;
  std::string error;
  if (!ParseOptions(args, options, error)) {
    std::cerr << "touchsim: " << error << "\n(touchsim --help lists the options)\n";
    return 2;
  }
  if (options.help) {
    std::cout << UsageText();
    return 0;
  }
  return Run(options);
}
