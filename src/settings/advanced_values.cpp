#include "settings/advanced_values.h"

namespace zt::advanced {

std::string LabelText(std::string_view name, std::int32_t value) {
  std::string text(name);
  text += ": ";
  text += std::to_string(value);
  return text;
}

bool ReadFromController(IParameterLink& link, IThreads& threads, SensitivityParams& values) {
  return ReadParameters(
      link, [&threads](std::uint32_t milliseconds) { threads.Sleep(milliseconds); }, values);
}

}  // namespace zt::advanced
