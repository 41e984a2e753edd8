#pragma once

#include <cstdint>
#include <string>

namespace zt::touchsim {

// The simulator's end of the serial line: the master of a pseudo-terminal it
// creates itself, or a real serial device. Reads and writes never block for
// long, so a line nobody listens to cannot hang the simulator.
class PtyLine {
public:
  // How long Write waits for room before it drops the rest, like a receiver
  // that overruns.
  static constexpr int kWriteWaitMs = 100;

  PtyLine() = default;
  PtyLine(const PtyLine&) = delete;
  PtyLine& operator=(const PtyLine&) = delete;
  ~PtyLine() { Close(); }

  // Creates a pseudo-terminal with both sides raw. The slave is kept open
  // here as well, so the line stays usable while no program has it open.
  bool OpenPseudoTerminal(std::string& error);
  // Opens a serial device at 9600 baud, 8 data bits, no parity, 2 stop bits,
  // raw, no handshake.
  bool OpenDevice(const std::string& path, std::string& error);
  void Close();

  bool IsOpen() const { return m_fd >= 0; }
  // What the other side opens: the pseudo-terminal's slave or the device.
  const std::string& PeerPath() const { return m_peerPath; }

  // Returns the number of bytes written; fewer than count when the other
  // side stopped taking bytes or the line failed.
  int Write(const std::uint8_t* bytes, int count);
  // Waits up to timeoutMs for input. Returns the number of bytes read, 0
  // when nothing came or Interrupt was called, -1 when the line failed.
  int Read(std::uint8_t* buffer, int capacity, int timeoutMs);
  // Ends the wait of a Read on another thread, or of the next Read.
  void Interrupt();
  // Bytes written that the other side has not taken yet.
  int UnreadOutput() const;

private:
  bool OpenWakeEvent(std::string& error);

  int m_fd = -1;
  int m_slaveFd = -1;
  int m_wakeFd = -1;
  std::string m_peerPath;
};

// A symbolic link to the line's peer path, such as a COM port of a Wine
// prefix. An existing link is replaced; any other file is left alone. The
// link is removed again at destruction if it still points to the target.
class PortLink {
public:
  PortLink() = default;
  PortLink(const PortLink&) = delete;
  PortLink& operator=(const PortLink&) = delete;
  ~PortLink() { Remove(); }

  bool Create(const std::string& linkPath, const std::string& target, std::string& error);
  void Remove();

private:
  std::string m_linkPath;
  std::string m_target;
};

}  // namespace zt::touchsim
