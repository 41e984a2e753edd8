// zeltratouchd: the touch engine as a Linux daemon. Reads the config file,
// opens the controller's port (waiting for it and healing a lost link as
// on Windows), moves the pointer through uinput or XTest, answers the
// control socket (status, reload, params) and logs one line per event worth knowing
// to standard error (the journal under systemd).
//   zeltratouchd [--config PATH] [--output uinput|xtest] [--foreground]
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <set>
#include <string>
#include <thread>

#include "engine/parameter_exchange.h"
#include "engine/touch_host.h"
#include "engine/window_messages.h"
#include "platform/linux/config_file_registry.h"
#include "platform/linux/control_server.h"
#include "platform/linux/termios_comm_device.h"
#include "platform/linux/uinput_input.h"
#include "platform/linux/xtest_input.h"
#include "platform/std_threads.h"
#include "settings/registry_key.h"
#include "settings/settings_store.h"

namespace {

constexpr char kDefaultConfig[] = "/etc/zeltratouch/zeltratouch.conf";
constexpr char kDefaultControl[] = "/run/zeltratouch/control";
constexpr char kControlName[] = "Control";
constexpr char kGroup[] = "zeltratouch";

class StderrLog final : public zt::ILog {
public:
  void Write(std::string_view line) override { std::cerr << "zeltratouchd: " << line << std::endl; }
};

// Where the link stands, in the words of the log and of "status".
std::string StateText(zt::LinkState state, const std::string& port) {
  switch (state) {
    case zt::LinkState::kOpening:
      return "Opening " + port;
    case zt::LinkState::kConnected:
      return "Connected on " + port;
    case zt::LinkState::kWaiting:
      return "Waiting for " + port + " \xE2\x80\x94 retrying";
    case zt::LinkState::kCantOpen:
      return "Can't open " + port;
    case zt::LinkState::kRetrying:
      return "No touch screen on " + port + " \xE2\x80\x94 retrying";
    case zt::LinkState::kLost:
      break;
  }
  return "No touch screen on " + port;
}

// The engine's notifications: each change of the link is logged.
class LinkLog final : public zt::IMessages {
public:
  LinkLog(zt::ILog& log, const char* port) : m_log(log), m_port(port) {}
  // The port the texts name (the host's, which it loads at each start).
  bool Post(zt::WindowHandle, std::uint32_t message, std::uintptr_t wParam,
            std::intptr_t lParam) override {
    if (message == zt::kWmNotifyMain && lParam == zt::kNotifyLinkState) {
      m_state.store(static_cast<zt::LinkState>(wParam));
      m_log.Write(Text());
    }
    return true;
  }
  std::string Text() const { return StateText(m_state.load(), m_port); }

private:
  zt::ILog& m_log;
  const char* m_port;
  std::atomic<zt::LinkState> m_state{zt::LinkState::kOpening};
};

// The whole screen: absolute units span it, for uinput and XTest alike.
class WholeScreen final : public zt::IMonitors {
public:
  zt::DesktopLayout Layout() override { return {}; }
};

std::string ControlPath(zt::IRegistry& registry) {
  zt::CRegistryKey key(registry);
  char path[zt::settings::kTextSize] = {};
  std::uint32_t size = sizeof path - 1;
  const bool stored = key.Open(zt::settings::kSettingsKey.root, zt::settings::kSettingsKey.subKey,
                               zt::reg::kKeyQueryValue) &&
                      key.QueryValue(kControlName, path, size) && path[0] != '\0';
  return stored ? path : kDefaultControl;
}

// The controller's four EEPROM values, as "params" shows and sets them.
constexpr const char* kParamNames[] = {"pressure", "downcount", "upcount", "delay"};

std::string ParamsText(const zt::SensitivityParams& values) {
  const std::int32_t numbers[] = {values.pressure, values.downCount, values.upCount,
                                  values.stabilizationDelay};
  std::string text = "OK";
  for (std::size_t i = 0; i < std::size(numbers); ++i) {
    text += std::string(" ") + kParamNames[i] + "=" + std::to_string(numbers[i]);
  }
  return text;
}

// "name=N,name=N": the values given replace those in values; false for an
// unknown name or a number outside 0..65535.
bool ParseParams(const std::string& list, zt::SensitivityParams& values) {
  std::int32_t* fields[] = {&values.pressure, &values.downCount, &values.upCount,
                            &values.stabilizationDelay};
  std::size_t at = 0;
  while (at <= list.size()) {
    const std::size_t end = std::min(list.find(',', at), list.size());
    const std::string item = list.substr(at, end - at);
    const std::size_t equals = item.find('=');
    const auto name =
        std::find(std::begin(kParamNames), std::end(kParamNames), item.substr(0, equals));
    char* rest = nullptr;
    const long value =
        equals == std::string::npos ? -1 : std::strtol(item.c_str() + equals + 1, &rest, 10);
    if (name == std::end(kParamNames) || value < 0 || value > 65535 || rest == nullptr ||
        *rest != '\0' || equals + 1 == item.size()) {
      return false;
    }
    *fields[name - std::begin(kParamNames)] = static_cast<std::int32_t>(value);
    at = end + 1;
  }
  return true;
}

int Usage() {
  std::cerr << "usage: zeltratouchd [--config PATH] [--output uinput|xtest] [--foreground]\n";
  return 2;
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
  // Signals end the daemon through the control socket's loop.
  sigset_t ending;
  sigemptyset(&ending);
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
    sigaddset(&ending, signal);
  }
  pthread_sigmask(SIG_BLOCK, &ending, nullptr);

