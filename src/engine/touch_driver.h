#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "engine/controller_protocol.h"
#include "engine/engine_settings.h"
#include "engine/event_reporter.h"
#include "engine/health.h"
#include "engine/packet_assembler.h"
#include "engine/parameter_exchange.h"
#include "engine/pointer_emulation.h"
#include "engine/serial_link.h"
#include "engine/window_messages.h"
#include "mapping/calib_mapper.h"
#include "mapping/calibration_run.h"
#include "mapping/precise_mapper.h"
#include "platform/file_replacer.h"
#include "platform/input.h"
#include "platform/log.h"
#include "platform/messages.h"
#include "platform/monitors.h"
#include "platform/touch_injection.h"

namespace zt {

// The operating-system services an engine works through.
struct EnginePlatform {
  ICommDevice& comm;
  IThreads& threads;
  IInput& input;
  IMessages& messages;
  IMonitors& monitors;
  ITouchInjection* touchInjection = nullptr;  // none: mouse output only
  ILog* log = nullptr;                        // none: nothing is noted
  CHealth* health = nullptr;                  // none: nothing is counted
  CEventReporter* events = nullptr;           // none: no event is reported
  IFileReplacer* files = nullptr;             // none: no metrics file
};

// The running touch engine: owns the open port, the reader thread that
// feeds the packet assembler, the calibration mappers in effect and
// the pointer emulation. Its settings come as one value (ApplySettings);
// the reader thread uses whatever values it reads at each report.
class CTouchDriver : public CSerialLink, public IParameterLink, public CPointerEmulation {
public:
  explicit CTouchDriver(const EnginePlatform& platform);
  ~CTouchDriver() override;

  // How long a stop waits for the reader to end: longer than any driver
  // call it makes may take (kOpenLimitMs, kCancelLimitMs, the port's close)
  // while the driver keeps to its limits.
  static constexpr std::uint32_t kStopLimitMs = 1200;

  // Starts the reader thread at the highest priority; it waits for a port
  // that has not opened (kWaiting) before it reads.
  bool Start();
  // The packet assembler; runs on the reader thread.
  int OnReceive(const std::uint8_t* bytes, int count) override;

  // Puts settings into effect at once: the pointer emulation's values and
  // the live calibration points (replaced in one step).
  void ApplySettings(const EngineSettings& settings);
  // The settings in effect.
  EngineSettings Settings() const;
  // Takes the monitors as they are now (after a display change, say);
  // false when the chosen monitor is not there and touches go to the
  // primary one.
  bool UpdateDesktop();
  // A display change: the system has cancelled every touch contact (or
  // cancelContacts does, where no system does), and the monitors are taken
  // anew (as UpdateDesktop), in one step between two reports.
  bool DisplayChanged(const std::function<void()>& cancelContacts = nullptr);
  bool TouchMonitorFound() const { return m_monitorFound; }

  void DecodePacket(const std::uint8_t* packet);
  void OnTouch(std::int32_t status, std::int32_t rawX, std::int32_t rawY);

  // The clamped, unmapped position of the last report with status 1 or 2;
  // X and Y always come from the same report.
  IntPoint GetRawPoint() const;

  // The calibration touches are mapped through now, and another put into
  // effect at once (during a calibration run, say); the stored settings
  // are not touched.
  LiveCalibration Calibration() const;
  void UseCalibration(const LiveCalibration& calibration);

  bool RequestParameters() override;
  bool SendParameters(const SensitivityParams& params);
  const ParameterReply& Reply() const override { return m_reply; }

  // The reader loop ends at once, also when it waits for bytes or for the
  // next try of a port that is not there.
  void RequestStop();
  // Ends the reader thread, waiting for it at most kStopLimitMs. False when
  // it is still inside a driver call: the engine must then never be freed
  // (its thread ends by itself, letting go of a held button as it does).
  bool Stop();
  bool IsReading() const { return m_bRunning.load(std::memory_order_acquire) != 0; }

protected:
  // Tells the notify window (kNotifyLinkState).
  void OnLinkState(LinkState state) override;

private:
  static void ReaderThread(void* engine);
  // The monitors as they are now, given to the emulation with or without
  // the system's cancel.
  bool TakeMonitors(bool displayChanged, const std::function<void()>& cancelContacts);
  void ReadLoop();

  IMonitors& m_monitors;
  CHealth* m_health;
  CEventReporter* m_events;
  std::string m_monitorName;  // user-interface thread only
  bool m_monitorFound = true;
  // Both mappings of the points in effect, and which one maps: replaced
  // together and read together under m_calibrationLock, so that a report
  // is mapped wholly by the calibration before or after a change.
  IntPoint MapRawPoint(std::int32_t rawX, std::int32_t rawY);
  mutable std::mutex m_calibrationLock;
  CGridMapper m_liveMapper;
  CPreciseMapper m_preciseMapper;
  std::int32_t m_nMapping = kMappingGrid;
  ParameterReply m_reply;
  CPacketAssembler m_assembler;
  // The last raw point, X in the high and Y in the low 32 bits.
  std::atomic<std::uint64_t> m_rawPoint{0};
};

}  // namespace zt
