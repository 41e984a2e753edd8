#pragma once

#include "platform/comm_device.h"

namespace zt {

// ICommDevice over the Win32 communications API.
class Win32CommDevice final : public ICommDevice {
public:
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
};

}  // namespace zt
