#include "engine/parameter_exchange.h"

namespace zt {

bool ReadParameters(IParameterLink& link, const SleepFunction& sleep, SensitivityParams& values,
                    const ReadExchangeTiming& timing) {
  for (int attempt = 0; attempt < timing.attempts; ++attempt) {
    link.RequestParameters();
    for (int poll = 0; poll < timing.pollsPerAttempt; ++poll) {
      sleep(timing.pollIntervalMs);
      if (link.Reply().HasArrived()) {
        values = link.Reply().Values();
        return true;
      }
    }
    sleep(timing.pauseAfterAttemptMs);
  }
  return false;
}

}  // namespace zt
