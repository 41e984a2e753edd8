// Feeds arbitrary byte streams, cut into arbitrary chunks, through the
// packet assembler and decoder and checks what every decoded packet promises.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "engine/controller_protocol.h"
#include "engine/packet_assembler.h"

namespace {

void Check(bool condition) {
  if (!condition) {
    std::abort();
  }
}

void CheckPacket(const std::uint8_t* packet) {
  Check(packet[0] == zt::kPacketStart);
  const zt::DecodedPacket decoded = zt::DecodePacket(packet);
  switch (decoded.kind) {
    case zt::DecodedPacket::Kind::kTouchReport:
      Check(packet[1] == zt::kTypeTouchReport);
      Check(zt::TouchReportChecksum(packet) == packet[9]);
      break;
    case zt::DecodedPacket::Kind::kParameterReply:
      Check(packet[1] == zt::kTypeParameters);
      break;
    case zt::DecodedPacket::Kind::kDropped:
      break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  zt::ReceiveBuffer buffer;
  zt::CPacketAssembler assembler(buffer);
  std::size_t offset = 0;
  // The first byte of each chunk says how long the chunk is.
  while (offset < size) {
    const std::size_t length = std::min<std::size_t>(size - offset - 1, data[offset] % 32);
    assembler.Feed(data + offset + 1, static_cast<int>(length), CheckPacket);
    Check(buffer.count >= 0 && buffer.count < zt::kPacketSize);
    offset += length + 1;
  }
  return 0;
}
