// The system's event log, as reports of one event source.
#pragma once

#include <cstdint>
#include <string>

namespace zt {

enum class EventKind { kInformation, kWarning, kError };

class IEventLog {
public:
  virtual ~IEventLog() = default;
  // One event: its message id in the program's message table, its kind, and
  // the one text its message inserts.
  virtual void Report(std::uint32_t id, EventKind kind, const std::string& text) = 0;
};

}  // namespace zt
