// The link to the controller over its life: a port opened off the
// user-interface thread, waited for while it is not there yet, lost and got
// back.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "engine/serial_port.h"

namespace zt {

// Where the engine's link to the controller stands.
enum class LinkState : std::uint8_t {
  kOpening,    // the reader's first open is under way
  kConnected,  // open and read
  kWaiting,    // the port has not opened yet; it is tried every second
  kCantOpen,   // the port did not open and is not tried again ("Reconnect" 0)
  kRetrying,   // the device went away; the port is tried again every second
  kLost,       // the device went away and is not tried again ("Reconnect" 0)
};

// Where the link stands, in words, for the state lines and the logs
// ("Waiting for COM12 — retrying"; "Connected" names no port).
std::string LinkStateText(LinkState state, const std::string& port);

// A serial port that keeps its link: the reader calls AwaitPort before it
// reads and RecoverLink when the device has gone away; both try the port
// about once a second (unless "Reconnect" is 0) until it opens or the
// reader is stopped.
class CSerialLink : public CSerialPort {
public:
  using CSerialPort::CSerialPort;

  LinkState GetLinkState() const { return m_linkState.load(); }
  void SetReconnect(std::int32_t reconnect) { m_nReconnect.store(reconnect); }
  std::int32_t Reconnect() const { return m_nReconnect.load(); }

protected:
  // Called before the reader thread starts: the reader opens the port.
  void BeginLinkState();
  // On the reader thread, before the first read: opens the port, and waits
  // for it while it does not open. False when it never opened because the
  // engine stops or it is not to be tried again.
  bool AwaitPort();
  // On the reader thread, once the device has gone away: lets go of the
  // port and waits for it as AwaitPort does.
  bool RecoverLink();
  // Each change of state, on the reader thread.
  virtual void OnLinkState(LinkState state) = 0;

private:
  // Tries the port once a second in state waiting; givenUp when it is not
  // to be tried ("Reconnect" 0).
  bool RetryUntilOpen(LinkState waiting, LinkState givenUp);
  // Sleeps in short steps; false once the reader is stopping.
  bool PauseWhileRunning(std::uint32_t milliseconds);
  void SetLinkState(LinkState state);

  std::atomic<std::int32_t> m_nReconnect{1};
  std::atomic<LinkState> m_linkState{LinkState::kOpening};
};

}  // namespace zt
