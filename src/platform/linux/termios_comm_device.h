#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include "platform/comm_device.h"
#include "platform/log.h"

namespace zt {

// ICommDevice over a POSIX terminal device (a serial port, a USB adapter,
// a pseudo-terminal): opened non-blocking and exclusive (TIOCEXCL, and an
// flock that root cannot bypass), line settings through termios, a wait
// for bytes in poll() beside an eventfd that a cancellation writes to, so
// an idle line costs nothing. A device that goes away (the far end of a
// pseudo-terminal closed, an adapter pulled) fails its waits and reads with
// ERROR_DEVICE_NOT_CONNECTED, which the serial port takes for a lost link.
// The handle is the file descriptor. With a log, an open that fails says
// why, once for each port and reason, until the port opens.
class TermiosCommDevice final : public ICommDevice {
public:
  explicit TermiosCommDevice(ILog* log = nullptr) : m_log(log) {}
  TermiosCommDevice(const TermiosCommDevice&) = delete;
  TermiosCommDevice& operator=(const TermiosCommDevice&) = delete;
  ~TermiosCommDevice() override;

  // name: a device path (/dev/ttyUSB0, /dev/serial/by-id/...).
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
  ByteWait WaitForByte(CommHandle handle, std::uint8_t& byte, std::uint32_t& lastError) override;
  void CancelWait(CommHandle handle) override;

private:
  struct Port {
    int cancelEvent = -1;
    std::uint32_t mask = 0;
    std::uint32_t writeTimeoutMs = 0;
  };
  // The port a handle opened, copied under the lock; false when none.
  bool Find(CommHandle handle, Port& port);
  // Logs why name did not open, unless that was said last time.
  void SayWhy(const std::string& name, const std::string& why);

  // As in the Win32 device: an entry is made once the descriptor is open
  // and taken out before it is closed, both under the lock, since the
  // system hands a closed descriptor's number out again at once. Only the
  // caller that opened a handle closes it; CancelWait may come from any
  // thread.
  std::mutex m_lock;
  std::map<CommHandle, Port> m_ports;
  ILog* m_log;
  std::map<std::string, std::string> m_openFailures;  // the reason last said, by port
};

}  // namespace zt
