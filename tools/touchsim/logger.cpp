#include "logger.h"

#include <string>

namespace zt::touchsim {

std::string FormatHex(const std::uint8_t* bytes, std::size_t count) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(count * 3);
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0) {
      text += ' ';
    }
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0x0F];
  }
  return text;
}

void Logger::Error(std::string_view message) {
  WriteLine(message);
}

void Logger::Trace(std::string_view message) {
  if (Verbose()) {
    WriteLine(message);
  }
}

void Logger::TraceBytes(std::string_view label, const std::uint8_t* bytes, std::size_t count) {
  if (Verbose()) {
    WriteLine(std::string(label) + ": " + FormatHex(bytes, count));
  }
}

void Logger::WriteLine(std::string_view message) {
  const std::lock_guard<std::mutex> lock(m_mutex);
  m_out << "touchsim: " << message << '\n';
  m_out.flush();
}

}  // namespace zt::touchsim
