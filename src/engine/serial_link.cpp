#include "engine/serial_link.h"

namespace zt {
namespace {

// A port that is not there is tried again about once a second; a stop ends
// the pause within one step.
constexpr std::uint32_t kReconnectIntervalMs = 1000;
constexpr std::uint32_t kReconnectStepMs = 100;

}  // namespace

void CSerialLink::BeginLinkState() {
  m_linkState.store(IsOpen() ? LinkState::kConnected : LinkState::kOpening);
}

bool CSerialLink::AwaitPort() {
  if (ReopenLink()) {
    SetLinkState(LinkState::kConnected);
    return true;
  }
  return RetryUntilOpen(LinkState::kWaiting, LinkState::kCantOpen);
}

bool CSerialLink::RecoverLink() {
  CloseLink();
  return RetryUntilOpen(LinkState::kRetrying, LinkState::kLost);
}

bool CSerialLink::RetryUntilOpen(LinkState waiting, LinkState givenUp) {
  const bool retry = m_nReconnect.load(std::memory_order_relaxed) != 0;
  SetLinkState(retry ? waiting : givenUp);
  while (retry && PauseWhileRunning(kReconnectIntervalMs)) {
    if (ReopenLink()) {
      SetLinkState(LinkState::kConnected);
      return true;
    }
  }
  return false;
}

bool CSerialLink::PauseWhileRunning(std::uint32_t milliseconds) {
  for (std::uint32_t slept = 0; slept < milliseconds && m_bRunning.load() != 0;
       slept += kReconnectStepMs) {
    m_threads.Sleep(kReconnectStepMs);
  }
  return m_bRunning.load() != 0;
}

void CSerialLink::SetLinkState(LinkState state) {
  m_linkState.store(state);
  OnLinkState(state);
}

}  // namespace zt
