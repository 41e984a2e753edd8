#include "engine/touch_host.h"

#include <cstring>
#include <new>
#include <utility>

namespace zt {
namespace {

// The engine's reads wait for their bytes without a time-out (the reader
// sleeps until a byte comes); writes give up after a second.
constexpr std::uint32_t kReadTimeoutMs = 0;
constexpr std::uint32_t kWriteTimeoutMs = 1000;

}  // namespace

CTouchHost::CTouchHost(const EnginePlatform& platform, ISettingsSource& settings)
    : m_platform(platform), m_settings(settings) {}

CTouchHost::~CTouchHost() {
  StopDriver();
}

// The engine opens its port on its own thread: an open that blocks (a
// Bluetooth port failing slowly) never holds up the window.
bool CTouchHost::StartDriver(WindowHandle notifyWindow) {
  if (m_szPort[0] == '\0') {
    return false;
  }
  StopDriver();
  std::unique_ptr<CTouchDriver> driver(new (std::nothrow) CTouchDriver(m_platform));
  EngineSettings settings;
  if (!driver || !LoadEngineSettings(settings)) {
    return false;
  }
  driver->SetNotifyWindow(notifyWindow);
  driver->m_bRightEnabled.store(m_nRight);
  driver->ApplySettings(settings);
  if (std::exchange(m_liftToSwallow, false)) {
    driver->SwallowNextLift();
  }
  CSerialConfig config;
  config.SetPortName(m_szPort);
  config.m_dwReadTimeout = kReadTimeoutMs;
  config.m_dwWriteTimeout = kWriteTimeoutMs;
  driver->Configure(config);
  if (!driver->Start()) {
    return false;
  }
  m_pDriver = std::move(driver);
  return true;
}

bool CTouchHost::LoadEngineSettings(EngineSettings& settings) {
  const std::uint32_t desktopTime = m_platform.input.GetDoubleClickTime();
  settings.dTime = static_cast<std::int32_t>(desktopTime);
  if (!m_settings.LoadEngineSettings(settings)) {
    return false;
  }
  if (static_cast<std::uint32_t>(settings.dTime) != desktopTime) {
    m_platform.input.SetDoubleClickTime(static_cast<std::uint32_t>(settings.dTime));
  }
  return true;
}

CTouchDriver* CTouchHost::ConnectedDriver() const {
  const bool connected = m_pDriver && m_pDriver->GetLinkState() == LinkState::kConnected;
  return connected ? m_pDriver.get() : nullptr;
}

// A reader still inside a driver call after its time is handed the
// engine: it frees it itself once the driver lets go.
bool CTouchHost::StopDriver() {
  if (!m_pDriver) {
    return true;
  }
  const bool stopped = m_pDriver->Stop();
  // Either way the engine has let go of the touch in progress by now.
  m_liftToSwallow = m_pDriver->LiftToSwallow();
  if (!stopped) {
    CSerialPort::LeaveToReader(std::move(m_pDriver));
    if (m_platform.log != nullptr) {
      m_platform.log->Write(
          "The reader of the old port is stuck in its driver; it was left running");
    }
  }
  m_pDriver.reset();
  return true;
}

bool CTouchHost::LoadStartupSettings() {
  HostSettings loaded;
  loaded.startUpMode = m_nStartUpMode;
  loaded.right = m_nRight;
  loaded.first = m_nFirst;
  std::memcpy(loaded.port, m_szPort, sizeof m_szPort);
  const bool ok = m_settings.LoadHostSettings(loaded);
  m_nStartUpMode = loaded.startUpMode;
  m_nRight = loaded.right;
  m_nFirst = loaded.first;
  std::memcpy(m_szPort, loaded.port, sizeof m_szPort);
  return ok;
}

// A port name that cannot be read (too long, say) must not leave the
// previous engine running as though the new port had opened.
bool CTouchHost::ReloadAndStart(WindowHandle notifyWindow) {
  if (!LoadStartupSettings()) {
    StopDriver();
    return false;
  }
  return StartDriver(notifyWindow);
}

bool CTouchHost::ReloadAndApply(WindowHandle notifyWindow) {
  if (!LoadStartupSettings()) {
    StopDriver();
    return false;
  }
  return ApplyToConnectedDriver() || StartDriver(notifyWindow);
}

// A restart would let go of a finger that is down and take its rest as a
// new touch under the new settings: a drag dropped, or a click at the lift.
bool CTouchHost::ApplyToConnectedDriver() {
  CTouchDriver* driver = ConnectedDriver();
  EngineSettings settings;
  if (driver == nullptr || std::strcmp(driver->PortName(), m_szPort) != 0 ||
      !LoadEngineSettings(settings)) {
    return false;
  }
  driver->m_bRightEnabled.store(m_nRight);
  driver->ApplySettings(settings);
  return true;
}

}  // namespace zt
