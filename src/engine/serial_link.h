// The link to the controller over its life: a port opened, waited for while
// it is not there yet, lost and got back, and found on request among the
// ports of the machine; with the texts that say where it stands.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/serial_port.h"
#include "platform/messages.h"

namespace zt {

// Where the engine's link to the controller stands.
enum class LinkState : std::uint8_t {
  kConnected,  // open and read
  kWaiting,    // the port has not opened yet; it is tried every second
  kRetrying,   // the device went away; the port is tried again every second
  kLost,       // the device went away and is not tried again ("Reconnect" 0)
};

// What the window and the tray tip say of a state, in UTF-8.
std::string LinkStateText(LinkState state, const std::string& port);
// What they say while ports are searched: "Looking for the touch screen on
// COM3, COM6…".
std::string FindingText(const std::vector<std::string>& ports);
inline constexpr char kNoTouchScreenFound[] = "No touch screen found";

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
  // Called before the reader thread starts: a port that is not open is
  // waited for from now on.
  void BeginLinkState();
  // On the reader thread, before the first read. False when the port never
  // opened because the engine stops or it is not to be tried.
  bool AwaitPort();
  // On the reader thread, once the device has gone away: lets go of the
  // port and waits for it as AwaitPort does.
  bool RecoverLink();
  // Each change of state, on the reader thread.
  virtual void OnLinkState(LinkState state) = 0;

private:
  bool RetryUntilOpen(LinkState waiting);
  // Sleeps in short steps; false once the reader is stopping.
  bool PauseWhileRunning(std::uint32_t milliseconds);
  void SetLinkState(LinkState state);

  std::atomic<std::int32_t> m_nReconnect{1};
  std::atomic<LinkState> m_linkState{LinkState::kConnected};
};

// Looks for the controller on several ports side by side, off the caller's
// thread: each is opened (9600 8N2) and sent one parameter request; the
// first that answers with a valid packet (a parameter reply or a touch
// report) is found. A port that does not open, opens slowly or stays silent
// is passed over, each with its own time-out. Never writes the EEPROM.
class CPortFinder {
public:
  CPortFinder(ICommDevice& comm, IThreads& threads, IMessages& messages);
  CPortFinder(const CPortFinder&) = delete;
  CPortFinder& operator=(const CPortFinder&) = delete;
  ~CPortFinder();

  // Begins the search and tells notifyWindow (kNotifyFindDone) when it is
  // over. False when a search runs already, there is no port or no thread.
  bool Start(const std::vector<std::string>& ports, WindowHandle notifyWindow);
  // Ends a search at once; it finds nothing and tells nobody.
  void Stop();
  bool IsLooking() const { return m_hThread != kNoThread; }
  // Once told: ends the search and gives the port that answered (empty
  // when none did). False when there is no search to take.
  bool TakeResult(std::string& port);

  static constexpr std::uint32_t kOpenTimeoutMs = 2000;
  static constexpr std::uint32_t kAnswerTimeoutMs = 1000;

private:
  struct Probe;
  static void SearchThread(void* finder);
  void Search();
  void WaitForOpenProbes();
  void EndSearchThread();

  ICommDevice& m_comm;
  IThreads& m_threads;
  IMessages& m_messages;
  WindowHandle m_notifyWindow = 0;
  std::vector<std::shared_ptr<Probe>> m_probes;
  ThreadHandle m_hThread = kNoThread;
  std::atomic<std::int32_t> m_bStop{0};
  std::string m_found;  // written by the search thread, read after it ends
};

}  // namespace zt
