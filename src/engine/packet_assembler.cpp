#include "engine/packet_assembler.h"

namespace zt {

bool CPacketAssembler::Accept(std::uint8_t byte) {
  if (m_buffer.count >= ReceiveBuffer::kCapacity) {
    m_buffer.Reset();
  }
  if (m_bInPacket == 0) {
    if (byte != kPacketStart) {
      m_buffer.Reset();
      m_nPacketBytes = 0;
      return false;
    }
    m_bInPacket = 1;
  }
  m_buffer.Append(byte);
  ++m_nPacketBytes;
  return m_nPacketBytes == kPacketSize;
}

void CPacketAssembler::Finish() {
  m_nPacketBytes = 0;
  m_buffer.Reset();
  m_bInPacket = 0;
}

}  // namespace zt
