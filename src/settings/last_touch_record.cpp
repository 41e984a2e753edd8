#include "settings/last_touch_record.h"

#include <string>
#include <utility>

#include "settings/registry_key.h"

namespace zt::settings {

CLastTouchRecord::CLastTouchRecord(IRegistry& registry, ILog* log, std::string keptIn,
                                   const KeyLocation& where)
    : m_registry(registry), m_log(log), m_keptIn(std::move(keptIn)), m_where(where) {}

std::int64_t CLastTouchRecord::Load(std::int64_t nowSeconds) {
  CRegistryKey key(m_registry);
  std::int32_t stored = 0;
  if (!key.Open(m_where.root, m_where.subKey, reg::kKeyQueryValue) ||
      !key.QueryDword(kLastTouch, stored)) {
    return 0;
  }
  const std::int64_t seconds = static_cast<std::uint32_t>(stored);
  m_written = seconds <= nowSeconds ? seconds : 0;
  return m_written;
}

// A clock set back makes the time since the last write negative: due at
// once, else nothing would be written until the clock caught up again.
void CLastTouchRecord::Update(std::int64_t lastTouch, std::int64_t nowSeconds) {
  const std::int64_t elapsed = nowSeconds - m_writtenAt;
  if (lastTouch != m_written && (elapsed >= kWriteSeconds || elapsed < 0) && Write(lastTouch)) {
    m_writtenAt = nowSeconds;
  }
}

void CLastTouchRecord::Flush(std::int64_t lastTouch) {
  if (lastTouch != m_written) {
    Write(lastTouch);
  }
}

// Stored as the calibration's time is: unsigned 32-bit seconds.
bool CLastTouchRecord::Write(std::int64_t lastTouch) {
  CRegistryKey key(m_registry);
  const bool written = key.Open(m_where.root, m_where.subKey, reg::kKeySetValue) &&
                       key.SetDword(kLastTouch, static_cast<std::int32_t>(lastTouch)) &&
                       key.Close();
  if (written) {
    m_written = lastTouch;
  } else if (!m_refused && m_log != nullptr) {
    m_log->Write("cannot store " + std::string(kLastTouch) + ", the time of the last touch, " +
                 m_keptIn + "; it is known only while the program runs");
  }
  m_refused = !written;
  return written;
}

}  // namespace zt::settings