  StderrLog log;
  std::set<std::string> textNames(std::begin(zt::settings::kTextValueNames),
                                  std::end(zt::settings::kTextValueNames));
  textNames.insert(kControlName);
  zt::ConfigFileRegistry registry(config, textNames, &log);
  zt::settings::CSettingsStore store(registry);

  zt::UinputNode node;
  zt::UinputInput uinput(node);
  zt::XTestInput xtest;
  const bool useUinput = output != "xtest" && uinput.Create();
  if (!useUinput && (output == "uinput" || !xtest.Open(""))) {
    log.Write(output == "uinput"
                  ? "cannot make the uinput pointer (/dev/uinput)"
                  : "neither uinput nor an X display with XTest to move the pointer");
    return 1;
  }
  zt::IInput& input = useUinput ? static_cast<zt::IInput&>(uinput) : xtest;

  zt::TermiosCommDevice comm;
  zt::StdThreads threads;
  WholeScreen monitors;
  static char port[zt::CSerialConfig::kPortNameSize] = {};
  LinkLog messages(log, port);
  zt::CTouchHost host({comm, threads, input, messages, monitors, nullptr, &log}, store);
  // The port's name is copied while no engine reads it.
  const auto start = [&] {
    host.StopDriver();
    const bool loaded = host.LoadStartupSettings();
    std::memcpy(port, host.m_szPort, sizeof port);
    return loaded && host.StartDriver(0);
  };
  if (!start()) {
    log.Write("no port to open: \"Port\" is missing from " + config +
              ", or the file cannot be read");
    return 1;
  }

  zt::CControlServer server;
  const std::string control = ControlPath(registry);
  std::filesystem::create_directories(std::filesystem::path(control).parent_path());
  if (!server.Listen(control, kGroup)) {
    log.Write("cannot make the control socket " + control + ": " + std::strerror(errno));
    return 1;
  }
  std::thread signals([&] {
    int signal = 0;
    sigwait(&ending, &signal);
    server.Stop();
  });
  server.Serve([&](const std::string& request) -> std::string {
    if (request == "status") {
      return "OK " + messages.Text();
    }
    if (request == "reload") {
      return start() ? "OK reloaded" : "ERR no port to open";
    }
    if (request == "params" || request.rfind("params set ", 0) == 0) {
      zt::CTouchDriver* engine = host.ConnectedDriver();
      zt::SensitivityParams values;
      const auto sleep = [&](std::uint32_t ms) { threads.Sleep(ms); };
      if (engine == nullptr || !zt::ReadParameters(*engine, sleep, values)) {
        return engine == nullptr ? "ERR " + messages.Text() : "ERR the controller does not answer";
      }
      if (request != "params") {
        if (!ParseParams(request.substr(11), values)) {
          return "ERR not a list of pressure, downcount, upcount, delay = 0..65535";
        }
        engine->SendParameters(values);
        if (!zt::ReadParameters(*engine, sleep, values)) {
          return "ERR the controller does not answer";
        }
      }
      return ParamsText(values);
    }
    return "ERR unknown request: " + request.substr(0, 40);
  });
  ::kill(::getpid(), SIGTERM);  // ends the signal thread when the loop ended by itself
  signals.join();
  log.Write("stopped");
  return 0;
}
