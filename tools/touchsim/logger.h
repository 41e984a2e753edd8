#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <ostream>
#include <string_view>

namespace zt::touchsim {

// Writes the simulator's messages, one line each, to a stream (stderr in the
// program, a string stream in tests). Errors always appear; traces of the
// bytes on the line only when verbose. Safe to use from several threads.
class Logger {
public:
  explicit Logger(std::ostream& out) : m_out(out) {}

  void SetVerbose(bool verbose) { m_verbose.store(verbose, std::memory_order_relaxed); }
  bool Verbose() const { return m_verbose.load(std::memory_order_relaxed); }

  void Error(std::string_view message);
  void Trace(std::string_view message);
  // Traces "label: 55 54 01 ..." when verbose.
  void TraceBytes(std::string_view label, const std::uint8_t* bytes, std::size_t count);

private:
  void WriteLine(std::string_view message);

  std::ostream& m_out;
  std::mutex m_mutex;
  std::atomic<bool> m_verbose{false};
};

// "55 54 01" for the given bytes.
std::string FormatHex(const std::uint8_t* bytes, std::size_t count);

}  // namespace zt::touchsim
