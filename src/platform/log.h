#pragma once

#include <string_view>

namespace zt {

// The program's log: one line for each event worth knowing afterwards (the
// debugger's output on Windows).
class ILog {
public:
  virtual ~ILog() = default;
  virtual void Write(std::string_view line) = 0;
};

}  // namespace zt
