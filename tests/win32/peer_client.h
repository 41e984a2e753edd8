#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zt::test {

// Talks to the far end of the simulated serial line (serial_peer.py), which
// runs outside Wine and holds the pseudo-terminal behind ComPortName().
class PeerClient {
public:
  PeerClient();
  ~PeerClient();
  PeerClient(const PeerClient&) = delete;
  PeerClient& operator=(const PeerClient&) = delete;

  bool Connected() const;
  // The COM port the line is mapped to, e.g. "COM5"; empty without a peer.
  static std::string ComPortName();

  bool Send(const std::vector<std::uint8_t>& bytes);
  // Up to count bytes the program wrote, waiting at most timeoutMs for them.
  std::vector<std::uint8_t> Receive(int count, int timeoutMs);
  // The terminal settings as the far end sees them, e.g.
  // "speed=9600 csize=8 cstopb=1 parenb=0".
  std::string LineSettings();

private:
  std::string Ask(const std::string& request);

  std::uintptr_t m_socket;
};

}  // namespace zt::test
