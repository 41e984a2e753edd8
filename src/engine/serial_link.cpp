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
  if (m_bRunning.load() == 0) {
    return false;  // stopped before it began
  }
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

namespace {

constexpr char kEmDash[] = "\xE2\x80\x94";
constexpr char kEllipsis[] = "\xE2\x80\xA6";

}  // namespace

std::string LinkStateText(LinkState state, const std::string& port) {
  switch (state) {
    case LinkState::kOpening:
      return "Opening " + port + kEllipsis;
    case LinkState::kConnected:
      return "Connected";
    case LinkState::kWaiting:
      return "Waiting for " + port + " " + kEmDash + " retrying";
    case LinkState::kCantOpen:
      return "Can't Open " + port;
    case LinkState::kRetrying:
      return "No touch screen on " + port + " " + kEmDash + " retrying";
    case LinkState::kLost:
      break;
  }
  return "No touch screen on " + port;
}

}  // namespace zt
