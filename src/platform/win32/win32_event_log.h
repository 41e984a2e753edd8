#pragma once

#include "platform/event_log.h"

namespace zt {

// IEventLog over the Application log, as the event source "ZeltraTouch"
// (which the setup program registers, with this program as its message
// file). The source is opened at the first report and closed at the end.
class Win32EventLog final : public IEventLog {
public:
  Win32EventLog() = default;
  Win32EventLog(const Win32EventLog&) = delete;
  Win32EventLog& operator=(const Win32EventLog&) = delete;
  ~Win32EventLog() override;

  void Report(std::uint32_t id, EventKind kind, const std::string& text) override;

private:
  void* m_source = nullptr;
};

}  // namespace zt
