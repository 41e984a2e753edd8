#include "engine/controller_protocol.h"

namespace zt {
namespace {

std::uint8_t LowByte(std::int32_t value) {
  return static_cast<std::uint8_t>(value & 0xFF);
}
std::uint8_t HighByte(std::int32_t value) {
  return static_cast<std::uint8_t>((value >> 8) & 0xFF);
}

std::int32_t BigEndian(const std::uint8_t* bytes) {
  return 256 * bytes[0] + bytes[1];
}
std::int32_t LittleEndian(const std::uint8_t* bytes) {
  return bytes[0] + 256 * bytes[1];
}

void PutBigEndian(std::uint8_t* target, std::int32_t value) {
  target[0] = HighByte(value);
  target[1] = LowByte(value);
}

}  // namespace

std::uint8_t TouchReportChecksum(const std::uint8_t* packet) {
  unsigned sum = 0;
  for (int i = 1; i <= 8; ++i) {
    sum += packet[i];
  }
  return static_cast<std::uint8_t>((sum - 1U) & 0xFFU);
}

Packet BuildTouchReport(std::int32_t status, std::int32_t x, std::int32_t y) {
  Packet packet{kPacketStart,
                kTypeTouchReport,
                LowByte(status),
                LowByte(x),
                HighByte(x),
                LowByte(y),
                HighByte(y),
                0,
                0,
                0};
  packet[9] = TouchReportChecksum(packet.data());
  return packet;
}

Packet BuildParameterRequest() {
  return Packet{kPacketStart, kTypeParameters};
}

namespace {

Packet BuildParameterPacket(std::uint8_t type, const SensitivityParams& params) {
  Packet packet{kPacketStart, type};
  PutBigEndian(&packet[2], params.pressure);
  PutBigEndian(&packet[4], params.downCount);
  PutBigEndian(&packet[6], params.upCount);
  PutBigEndian(&packet[8], params.stabilizationDelay);
  return packet;
}

}  // namespace

Packet BuildParameterWrite(const SensitivityParams& params) {
  return BuildParameterPacket(kTypeWriteParameters, params);
}

Packet BuildParameterReply(const SensitivityParams& params) {
  return BuildParameterPacket(kTypeParameters, params);
}

DecodedPacket DecodePacket(const std::uint8_t* packet) {
  DecodedPacket decoded;
  if (packet[0] != kPacketStart) {
    return decoded;
  }
  if (packet[1] == kTypeTouchReport) {
    if (TouchReportChecksum(packet) != packet[9]) {
      return decoded;
    }
    decoded.kind = DecodedPacket::Kind::kTouchReport;
    decoded.touch = {packet[2], LittleEndian(&packet[3]), LittleEndian(&packet[5])};
  } else if (packet[1] == kTypeParameters) {
    decoded.kind = DecodedPacket::Kind::kParameterReply;
    decoded.params = {BigEndian(&packet[2]), BigEndian(&packet[4]), BigEndian(&packet[6]),
                      BigEndian(&packet[8])};
  }
  return decoded;
}

void ParameterReply::Publish(const SensitivityParams& params) {
  m_nPressure.store(params.pressure, std::memory_order_relaxed);
  m_nDownCount.store(params.downCount, std::memory_order_relaxed);
  m_nUpCount.store(params.upCount, std::memory_order_relaxed);
  m_nStabilizationDelay.store(params.stabilizationDelay, std::memory_order_relaxed);
  m_bParamReply.store(1, std::memory_order_release);
}

SensitivityParams ParameterReply::Values() const {
  return {m_nPressure.load(std::memory_order_relaxed), m_nDownCount.load(std::memory_order_relaxed),
          m_nUpCount.load(std::memory_order_relaxed),
          m_nStabilizationDelay.load(std::memory_order_relaxed)};
}

}  // namespace zt
