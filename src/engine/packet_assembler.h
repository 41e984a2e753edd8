#pragma once

#include <cstdint>

#include "engine/controller_protocol.h"
#include "engine/serial_port.h"

namespace zt {

// Collects ten-byte packets from the received byte stream. A packet starts
// only at a 0x55 met outside a packet; the nine bytes after it are taken
// whatever their values. Bytes outside a packet are dropped. A packet may be
// split across any number of chunks.
class CPacketAssembler {
public:
  explicit CPacketAssembler(ReceiveBuffer& buffer) : m_buffer(buffer) {}

  // Runs the assembler over one chunk, calling onPacket(const uint8_t*)
  // with the ten bytes of each complete packet. Returns count.
  template <typename OnPacket>
  int Feed(const std::uint8_t* bytes, int count, OnPacket&& onPacket) {
    for (int i = 0; i < count; ++i) {
      if (Accept(bytes[i])) {
        onPacket(static_cast<const std::uint8_t*>(m_buffer.bytes));
        Finish();
      }
    }
    return count;
  }

  bool InPacket() const { return m_bInPacket != 0; }
  // Drops a packet begun on a link that has gone away.
  void Reset() { Finish(); }

private:
  // Takes one byte; true when it completed a packet.
  bool Accept(std::uint8_t byte);
  void Finish();

  ReceiveBuffer& m_buffer;
  std::int32_t m_nPacketBytes = 0;
  std::int32_t m_bInPacket = 0;
};

}  // namespace zt
