#pragma once

#include <cstdint>
#include <functional>

#include "engine/controller_protocol.h"

namespace zt {

// The engine side of the parameter read exchange.
class IParameterLink {
public:
  virtual ~IParameterLink() = default;
  // Clears the reply flag, then sends the read request.
  virtual bool RequestParameters() = 0;
  virtual const ParameterReply& Reply() const = 0;
};

struct ReadExchangeTiming {
  int attempts = 3;
  int pollsPerAttempt = 10;
  std::uint32_t pollIntervalMs = 100;
  std::uint32_t pauseAfterAttemptMs = 500;
};

using SleepFunction = std::function<void(std::uint32_t milliseconds)>;

// Asks the controller for its sensitivity parameters: up to three requests,
// each followed by ten checks of the reply flag 100 ms apart and a 500 ms
// pause when no reply came. True, with the values, as soon as a reply is seen.
bool ReadParameters(IParameterLink& link, const SleepFunction& sleep, SensitivityParams& values,
                    const ReadExchangeTiming& timing = {});

}  // namespace zt
