#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "calibration/calib_mapper.h"
#include "engine/controller_protocol.h"
#include "engine/packet_assembler.h"
#include "engine/parameter_exchange.h"
#include "engine/serial_port.h"
#include "platform/input.h"
#include "platform/messages.h"
#include "platform/registry.h"

namespace zt {

// The operating-system services an engine works through.
struct EnginePlatform {
  ICommDevice& comm;
  IThreads& threads;
  IInput& input;
  IMessages& messages;
  IRegistry& registry;
};

// Posted to the notify window when an emulated right click has completed.
inline constexpr std::uint32_t kWmRightClickDone = kWmUser + 10;

// Touch modes.
inline constexpr std::int32_t kTouchModeNormal = 0;
inline constexpr std::int32_t kTouchModeClickOnTouch = 1;
inline constexpr std::int32_t kTouchModeClickOnRelease = 2;

// Frequency and duration of the beep, shared with beep threads that may
// outlive the engine; each beep reads them when its thread runs.
struct BeepTone {
  std::atomic<std::int32_t> freq{600};
  std::atomic<std::int32_t> duration{600};
  IInput* input = nullptr;
};

// The running touch engine: owns the open port, the reader thread that
// polls it and feeds the packet assembler, the live and backup calibration
// mappers and the settings of the pointer emulation. The user-interface
// thread changes the public settings at any time; the reader thread uses
// whatever values it reads at each report.
class CTouchDriver : public CSerialPort, public IParameterLink {
public:
  explicit CTouchDriver(const EnginePlatform& platform);
  ~CTouchDriver() override;

  // Loads the settings, then starts the reader thread at the highest priority.
  bool Start() override;
  // The packet assembler; runs on the reader thread.
  int OnReceive(const std::uint8_t* bytes, int count) override;

  bool LoadSettings();
  void DecodePacket(const std::uint8_t* packet);
  void OnTouch(std::int32_t status, std::int32_t rawX, std::int32_t rawY);
  void EmulatePointer(std::int32_t status, std::int32_t x, std::int32_t y);
  bool InClickZone(std::int32_t ax, std::int32_t ay) const;
  void BeepAsync();

  // The clamped, unmapped position of the last report with status 1 or 2.
  IntPoint GetRawPoint() const;
  void SaveCalibration();
  void RestoreCalibration();

  bool RequestParameters() override;
  bool SendParameters(const SensitivityParams& params);
  const ParameterReply& Reply() const override { return m_reply; }

  void SetNotifyWindow(WindowHandle window) { m_hNotifyWnd.store(window); }
  void SetBeepTone(std::int32_t freq, std::int32_t duration);
  std::int32_t Freq() const { return m_tone->freq.load(std::memory_order_relaxed); }
  std::int32_t Duration() const { return m_tone->duration.load(std::memory_order_relaxed); }
  // The reader loop ends at its next test of the running flag.
  void RequestStop() { m_bRunning.store(0, std::memory_order_release); }
  bool IsReading() const { return m_bRunning.load(std::memory_order_acquire) != 0; }

  CGridMapper& LiveMapper() { return m_liveMapper; }

  // Settings of the pointer emulation (absolute mouse units for the zones).
  std::atomic<std::int32_t> m_nDTime{0};
  std::atomic<std::int32_t> m_nDZone{1};
  std::atomic<std::int32_t> m_nDZoneX{1};
  std::atomic<std::int32_t> m_nDZoneY{1};
  std::atomic<std::int32_t> m_bRightEnabled{0};
  std::atomic<std::int32_t> m_bRightSelected{0};
  std::atomic<std::int32_t> m_bBeep{0};
  std::atomic<std::int32_t> m_nTouchMode{kTouchModeNormal};

private:
  static void ReaderThread(void* engine);
  void ReadLoop();
  bool InRightState() const;
  void SendMouse(std::uint32_t flags, std::int32_t ax, std::int32_t ay);
  void PressButton(std::int32_t ax, std::int32_t ay, bool right);
  void ReleaseButton(std::int32_t ax, std::int32_t ay, bool right);
  void NotifyRightClickDone(bool right);
  void OnFirstTouch(std::int32_t ax, std::int32_t ay, std::int32_t mode, bool right);
  void OnTouchEnds(std::int32_t ax, std::int32_t ay, std::int32_t mode, bool right);

  IInput& m_input;
  IMessages& m_messages;
  IRegistry& m_registry;

  CGridMapper m_liveMapper;
  CGridMapper m_backupMapper;
  std::shared_ptr<BeepTone> m_tone;
  ParameterReply m_reply;
  CPacketAssembler m_assembler;

  // Reader-thread state.
  std::int32_t m_nLastX = 0;
  std::int32_t m_nLastY = 0;
  std::uint32_t m_dwLastTouchDown = 0;
  std::atomic<std::int32_t> m_nRawX{0};
  std::atomic<std::int32_t> m_nRawY{0};
};

}  // namespace zt
