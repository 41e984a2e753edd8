#pragma once

#include <array>
#include <atomic>
#include <cstdint>

namespace zt {

// Every packet, either way, is ten bytes starting with 'U'; byte 1 names it.
inline constexpr int kPacketSize = 10;
inline constexpr std::uint8_t kPacketStart = 0x55;          // 'U'
inline constexpr std::uint8_t kTypeTouchReport = 0x54;      // 'T'
inline constexpr std::uint8_t kTypeParameters = 0x79;       // 'y': request and reply
inline constexpr std::uint8_t kTypeWriteParameters = 0x78;  // 'x'

using Packet = std::array<std::uint8_t, kPacketSize>;

// Touch statuses of a touch report.
inline constexpr std::int32_t kTouchBegins = 1;
inline constexpr std::int32_t kTouchContinues = 2;
inline constexpr std::int32_t kTouchEnds = 4;

struct TouchReport {
  std::int32_t status = 0;
  std::int32_t x = 0;
  std::int32_t y = 0;
};

// The controller's four EEPROM sensitivity parameters.
struct SensitivityParams {
  std::int32_t pressure = 0;
  std::int32_t downCount = 0;
  std::int32_t upCount = 0;
  std::int32_t stabilizationDelay = 0;

  bool operator==(const SensitivityParams&) const = default;
};

inline constexpr SensitivityParams kDefaultSensitivity{705, 3, 7, 360};

// Checksum of a touch report: (byte 1 + ... + byte 8 - 1) mod 256.
std::uint8_t TouchReportChecksum(const std::uint8_t* packet);

Packet BuildTouchReport(std::int32_t status, std::int32_t x, std::int32_t y);
Packet BuildParameterRequest();
// Each value goes out big-endian as its low 16 bits.
Packet BuildParameterWrite(const SensitivityParams& params);
// The controller's answer to the read request, laid out like the write.
Packet BuildParameterReply(const SensitivityParams& params);

struct DecodedPacket {
  enum class Kind { kDropped, kTouchReport, kParameterReply };
  Kind kind = Kind::kDropped;
  TouchReport touch;
  SensitivityParams params;
};

// Interprets one complete packet. Touch reports with a wrong checksum and
// packets of unknown type come back as kDropped.
DecodedPacket DecodePacket(const std::uint8_t* packet);

// The latest parameter reply, shared between the reader thread, which
// publishes it, and the user-interface thread, which waits for it. The four
// values are stored before the flag is raised (release), so a reader that
// sees the flag (acquire) also sees the values of that reply.
class ParameterReply {
public:
  void Publish(const SensitivityParams& params);
  void ClearFlag() { m_bParamReply.store(0, std::memory_order_relaxed); }
  bool HasArrived() const { return m_bParamReply.load(std::memory_order_acquire) != 0; }
  // Meaningful once HasArrived() has returned true.
  SensitivityParams Values() const;

private:
  std::atomic<std::int32_t> m_nPressure{0};
  std::atomic<std::int32_t> m_nDownCount{0};
  std::atomic<std::int32_t> m_nUpCount{0};
  std::atomic<std::int32_t> m_nStabilizationDelay{0};
  std::atomic<std::int32_t> m_bParamReply{0};
};

}  // namespace zt
