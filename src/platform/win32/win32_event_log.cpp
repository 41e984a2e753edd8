#include "platform/win32/win32_event_log.h"

#include <windows.h>

namespace zt {

Win32EventLog::~Win32EventLog() {
  if (m_source != nullptr) {
    ::DeregisterEventSource(m_source);
  }
}

void Win32EventLog::Report(std::uint32_t id, EventKind kind, const std::string& text) {
  if (m_source == nullptr) {
    m_source = ::RegisterEventSourceA(nullptr, "ZeltraTouch");
  }
  if (m_source == nullptr) {
    return;
  }
  const WORD type = kind == EventKind::kError     ? EVENTLOG_ERROR_TYPE
                    : kind == EventKind::kWarning ? EVENTLOG_WARNING_TYPE
                                                  : EVENTLOG_INFORMATION_TYPE;
  const char* strings[] = {text.c_str()};
  ::ReportEventA(m_source, type, 0, id, nullptr, 1, 0, strings, nullptr);
}

}  // namespace zt
