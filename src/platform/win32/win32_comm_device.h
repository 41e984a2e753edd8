#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/comm_device.h"
#include "platform/port_open_close.h"

namespace zt {

// ICommDevice over the Win32 communications API. Ports are opened for
// overlapped I/O: every read and write waits for its own completion (within
// its limit), so the calls behave as synchronous ones, but a read that
// waits for bytes does not hold up a write from another thread (the system
// serializes synchronous I/O on one handle; it does not serialize
// overlapped I/O). Opens and closes run through CPortOpenClose.
class Win32CommDevice final : public ICommDevice {
public:
  Win32CommDevice();
  ~Win32CommDevice() override;

  CommHandle Open(const char* name) override;
  bool IsOpening(const char* name) override;
  void GiveUpOpen(const char* name) override;
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
  ByteWait WaitForByte(CommHandle handle, std::uint8_t& byte, std::uint32_t& lastError) override;
  void CancelWait(CommHandle handle) override;

private:
  struct PortEvents;
  // The events of an open port, or none; a call holds them while it runs,
  // so that they outlive a call that is still in the driver.
  std::shared_ptr<PortEvents> Events(CommHandle handle);

  // Guards the table. A handle's entry is made by Open once the system has
  // handed the handle out, and taken out by CloseHandle before the system
  // closes it, both under this lock: the system hands a closed value out
  // again at once, so an entry must never outlive its handle or be
  // overwritten by the next one. CancelWait may come from any thread and
  // reads the table under the lock.
  std::mutex m_lock;
  std::map<CommHandle, std::shared_ptr<PortEvents>> m_ports;
  CPortOpenClose m_openClose;
};

}  // namespace zt
