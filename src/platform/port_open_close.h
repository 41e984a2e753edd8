// Opens and closes of ports that may block for seconds (a Bluetooth serial
// port connecting or hanging up), run so that no caller waits longer than a
// bound and no handle is lost on the way.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/comm_device.h"

namespace zt {

// Each open runs on a thread of its own. The caller waits for it at most
// kOpenLimitMs; an open that takes longer goes on, and the handle it
// brings is kept for the next open of the same port, which takes it at
// once (a port that opens in two seconds connects on the try after). A
// handle nobody takes within kLateHandleKeepMs, or that arrives after
// this object has gone, is closed by its own thread. Each close runs on a
// thread of its own too, waited for at most kCloseLimitMs; an open of a
// port whose close is still under way waits for that close first (within
// its own limit). Ports are told apart by PortKey; one open of a port runs
// at a time. At most kMaxThreads threads run at once: beyond them an open
// fails at once and a close runs on the caller's thread.
//
// The threads hold only state shared with them, never this object, so
// they may outlive it; the open and close calls given must stay callable
// until WaitUntilIdle says they have all ended.
class CPortOpenClose {
public:
  using OpenCall = std::function<CommHandle(const std::string& name)>;
  using CloseCall = std::function<void(CommHandle handle)>;

  static constexpr std::uint32_t kCloseLimitMs = 500;
  static constexpr std::uint32_t kLateHandleKeepMs = 5000;
  static constexpr int kMaxThreads = 32;

  CPortOpenClose(OpenCall open, CloseCall close, std::uint32_t openLimitMs = kOpenLimitMs);
  CPortOpenClose(const CPortOpenClose&) = delete;
  CPortOpenClose& operator=(const CPortOpenClose&) = delete;
  // Late handles waiting to be taken are closed by their threads.
  ~CPortOpenClose();
  // Closes the late handles waiting to be taken (as the destructor does),
  // and every one that arrives from now on.
  void CloseLateHandles();

  // The handle of name, or kInvalidComm when it did not open within
  // kOpenLimitMs (IsOpening then says whether it may still).
  CommHandle Open(const std::string& name);
  // Whether an open of name that outlived its caller is still under way.
  bool IsOpening(const std::string& name) const;
  // Nobody will try name again (a search that passed it over, an engine
  // that stops): a handle its open brings late is closed as it arrives.
  void GiveUp(const std::string& name);
  // Closes a handle that Open gave for name.
  void Close(const std::string& name, CommHandle handle);
  // Waits until every thread has ended, at most limitMs; whether they have.
  bool WaitUntilIdle(std::uint32_t limitMs) const;

private:
  struct Shared;
  std::shared_ptr<Shared> m_shared;
  std::uint32_t m_openLimitMs;
};

}  // namespace zt
