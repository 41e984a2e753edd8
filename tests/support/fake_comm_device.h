#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/comm_device.h"

namespace zt::test {

// A serial driver in memory: named ports that can be missing or busy, an
// input queue per open port, line errors that abort reads and writes until
// ClearCommError (as with fAbortOnError), short writes and failing reads.
// Thread-safe, so a reader thread and a test can use it at once.
class FakeCommDevice final : public ICommDevice {
public:
  static constexpr std::uint32_t kErrorOperationAborted = 995;

  void AddPort(const std::string& name);
  void SetBusy(const std::string& name, bool busy);

  // Queues bytes as if they had arrived on the line of the open port name.
  void Receive(const std::string& name, const std::vector<std::uint8_t>& bytes);
  void RaiseLineError(const std::string& name, std::uint32_t errorFlags);
  void FailNextRead(const std::string& name, std::uint32_t errorCode);
  void LimitWrites(const std::string& name, std::uint32_t maxBytesPerWrite);

  std::vector<std::uint8_t> Written(const std::string& name) const;
  CommState State(const std::string& name) const;
  CommTimeouts Timeouts(const std::string& name) const;
  std::uint32_t Mask(const std::string& name) const;
  std::vector<std::uint32_t> Purges(const std::string& name) const;
  bool IsOpen(const std::string& name) const;
  int OpenCalls() const;
  std::uint32_t QueuedBytes(const std::string& name) const;

  CommHandle Open(const char* name) override;
  bool CloseHandle(CommHandle handle) override;
  bool SetupComm(CommHandle handle, std::uint32_t inQueue, std::uint32_t outQueue) override;
  bool GetCommState(CommHandle handle, CommState& state) override;
  bool SetCommState(CommHandle handle, const CommState& state) override;
  bool SetCommTimeouts(CommHandle handle, const CommTimeouts& timeouts) override;
  bool GetCommMask(CommHandle handle, std::uint32_t& mask) override;
  bool SetCommMask(CommHandle handle, std::uint32_t mask) override;
  bool PurgeComm(CommHandle handle, std::uint32_t flags) override;
  bool ClearCommError(CommHandle handle, std::uint32_t& errors, CommStatus& status) override;
  bool ReadFile(CommHandle handle, void* buffer, std::uint32_t size, std::uint32_t& bytesRead,
                std::uint32_t& lastError) override;
  bool WriteFile(CommHandle handle, const void* buffer, std::uint32_t size,
                 std::uint32_t& bytesWritten) override;

  // Makes GetCommMask fail on the next opens of name.
  void FailGetMask(const std::string& name, bool fail);

private:
  struct Port {
    bool busy = false;
    CommHandle openHandle = kInvalidComm;
    std::deque<std::uint8_t> input;
    std::vector<std::uint8_t> written;
    std::uint32_t pendingErrors = 0;
    std::uint32_t failNextReadWith = 0;
    std::uint32_t writeLimit = UINT32_MAX;
    bool failGetMask = false;
    CommState state;
    CommTimeouts timeouts;
    std::uint32_t mask = 0;
    std::vector<std::uint32_t> purges;
  };

  Port* FindOpen(CommHandle handle);
  const Port& Named(const std::string& name) const;

  mutable std::mutex m_mutex;
  std::map<std::string, Port> m_ports;
  CommHandle m_nextHandle = 0x100;
  int m_openCalls = 0;
};

}  // namespace zt::test
