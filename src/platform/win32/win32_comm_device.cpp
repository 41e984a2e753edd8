#include "platform/win32/win32_comm_device.h"

#include <windows.h>

#include <cstring>

namespace zt {
namespace {

HANDLE ToHandle(CommHandle handle) {
  return reinterpret_cast<HANDLE>(handle);
}

static_assert(sizeof(DCB) <= sizeof(CommState::platformBlock), "DCB must fit in CommState");

}  // namespace

CommHandle Win32CommDevice::Open(const char* name) {
  HANDLE handle = ::CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE || handle == nullptr) {
    return kInvalidComm;
  }
  return reinterpret_cast<CommHandle>(handle);
}

bool Win32CommDevice::CloseHandle(CommHandle handle) {
  return ::CloseHandle(ToHandle(handle)) != FALSE;
}

bool Win32CommDevice::SetupComm(CommHandle handle, std::uint32_t inQueue, std::uint32_t outQueue) {
  return ::SetupComm(ToHandle(handle), inQueue, outQueue) != FALSE;
}

bool Win32CommDevice::GetCommState(CommHandle handle, CommState& state) {
  DCB dcb{};
  dcb.DCBlength = sizeof(dcb);
  if (::GetCommState(ToHandle(handle), &dcb) == FALSE) {
    return false;
  }
  std::memcpy(state.platformBlock, &dcb, sizeof(dcb));
  state.baudRate = dcb.BaudRate;
  state.byteSize = dcb.ByteSize;
  state.parity = dcb.Parity;
  state.stopBits = dcb.StopBits;
  state.fBinary = dcb.fBinary != 0;
  state.fParity = dcb.fParity != 0;
  state.fNull = dcb.fNull != 0;
  state.fAbortOnError = dcb.fAbortOnError != 0;
  state.fOutxCtsFlow = dcb.fOutxCtsFlow != 0;
  state.fOutxDsrFlow = dcb.fOutxDsrFlow != 0;
  state.fDsrSensitivity = dcb.fDsrSensitivity != 0;
  state.fDtrControl = static_cast<std::uint8_t>(dcb.fDtrControl);
  state.fRtsControl = static_cast<std::uint8_t>(dcb.fRtsControl);
  state.fOutX = dcb.fOutX != 0;
  state.fInX = dcb.fInX != 0;
  state.xonLim = dcb.XonLim;
  state.xoffLim = dcb.XoffLim;
  return true;
}

bool Win32CommDevice::SetCommState(CommHandle handle, const CommState& state) {
  DCB dcb{};
  std::memcpy(&dcb, state.platformBlock, sizeof(dcb));
  dcb.DCBlength = sizeof(dcb);
  dcb.BaudRate = state.baudRate;
  dcb.ByteSize = state.byteSize;
  dcb.Parity = state.parity;
  dcb.StopBits = state.stopBits;
  dcb.fBinary = state.fBinary ? 1 : 0;
  dcb.fParity = state.fParity ? 1 : 0;
  dcb.fNull = state.fNull ? 1 : 0;
  dcb.fAbortOnError = state.fAbortOnError ? 1 : 0;
  dcb.fOutxCtsFlow = state.fOutxCtsFlow ? 1 : 0;
  dcb.fOutxDsrFlow = state.fOutxDsrFlow ? 1 : 0;
  dcb.fDsrSensitivity = state.fDsrSensitivity ? 1 : 0;
  dcb.fDtrControl = state.fDtrControl & 0x3U;
  dcb.fRtsControl = state.fRtsControl & 0x3U;
  dcb.fOutX = state.fOutX ? 1 : 0;
  dcb.fInX = state.fInX ? 1 : 0;
  dcb.XonLim = state.xonLim;
  dcb.XoffLim = state.xoffLim;
  return ::SetCommState(ToHandle(handle), &dcb) != FALSE;
}

bool Win32CommDevice::SetCommTimeouts(CommHandle handle, const CommTimeouts& timeouts) {
  COMMTIMEOUTS native{};
  native.ReadIntervalTimeout = timeouts.readIntervalTimeout;
  native.ReadTotalTimeoutMultiplier = timeouts.readTotalTimeoutMultiplier;
  native.ReadTotalTimeoutConstant = timeouts.readTotalTimeoutConstant;
  native.WriteTotalTimeoutMultiplier = timeouts.writeTotalTimeoutMultiplier;
  native.WriteTotalTimeoutConstant = timeouts.writeTotalTimeoutConstant;
  return ::SetCommTimeouts(ToHandle(handle), &native) != FALSE;
}

bool Win32CommDevice::GetCommMask(CommHandle handle, std::uint32_t& mask) {
  DWORD native = 0;
  const bool ok = ::GetCommMask(ToHandle(handle), &native) != FALSE;
  mask = native;
  return ok;
}

bool Win32CommDevice::SetCommMask(CommHandle handle, std::uint32_t mask) {
  return ::SetCommMask(ToHandle(handle), mask) != FALSE;
}

bool Win32CommDevice::PurgeComm(CommHandle handle, std::uint32_t flags) {
  return ::PurgeComm(ToHandle(handle), flags) != FALSE;
}

bool Win32CommDevice::ClearCommError(CommHandle handle, std::uint32_t& errors, CommStatus& status) {
  DWORD nativeErrors = 0;
  COMSTAT stat{};
  const bool ok = ::ClearCommError(ToHandle(handle), &nativeErrors, &stat) != FALSE;
  errors = ok ? nativeErrors : 0;
  status.cbInQue = ok ? stat.cbInQue : 0;
  status.cbOutQue = ok ? stat.cbOutQue : 0;
  return ok;
}

bool Win32CommDevice::ReadFile(CommHandle handle, void* buffer, std::uint32_t size,
                               std::uint32_t& bytesRead, std::uint32_t& lastError) {
  DWORD count = 0;
  const bool ok = ::ReadFile(ToHandle(handle), buffer, size, &count, nullptr) != FALSE;
  bytesRead = count;
  lastError = ok ? 0 : ::GetLastError();
  return ok;
}

bool Win32CommDevice::WriteFile(CommHandle handle, const void* buffer, std::uint32_t size,
                                std::uint32_t& bytesWritten) {
  DWORD count = 0;
  const bool ok = ::WriteFile(ToHandle(handle), buffer, size, &count, nullptr) != FALSE;
  bytesWritten = count;
  return ok;
}

}  // namespace zt
