// Find: the controller looked for on several ports side by side.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/serial_port.h"
#include "platform/messages.h"

namespace zt {

// Looks for the controller on several ports side by side (kProbesAtOnce at
// most), off the caller's thread: each is opened (9600 8N2) and sent one
// parameter request; the first that answers with a valid packet (a
// parameter reply or a touch report) is found. A port is waited for while
// it opens, up to kOpenTimeoutMs (a Bluetooth serial port takes one to
// three), then for its answer up to kAnswerTimeoutMs from the moment its
// request has been written; one that does not open or stays silent is
// passed over. Never writes the EEPROM. Every probe has let go of its port
// before the search reports or a stop returns, unless its driver keeps it
// beyond every limit: such a probe is left to end by itself.
class CPortFinder {
public:
  CPortFinder(ICommDevice& comm, IThreads& threads, IMessages& messages);
  CPortFinder(const CPortFinder&) = delete;
  CPortFinder& operator=(const CPortFinder&) = delete;
  ~CPortFinder();

  // Begins the search and tells notifyWindow (kNotifyFindDone) when it is
  // over. False when a search runs already, there is no port or no thread.
  bool Start(const std::vector<std::string>& ports, WindowHandle notifyWindow);
  // Asks a search to end and returns at once: it finds nothing and tells
  // nobody. Stop then waits for it.
  void RequestStop() { m_bStop.store(1); }
  // Ends a search; it finds nothing and tells nobody.
  void Stop();
  bool IsLooking() const { return m_hThread != kNoThread; }
  // Once told: ends the search and gives the port that answered (empty
  // when none did). False when there is no search to take.
  bool TakeResult(std::string& port);

  static constexpr std::uint32_t kOpenTimeoutMs = 3000;
  static constexpr std::uint32_t kAnswerTimeoutMs = 1000;

private:
  struct Probe;
  static void SearchThread(void* finder);
  void Search();
  std::size_t StartProbes(std::size_t next, std::uint32_t elapsed);
  void EndProbes();
  void EndSearchThread();

  ICommDevice& m_comm;
  IThreads& m_threads;
  IMessages& m_messages;
  WindowHandle m_notifyWindow = 0;
  std::vector<std::string> m_ports;              // search thread only while it runs
  std::vector<std::shared_ptr<Probe>> m_probes;  // search thread only
  ThreadHandle m_hThread = kNoThread;
  std::atomic<std::int32_t> m_bStop{0};
  std::string m_found;  // written by the search thread, read after it ends
};

}  // namespace zt
