#include "engine/event_reporter.h"

namespace zt {
namespace {

bool NotOpened(LinkState state) {
  return state == LinkState::kWaiting || state == LinkState::kCantOpen;
}

}  // namespace

void CEventReporter::OnLinkState(LinkState state, const std::string& port) {
  const std::lock_guard<std::mutex> lock(m_lock);
  const LinkState previous = m_link;
  m_link = state;
  if (state == previous) {
    return;
  }
  if (previous == LinkState::kConnected &&
      (state == LinkState::kRetrying || state == LinkState::kLost)) {
    m_log.Report(kEventLinkLost, EventKind::kWarning, port);
    m_linkDown = true;
  } else if (NotOpened(state) && !m_linkDown) {
    m_log.Report(kEventPortCannotOpen, EventKind::kError, port);
    m_linkDown = true;
  } else if (state == LinkState::kConnected && m_linkDown) {
    m_log.Report(kEventLinkBack, EventKind::kInformation, port);
    m_linkDown = false;
  }
}

void CEventReporter::OnCalibrationStored(std::int64_t unixSeconds) {
  const std::lock_guard<std::mutex> lock(m_lock);
  const bool first = !m_calibrationStored.has_value();
  if (!first && *m_calibrationStored != unixSeconds && unixSeconds != 0) {
    m_log.Report(kEventCalibrationStored, EventKind::kInformation, std::to_string(unixSeconds));
  }
  m_calibrationStored = unixSeconds;
}

void CEventReporter::OnSettingsImported(const std::string& path) {
  const std::lock_guard<std::mutex> lock(m_lock);
  m_log.Report(kEventSettingsImported, EventKind::kInformation, path);
}

void CEventReporter::OnSettingsImportedInPart(const std::string& path, const std::string& left) {
  const std::lock_guard<std::mutex> lock(m_lock);
  m_log.Report(kEventSettingsImportedInPart, EventKind::kWarning, path + ": " + left);
}

void CEventReporter::OnTouchOutputRefused(bool refused) {
  const std::lock_guard<std::mutex> lock(m_lock);
  if (refused && !m_touchRefused) {
    m_log.Report(kEventTouchOutputRefused, EventKind::kWarning, "Output=1");
  }
  m_touchRefused = refused;
}

void CEventReporter::OnMetricsFile(const std::string& path, const std::string& failure) {
  const std::lock_guard<std::mutex> lock(m_lock);
  if (failure.empty()) {
    m_log.Report(kEventMetricsWrittenAgain, EventKind::kInformation, path);
  } else {
    m_log.Report(kEventMetricsNotWritten, EventKind::kWarning, path + " (" + failure + ")");
  }
}

}  // namespace zt
