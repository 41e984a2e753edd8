#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "engine/controller_protocol.h"

namespace zt::touchsim {

// The controller's command handling and its EEPROM of four sensitivity
// parameters. The EEPROM may be backed by a text file holding the four
// numbers; every change is saved there. Safe to use from several threads.
class ControllerModel {
public:
  struct Response {
    enum class Kind {
      kNotACommand,        // not a packet the controller knows
      kRequestAnswered,    // reply holds the answer
      kRequestUnanswered,  // silent: the request is dropped
      kWriteApplied,       // error is set when saving to the file failed
    };
    Kind kind = Kind::kNotACommand;
    Packet reply{};
    std::string error;
  };

  // Backs the EEPROM with path: loads it when it exists, saves every later
  // change to it. False when the file exists but cannot be read or does not
  // hold four values 0..65535; the EEPROM and the file are then untouched.
  bool AttachEepromFile(const std::string& path, std::string& error);

  SensitivityParams Eeprom() const;
  // False when a value is outside 0..65535 (nothing changes) or saving to
  // the file failed (the EEPROM has changed all the same).
  bool SetEeprom(const SensitivityParams& params, std::string& error);

  void SetSilent(bool silent) { m_silent.store(silent, std::memory_order_relaxed); }
  bool Silent() const { return m_silent.load(std::memory_order_relaxed); }

  // How long the controller takes to answer a request.
  void SetReplyDelayMs(std::int32_t delayMs) { m_replyDelayMs.store(delayMs); }
  std::int32_t ReplyDelayMs() const { return m_replyDelayMs.load(); }

  // Handles one ten-byte packet from the system: any packet of type 'y' is
  // a read request, type 'x' a write command.
  Response Handle(const std::uint8_t* packet);

private:
  bool SaveLocked(std::string& error) const;

  mutable std::mutex m_mutex;
  SensitivityParams m_eeprom = kDefaultSensitivity;
  std::string m_eepromPath;
  std::atomic<bool> m_silent{false};
  std::atomic<std::int32_t> m_replyDelayMs{0};
};

// "705 3 7 360" and back; parsing wants exactly four values 0..65535.
std::string FormatEeprom(const SensitivityParams& params);
bool ParseEeprom(const std::string& text, SensitivityParams& params);

}  // namespace zt::touchsim
