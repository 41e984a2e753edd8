#include "engine/touch_driver.h"

#include <algorithm>

#include "calibration/calibration_record.h"
#include "settings/settings_schema.h"

namespace zt {
namespace {

constexpr char kCloseEventName[] = "CloseEvent";
constexpr std::uint32_t kReadChunk = 4096;
constexpr std::int32_t kRawMax = 4095;

}  // namespace

CTouchDriver::CTouchDriver(const EnginePlatform& platform)
    : CSerialPort(platform.comm, platform.threads),
      m_input(platform.input),
      m_messages(platform.messages),
      m_registry(platform.registry),
      m_tone(std::make_shared<BeepTone>()),
      m_assembler(m_receive),
      m_dwLastTouchDown(platform.input.GetTickCount()) {
  m_tone->input = &platform.input;
  m_nDTime.store(static_cast<std::int32_t>(platform.input.GetDoubleClickTime()));
}

CTouchDriver::~CTouchDriver() {
  // The reader thread uses everything below; it ends before any of it goes.
  EndReaderThread();
}

bool CTouchDriver::Start() {
  if (!LoadSettings()) {
    return false;
  }
  if (m_hCloseEvent == kNoEvent) {
    m_hCloseEvent = m_threads.CreateEventObject(true, false, kCloseEventName);
  }
  if (m_hCloseEvent == kNoEvent) {
    return false;
  }
  // Raised before the thread exists, so that a stop requested before the
  // thread has begun its loop is never undone by the thread itself.
  m_bRunning.store(1, std::memory_order_release);
  m_hThread = m_threads.CreateThread(&CTouchDriver::ReaderThread, this);
  if (m_hThread == kNoThread) {
    m_bRunning.store(0, std::memory_order_release);
    return false;
  }
  m_threads.SetThreadPriorityHighest(m_hThread);
  return true;
}

void CTouchDriver::ReaderThread(void* engine) {
  static_cast<CTouchDriver*>(engine)->ReadLoop();
}

void CTouchDriver::ReadLoop() {
  std::uint8_t buffer[kReadChunk];
  while (m_bRunning.load(std::memory_order_acquire) != 0) {
    const std::uint32_t count = ReadAvailable(buffer, kReadChunk);
    if (count > 0) {
      OnReceive(buffer, static_cast<int>(count));
    }
    m_threads.Sleep(1);
  }
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
      break;
  }
}

bool CTouchDriver::LoadSettings() {
  m_nDTime.store(static_cast<std::int32_t>(m_input.GetDoubleClickTime()));
  m_dwLastTouchDown = m_input.GetTickCount();

  settings::EngineSettings loaded;
  loaded.dTime = m_nDTime.load();
  loaded.dZone = m_nDZone.load();
  loaded.dZoneX = m_nDZoneX.load();
  loaded.dZoneY = m_nDZoneY.load();
  loaded.beep = m_bBeep.load();
  loaded.freq = Freq();
  loaded.duration = Duration();
  loaded.touchMode = m_nTouchMode.load();
  auto setDoubleClickTime = [this](std::int32_t milliseconds) {
    m_input.SetDoubleClickTime(static_cast<std::uint32_t>(milliseconds));
  };
  if (!settings::LoadEngineSettings(m_registry, loaded, m_liveMapper, setDoubleClickTime)) {
    return false;
  }
  m_nDTime.store(loaded.dTime);
  m_nDZone.store(loaded.dZone);
  m_nDZoneX.store(loaded.dZoneX);
  m_nDZoneY.store(loaded.dZoneY);
  m_bBeep.store(loaded.beep);
  SetBeepTone(loaded.freq, loaded.duration);
  m_nTouchMode.store(loaded.touchMode);
  return true;
}

void CTouchDriver::OnTouch(std::int32_t status, std::int32_t rawX, std::int32_t rawY) {
  rawX = std::min(rawX, kRawMax);
  rawY = std::min(rawY, kRawMax);
  if (status == kTouchBegins || status == kTouchContinues) {
    m_nRawX.store(rawX, std::memory_order_relaxed);
    m_nRawY.store(rawY, std::memory_order_relaxed);
  }
  const IntPoint mapped = m_liveMapper.MapPoint(rawX, rawY);
  EmulatePointer(status, mapped.x, mapped.y);
}

IntPoint CTouchDriver::GetRawPoint() const {
  return {m_nRawX.load(std::memory_order_relaxed), m_nRawY.load(std::memory_order_relaxed)};
}

void CTouchDriver::SaveCalibration() {
  SaveCalibrationPoints(m_liveMapper, m_backupMapper);
}

void CTouchDriver::RestoreCalibration() {
  RestoreCalibrationPoints(m_backupMapper, m_liveMapper);
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

void CTouchDriver::SetBeepTone(std::int32_t freq, std::int32_t duration) {
  m_tone->freq.store(freq, std::memory_order_relaxed);
  m_tone->duration.store(duration, std::memory_order_relaxed);
}

}  // namespace zt
