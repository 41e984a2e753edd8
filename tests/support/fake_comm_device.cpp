#include "fake_comm_device.h"

#include <algorithm>
#include <cstring>

namespace zt::test {

using Lock = std::lock_guard<std::mutex>;

void FakeCommDevice::AddPort(const std::string& name) {
  Lock lock(m_mutex);
  m_ports[name];
}

void FakeCommDevice::SetBusy(const std::string& name, bool busy) {
  Lock lock(m_mutex);
  m_ports[name].busy = busy;
}

void FakeCommDevice::Receive(const std::string& name, const std::vector<std::uint8_t>& bytes) {
  Lock lock(m_mutex);
  Port& port = m_ports[name];
  port.input.insert(port.input.end(), bytes.begin(), bytes.end());
}

void FakeCommDevice::RaiseLineError(const std::string& name, std::uint32_t errorFlags) {
  Lock lock(m_mutex);
  m_ports[name].pendingErrors |= errorFlags;
}

void FakeCommDevice::FailNextRead(const std::string& name, std::uint32_t errorCode) {
  Lock lock(m_mutex);
  m_ports[name].failNextReadWith = errorCode;
}

void FakeCommDevice::LimitWrites(const std::string& name, std::uint32_t maxBytesPerWrite) {
  Lock lock(m_mutex);
  m_ports[name].writeLimit = maxBytesPerWrite;
}

void FakeCommDevice::FailGetMask(const std::string& name, bool fail) {
  Lock lock(m_mutex);
  m_ports[name].failGetMask = fail;
}

const FakeCommDevice::Port& FakeCommDevice::Named(const std::string& name) const {
  static const Port kMissing;
  auto found = m_ports.find(name);
  return found == m_ports.end() ? kMissing : found->second;
}

std::vector<std::uint8_t> FakeCommDevice::Written(const std::string& name) const {
  Lock lock(m_mutex);
  return Named(name).written;
}

CommState FakeCommDevice::State(const std::string& name) const {
  Lock lock(m_mutex);
  return Named(name).state;
}

CommTimeouts FakeCommDevice::Timeouts(const std::string& name) const {
  Lock lock(m_mutex);
  return Named(name).timeouts;
}

std::uint32_t FakeCommDevice::Mask(const std::string& name) const {
  Lock lock(m_mutex);
  return Named(name).mask;
}

std::vector<std::uint32_t> FakeCommDevice::Purges(const std::string& name) const {
  Lock lock(m_mutex);
  return Named(name).purges;
}

bool FakeCommDevice::IsOpen(const std::string& name) const {
  Lock lock(m_mutex);
  return Named(name).openHandle != kInvalidComm;
}

int FakeCommDevice::OpenCalls() const {
  Lock lock(m_mutex);
  return m_openCalls;
}

std::uint32_t FakeCommDevice::QueuedBytes(const std::string& name) const {
  Lock lock(m_mutex);
  return static_cast<std::uint32_t>(Named(name).input.size());
}

FakeCommDevice::Port* FakeCommDevice::FindOpen(CommHandle handle) {
  for (auto& [name, port] : m_ports) {
    if (handle != kInvalidComm && port.openHandle == handle) {
      return &port;
    }
  }
  return nullptr;
}

CommHandle FakeCommDevice::Open(const char* name) {
  Lock lock(m_mutex);
  ++m_openCalls;
  auto found = m_ports.find(name == nullptr ? "" : name);
  if (found == m_ports.end() || found->second.busy || found->second.openHandle != kInvalidComm) {
    return kInvalidComm;
  }
  Port& port = found->second;
  port.openHandle = m_nextHandle++;
  // A freshly opened driver reports a one-stop-bit 1200-baud line with
  // every flag off, so the test sees which members the port changed.
  port.state = CommState{};
  port.state.baudRate = 1200;
  port.state.byteSize = 7;
  port.state.stopBits = 0;
  port.mask = port.failGetMask ? 0 : 0x0004;
  return port.openHandle;
}

bool FakeCommDevice::CloseHandle(CommHandle handle) {
  Lock lock(m_mutex);
  Port* port = FindOpen(handle);
  if (port == nullptr) {
    return false;
  }
  port->openHandle = kInvalidComm;
  port->pendingErrors = 0;
  return true;
}

bool FakeCommDevice::SetupComm(CommHandle handle, std::uint32_t /*inQueue*/,
                               std::uint32_t /*outQueue*/) {
  Lock lock(m_mutex);
  return FindOpen(handle) != nullptr;
}

bool FakeCommDevice::GetCommState(CommHandle handle, CommState& state) {
  Lock lock(m_mutex);
  Port* port = FindOpen(handle);
  if (port == nullptr) {
    return false;
  }
  state = port->state;
  return true;
}

bool FakeCommDevice::SetCommState(CommHandle handle, const CommState& state) {
  Lock lock(m_mutex);
  Port* port = FindOpen(handle);
  if (port == nullptr) {
    return false;
  }
  port->state = state;
  return true;
}

bool FakeCommDevice::SetCommTimeouts(CommHandle handle, const CommTimeouts& timeouts) {
  Lock lock(m_mutex);
  Port* port = FindOpen(handle);
  if (port == nullptr) {
    return false;
  }
  port->timeouts = timeouts;
  return true;
}

bool FakeCommDevice::GetCommMask(CommHandle handle, std::uint32_t& mask) {
  Lock lock(m_mutex);
  Port* port = FindOpen(handle);
  if (port == nullptr || port->failGetMask) {
    return false;
  }
  mask = port->mask;
  return true;
}

bool FakeCommDevice::SetCommMask(CommHandle handle, std::uint32_t mask) {
  Lock lock(m_mutex);
  Port* port = FindOpen(handle);
  if (port == nullptr) {
    return false;
  }
  port->mask = mask;
  return true;
}

bool FakeCommDevice::PurgeComm(CommHandle handle, std::uint32_t flags) {
  Lock lock(m_mutex);
  Port* port = FindOpen(handle);
  if (port == nullptr) {
    return false;
  }
  port->purges.push_back(flags);
  if ((flags & comm::kPurgeRxClear) != 0) {
    port->input.clear();
  }
  return true;
}

bool FakeCommDevice::ClearCommError(CommHandle handle, std::uint32_t& errors, CommStatus& status) {
  Lock lock(m_mutex);
  Port* port = FindOpen(handle);
  if (port == nullptr) {
    errors = 0;
    return false;
  }
  errors = port->pendingErrors;
  port->pendingErrors = 0;
  status.cbInQue = static_cast<std::uint32_t>(port->input.size());
  status.cbOutQue = 0;
  return true;
}

bool FakeCommDevice::ReadFile(CommHandle handle, void* buffer, std::uint32_t size,
                              std::uint32_t& bytesRead, std::uint32_t& lastError) {
  Lock lock(m_mutex);
  bytesRead = 0;
  Port* port = FindOpen(handle);
  if (port == nullptr) {
    lastError = 6;  // ERROR_INVALID_HANDLE
    return false;
  }
  if (port->failNextReadWith != 0) {
    lastError = port->failNextReadWith;
    port->failNextReadWith = 0;
    return false;
  }
  if (port->pendingErrors != 0) {
    lastError = kErrorOperationAborted;
    return false;
  }
  const auto count = std::min<std::size_t>(size, port->input.size());
  auto* target = static_cast<std::uint8_t*>(buffer);
  std::copy_n(port->input.begin(), count, target);
  port->input.erase(port->input.begin(), port->input.begin() + static_cast<std::ptrdiff_t>(count));
  bytesRead = static_cast<std::uint32_t>(count);
  lastError = 0;
  return true;
}

bool FakeCommDevice::WriteFile(CommHandle handle, const void* buffer, std::uint32_t size,
                               std::uint32_t& bytesWritten) {
  Lock lock(m_mutex);
  bytesWritten = 0;
  Port* port = FindOpen(handle);
  if (port == nullptr || port->pendingErrors != 0) {
    return false;
  }
  const std::uint32_t count = std::min(size, port->writeLimit);
  const auto* source = static_cast<const std::uint8_t*>(buffer);
  port->written.insert(port->written.end(), source, source + count);
  bytesWritten = count;
  return count == size;
}

}  // namespace zt::test
