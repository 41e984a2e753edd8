#include "engine/touch_driver.h"

#include <algorithm>
#include <optional>

#include "mapping/desktop_mapping.h"

namespace zt {
namespace {

constexpr std::uint32_t kReadChunk = 4096;
// After reads that fail one after the other the reader pauses between
// tries instead of spinning; failures that go on this long with no byte
// between them are a lost link.
constexpr std::uint32_t kFailurePauseMs = 100;
constexpr std::uint32_t kFailingLinkMs = 2000;

std::uint64_t PackPoint(std::int32_t x, std::int32_t y) {
  return (std::uint64_t{static_cast<std::uint32_t>(x)} << 32) | static_cast<std::uint32_t>(y);
}

}  // namespace

CTouchDriver::CTouchDriver(const EnginePlatform& platform)
    : CSerialLink(platform.comm, platform.threads),
      CPointerEmulation(platform.input, platform.messages, platform.threads,
                        platform.touchInjection, platform.log),
      m_monitors(platform.monitors),
      m_health(platform.health),
      m_events(platform.events),
      m_assembler(m_receive) {}

CTouchDriver::~CTouchDriver() {
  // The reader thread uses everything below; it ends before any of it goes,
  // and no button a touch holds stays down once the engine has gone.
  EndReaderThread(kNoLimit);
  ReleaseTouch();
}

bool CTouchDriver::Start() {
  RestartDoubleTapClock();
  // Raised before the thread exists, so that a stop requested before the
  // thread has begun its loop is never undone by the thread itself.
  m_bRunning.store(1, std::memory_order_release);
  BeginLinkState();
  if (m_health != nullptr) {
    m_health->OnLinkStarts(GetLinkState());
  }
  if (m_events != nullptr) {
    m_events->OnLinkState(GetLinkState(), PortName());
  }
  if (!StartReaderThread(&CTouchDriver::ReaderThread, this)) {
    m_bRunning.store(0, std::memory_order_release);
    return false;
  }
  m_threads.SetThreadPriorityHighest(m_hThread);
  return true;
}

// The reader lets go of a held button itself as it ends, also when it
// ends late, after its owner stopped waiting for it.
// A port that never opened is given up: a handle its open brings late is
// closed at once rather than held for a try that will not come.
void CTouchDriver::ReaderThread(void* engine) {
  auto* driver = static_cast<CTouchDriver*>(engine);
  driver->ReadLoop();
  driver->ReleaseTouch();
  if (!driver->IsOpen()) {
    driver->GiveUpOpen();
  }
}

void CTouchDriver::RequestStop() {
  m_bRunning.store(0);  // sequentially consistent: see EndReaderThread
  CancelWait();
}

// A reader stuck in the driver is not inside the pointer emulation (its
// lock guards it): the button a finger holds is let go of here, at once.
bool CTouchDriver::Stop() {
  if (EndReaderThread(kStopLimitMs)) {
    return true;
  }
  ReleaseTouch();
  return false;
}

// Waits for a port that has not opened yet, then sleeps in WaitForByte
// while the line is silent; a byte wakes it, and it takes that byte with
// all the others that have come, up to a chunk, before it waits again.
// Reads that keep failing with no byte between them for kFailingLinkMs
// (a device that reports line errors for ever) are a lost link too.
void CTouchDriver::ReadLoop() {
  if (!AwaitPort()) {
    return;
  }
  std::uint8_t buffer[kReadChunk];
  std::uint32_t failures = 0;
  while (m_bRunning.load() != 0) {
    ByteWait waited = WaitForByte(buffer[0]);
    if (waited == ByteWait::kFailed && ++failures * kFailurePauseMs >= kFailingLinkMs) {
      waited = ByteWait::kLinkLost;
    }
    switch (waited) {
      case ByteWait::kByte: {
        const std::uint32_t count = 1 + ReadAvailable(buffer + 1, kReadChunk - 1);
        if (m_bRunning.load() != 0) {
          OnReceive(buffer, static_cast<int>(count));
        }
        failures = 0;
        break;
      }
      case ByteWait::kCancelled:
        return;
      case ByteWait::kFailed:
        if (failures > 1) {
          m_threads.Sleep(kFailurePauseMs);
        }
        break;
      case ByteWait::kLinkLost:
        // No button stays down and no half packet is kept; the engine's
        // settings and calibration stay as they are.
        ReleaseTouch();
        m_assembler.Reset();
        failures = 0;
        if (!RecoverLink()) {
          return;
        }
        break;
    }
  }
}

void CTouchDriver::OnLinkState(LinkState state) {
  if (m_health != nullptr) {
    m_health->OnLinkState(state);
  }
  if (m_events != nullptr) {
    m_events->OnLinkState(state, PortName());
  }
  PostToNotifyWindow(static_cast<std::uintptr_t>(state), kNotifyLinkState);
}

int CTouchDriver::OnReceive(const std::uint8_t* bytes, int count) {
  return m_assembler.Feed(bytes, count,
                          [this](const std::uint8_t* packet) { DecodePacket(packet); });
}

void CTouchDriver::DecodePacket(const std::uint8_t* packet) {
  const DecodedPacket decoded = zt::DecodePacket(packet);
  switch (decoded.kind) {
    case DecodedPacket::Kind::kTouchReport:
      OnTouch(decoded.touch.status, decoded.touch.x, decoded.touch.y);
      break;
    case DecodedPacket::Kind::kParameterReply:
      m_reply.Publish(decoded.params);
      break;
    case DecodedPacket::Kind::kDropped:
      // Only a touch report carries a checksum; a bad one means a noisy line.
      if (m_health != nullptr && packet[1] == kTypeTouchReport) {
        m_health->OnChecksumError();
      }
      break;
  }
}

void CTouchDriver::ApplySettings(const EngineSettings& settings) {
  ApplyEmulationSettings(settings);
  SetReconnect(settings.reconnect);
  m_monitorName = settings.monitor;
  UpdateDesktop();
  UseCalibration({settings.points, settings.mapping});
}

EngineSettings CTouchDriver::Settings() const {
  EngineSettings settings;
  ReadEmulationSettings(settings);
  settings.reconnect = Reconnect();
  settings.monitor = m_monitorName;
  const LiveCalibration calibration = Calibration();
  settings.points = calibration.points;
  settings.mapping = calibration.mapping;
  return settings;
}

// The report itself, not its clamped or mapped point, tells the lift watch
// whether the controller repeats a report while a finger rests.
void CTouchDriver::OnTouch(std::int32_t status, std::int32_t rawX, std::int32_t rawY) {
  const IntPoint reading{rawX, rawY};
  rawX = std::min(rawX, kScaleMax);
  rawY = std::min(rawY, kScaleMax);
  if (status == kTouchBegins && m_health != nullptr) {
    m_health->OnTouchBegins();
  }
  if (status == kTouchBegins || status == kTouchContinues) {
    m_rawPoint.store(PackPoint(rawX, rawY), std::memory_order_relaxed);
  }
  const IntPoint mapped = MapRawPoint(rawX, rawY);
  EmulatePointer(status, mapped.x, mapped.y, reading);
}

// The precise mapping where it is chosen and its points are usable.
IntPoint CTouchDriver::MapRawPoint(std::int32_t rawX, std::int32_t rawY) {
  const std::lock_guard<std::mutex> lock(m_calibrationLock);
  std::optional<IntPoint> mapped;
  if (m_nMapping == kMappingPrecise) {
    mapped = m_preciseMapper.MapPoint(rawX, rawY);
  }
  return mapped ? *mapped : m_liveMapper.MapPoint(rawX, rawY);
}

bool CTouchDriver::DisplayChanged(const std::function<void()>& cancelContacts) {
  return TakeMonitors(true, cancelContacts);
}

bool CTouchDriver::UpdateDesktop() {
  return TakeMonitors(false, nullptr);
}

bool CTouchDriver::TakeMonitors(bool displayChanged, const std::function<void()>& cancelContacts) {
  const DesktopLayout layout = m_monitors.Layout();
  const MonitorChoice choice = ChooseMonitor(layout, m_monitorName);
  if (displayChanged) {
    ContactCancelledBySystem(choice.monitor.rect, layout.virtualDesk, cancelContacts);
  } else {
    SetDesktop(choice.monitor.rect, layout.virtualDesk);
  }
  m_monitorFound = choice.named;
  return choice.named;
}

IntPoint CTouchDriver::GetRawPoint() const {
  const std::uint64_t packed = m_rawPoint.load(std::memory_order_relaxed);
  return {static_cast<std::int32_t>(static_cast<std::uint32_t>(packed >> 32)),
          static_cast<std::int32_t>(static_cast<std::uint32_t>(packed))};
}

LiveCalibration CTouchDriver::Calibration() const {
  const std::lock_guard<std::mutex> lock(m_calibrationLock);
  return {m_liveMapper.Points(), m_nMapping};
}

void CTouchDriver::UseCalibration(const LiveCalibration& calibration) {
  const std::lock_guard<std::mutex> lock(m_calibrationLock);
  m_nMapping = calibration.mapping;
  m_liveMapper.ReplacePoints(calibration.points);
  m_preciseMapper.ReplacePoints(calibration.points);
}

bool CTouchDriver::RequestParameters() {
  m_reply.ClearFlag();
  const Packet request = BuildParameterRequest();
  WriteBytes(request.data(), kPacketSize);
  return true;
}

bool CTouchDriver::SendParameters(const SensitivityParams& params) {
  const Packet command = BuildParameterWrite(params);
  WriteBytes(command.data(), kPacketSize);
  return true;
}

}  // namespace zt
