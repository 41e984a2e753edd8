#include "platform/win32/win32_comm_device.h"

#include <windows.h>

#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace zt {
namespace {

HANDLE ToHandle(CommHandle handle) {
  return reinterpret_cast<HANDLE>(handle);
}

static_assert(sizeof(DCB) <= sizeof(CommState::platformBlock), "DCB must fit in CommState");

CommHandle OpenPort(const std::string& name) {
  HANDLE handle = ::CreateFileA(CommDevicePath(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  return handle == INVALID_HANDLE_VALUE || handle == nullptr ? kInvalidComm
                                                             : reinterpret_cast<CommHandle>(handle);
}

// On the close's own thread: a purge may block as long as the close.
void ClosePort(CommHandle handle) {
  ::PurgeComm(ToHandle(handle), PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
  ::CloseHandle(ToHandle(handle));
}

// One read or write of bytes on the heap, with its own block, event and
// bytes: one that the driver does not let go of in time is left to it
// (never freed), so that the driver never writes into freed memory.
struct OverlappedIo {
  explicit OverlappedIo(std::uint32_t size) : bytes(size) {
    overlapped.hEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  }
  ~OverlappedIo() {
    if (overlapped.hEvent != nullptr) {
      ::CloseHandle(overlapped.hEvent);
    }
  }
  OverlappedIo(const OverlappedIo&) = delete;
  OverlappedIo& operator=(const OverlappedIo&) = delete;

  OVERLAPPED overlapped{};
  std::vector<std::uint8_t> bytes;
};

// Runs one read or write, started by start(*io), to its end or for limitMs
// at most; one not done by then is cancelled and, if the driver keeps it
// beyond kCancelLimitMs as well, abandoned to it (io lets go of it). False
// with the error code when it fails.
template <typename Start>
bool RunBounded(HANDLE handle, std::unique_ptr<OverlappedIo>& io, DWORD limitMs, DWORD& count,
                std::uint32_t& lastError, Start start) {
  count = 0;
  lastError = ERROR_NOT_ENOUGH_MEMORY;
  if (io->overlapped.hEvent == nullptr) {
    return false;
  }
  if (start(*io) == FALSE && ::GetLastError() != ERROR_IO_PENDING) {
    lastError = ::GetLastError();
    return false;
  }
  if (::WaitForSingleObject(io->overlapped.hEvent, limitMs) != WAIT_OBJECT_0) {
    ::CancelIoEx(handle, &io->overlapped);
    if (::WaitForSingleObject(io->overlapped.hEvent, kCancelLimitMs) != WAIT_OBJECT_0) {
      (void)io.release();  // NOLINT(bugprone-unused-return-value): the driver still owns it
      lastError = ERROR_OPERATION_ABORTED;
      return false;
    }
  }
  if (::GetOverlappedResult(handle, &io->overlapped, &count, FALSE) == FALSE) {
    lastError = ::GetLastError();
    return false;
  }
  lastError = 0;
  return true;
}

// A read of bytes that have arrived completes at once; one that does not
// is waited for as long as a write.
constexpr DWORD kReadLimitMs = kWriteLimitMs;

}  // namespace

// The wait for a byte and its cancellation, for each open port: the reader
// thread reads and waits, any thread cancels.
struct Win32CommDevice::PortEvents {
  explicit PortEvents(std::string portKey)
      : key(std::move(portKey)),
        read(::CreateEventA(nullptr, TRUE, FALSE, nullptr)),
        cancel(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
  ~PortEvents() {
    for (HANDLE event : {read, cancel}) {
      if (event != nullptr) {
        ::CloseHandle(event);
      }
    }
  }
  PortEvents(const PortEvents&) = delete;
  PortEvents& operator=(const PortEvents&) = delete;
  bool Made() const { return read != nullptr && cancel != nullptr; }

  const std::string key;
  HANDLE read;
  HANDLE cancel;
  // The waiting read's block and byte live here, not on the reader's
  // stack, so that a read the driver never completes cannot write into
  // freed memory: such a port's events are kept for good (abandoned).
  OVERLAPPED pendingRead{};
  std::uint8_t readByte = 0;
  bool abandoned = false;
};

Win32CommDevice::Win32CommDevice() : m_openClose(OpenPort, ClosePort) {}

Win32CommDevice::~Win32CommDevice() = default;

std::shared_ptr<Win32CommDevice::PortEvents> Win32CommDevice::Events(CommHandle handle) {
  std::lock_guard<std::mutex> lock(m_lock);
  const auto found = m_ports.find(handle);
  return found == m_ports.end() ? nullptr : found->second;
}

// An entry still in the table for a value the system hands out anew
// belongs to a handle closed behind our back: it is not overwritten (its
// read block may still belong to the driver), and the open fails.
CommHandle Win32CommDevice::Open(const char* name) {
  const std::string portName = name == nullptr ? "" : name;
  const CommHandle handle = m_openClose.Open(portName);
  if (handle == kInvalidComm) {
    return kInvalidComm;
  }
  auto events = std::make_shared<PortEvents>(PortKey(portName));
  bool entered = false;
  if (events->Made()) {
    std::lock_guard<std::mutex> lock(m_lock);
    entered = m_ports.try_emplace(handle, std::move(events)).second;
  }
  if (!entered) {
    m_openClose.Close(portName, handle);
    return kInvalidComm;
  }
  return handle;
}

bool Win32CommDevice::IsOpening(const char* name) {
  return m_openClose.IsOpening(name == nullptr ? "" : name);
}

void Win32CommDevice::GiveUpOpen(const char* name) {
  m_openClose.GiveUp(name == nullptr ? "" : name);
}

// The entry goes before the system's close, so that no other open can be
// handed the value while it is still in the table. The close itself may
// take seconds (a Bluetooth port): it goes on without the caller.
bool Win32CommDevice::CloseHandle(CommHandle handle) {
  std::shared_ptr<PortEvents> events;
  {
    std::lock_guard<std::mutex> lock(m_lock);
    const auto found = m_ports.find(handle);
    if (found == m_ports.end()) {
      return false;
    }
    events = std::move(found->second);
    m_ports.erase(found);
  }
  if (events->abandoned) {
    // The driver may still write into the read's block: it is never freed.
    new std::shared_ptr<PortEvents>(events);  // NOLINT(cppcoreguidelines-owning-memory)
  }
  m_openClose.Close(events->key, handle);
  return true;
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
  bytesRead = 0;
  lastError = ERROR_INVALID_HANDLE;
  const std::shared_ptr<PortEvents> events = Events(handle);
  if (!events) {
    return false;
  }
  auto io = std::make_unique<OverlappedIo>(size);
  DWORD count = 0;
  const bool ok =
      RunBounded(ToHandle(handle), io, kReadLimitMs, count, lastError, [&](OverlappedIo& read) {
        return ::ReadFile(ToHandle(handle), read.bytes.data(), size, nullptr, &read.overlapped);
      });
  if (ok) {
    std::memcpy(buffer, io->bytes.data(), count);
    bytesRead = count;
  }
  return ok;
}

bool Win32CommDevice::WriteFile(CommHandle handle, const void* buffer, std::uint32_t size,
                                std::uint32_t& bytesWritten) {
  bytesWritten = 0;
  if (!Events(handle)) {
    return false;
  }
  auto io = std::make_unique<OverlappedIo>(size);
  std::memcpy(io->bytes.data(), buffer, size);
  DWORD count = 0;
  std::uint32_t lastError = 0;
  const bool ok =
      RunBounded(ToHandle(handle), io, kWriteLimitMs, count, lastError, [&](OverlappedIo& write) {
        return ::WriteFile(ToHandle(handle), write.bytes.data(), size, nullptr, &write.overlapped);
      });
  bytesWritten = count;
  return ok;
}

// A read of one byte that stays pending while the line is silent: with no
// read time-outs (all three COMMTIMEOUTS read members zero) a read on
// Windows completes only once the bytes it asks for have arrived. It is
// waited for together with the port's cancellation event. A cancellation,
// or a wait that fails, cancels the read (CancelIoEx) and waits for the
// system to let go of it, at most kCancelLimitMs.
ByteWait Win32CommDevice::WaitForByte(CommHandle handle, std::uint8_t& byte,
                                      std::uint32_t& lastError) {
  const std::shared_ptr<PortEvents> events = Events(handle);
  if (!events || events->abandoned) {
    lastError = ERROR_INVALID_HANDLE;
    return ByteWait::kFailed;
  }
  OVERLAPPED& overlapped = events->pendingRead;
  overlapped = OVERLAPPED{};
  overlapped.hEvent = events->read;
  lastError = 0;
  if (::ReadFile(ToHandle(handle), &events->readByte, 1, nullptr, &overlapped) == FALSE &&
      ::GetLastError() != ERROR_IO_PENDING) {
    lastError = ::GetLastError();
    return ByteWait::kFailed;
  }
  const HANDLE waits[] = {events->read, events->cancel};
  const DWORD woken = ::WaitForMultipleObjects(2, waits, FALSE, INFINITE);
  const bool cancelled = woken == WAIT_OBJECT_0 + 1;
  if (woken != WAIT_OBJECT_0) {
    ::CancelIoEx(ToHandle(handle), &overlapped);
    if (::WaitForSingleObject(events->read, kCancelLimitMs) != WAIT_OBJECT_0) {
      events->abandoned = true;
      lastError = ERROR_INVALID_HANDLE;
      return cancelled ? ByteWait::kCancelled : ByteWait::kFailed;
    }
  }
  DWORD count = 0;
  const bool done = ::GetOverlappedResult(ToHandle(handle), &overlapped, &count, FALSE) != FALSE;
  const DWORD readError = done ? 0 : ::GetLastError();
  if (done && count == 1) {
    byte = events->readByte;
    return ByteWait::kByte;  // also when it came with the cancellation
  }
  if (cancelled) {
    lastError = ERROR_OPERATION_ABORTED;
    return ByteWait::kCancelled;
  }
  // A wait that failed leaves a handle that cannot be waited on: the link
  // is gone. A read that ends without its byte and without an error: the
  // other end of the line is gone (as a closed pseudo-terminal under Wine).
  lastError = woken != WAIT_OBJECT_0 ? ERROR_INVALID_HANDLE : done ? ERROR_NOT_READY : readError;
  return ByteWait::kFailed;
}

void Win32CommDevice::CancelWait(CommHandle handle) {
  std::lock_guard<std::mutex> lock(m_lock);
  const auto found = m_ports.find(handle);
  if (found != m_ports.end()) {
    ::SetEvent(found->second->cancel);
  }
}

}  // namespace zt
