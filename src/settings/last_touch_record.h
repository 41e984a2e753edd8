// When the last touch began, kept under the settings key so that a restart
// does not forget it: an operator's alert on a unit left untouched for a
// week must still fire on a unit restarted every night. It is the unit's
// own record, not a setting: an export leaves it out, an import passes it
// over.
#pragma once

#include <cstdint>
#include <string>

#include "platform/log.h"
#include "platform/registry.h"
#include "settings/settings_store.h"

namespace zt::settings {

class CLastTouchRecord {
public:
  // While touches come, the record is written at most this often.
  static constexpr std::int64_t kWriteSeconds = 60;

  // keptIn names where the record is kept, for the log line of a write
  // refused.
  CLastTouchRecord(IRegistry& registry, ILog* log,
                   std::string keptIn = "under HKLM\\Software\\Corvantic\\ZeltraTouch",
                   const KeyLocation& where = kSettingsKey);

  // The stored time (Unix seconds); 0, not known, when there is none, it
  // cannot be read, or it is later than now (the clock was set back): never
  // taken for a touch now.
  std::int64_t Load(std::int64_t nowSeconds);
  // Writes lastTouch when it changed since the last write and
  // kWriteSeconds passed since that write; called about once a second. A
  // write refused is logged once (until one succeeds) and tried again at
  // the next call.
  void Update(std::int64_t lastTouch, std::int64_t nowSeconds);
  // As the program ends: writes lastTouch when it changed.
  void Flush(std::int64_t lastTouch);

private:
  bool Write(std::int64_t lastTouch);

  IRegistry& m_registry;
  ILog* m_log;
  std::string m_keptIn;
  KeyLocation m_where;
  std::int64_t m_written = 0;  // the time last loaded or written
  std::int64_t m_writtenAt = 0;
  bool m_refused = false;  // the last write was refused, and logged
};

}  // namespace zt::settings
