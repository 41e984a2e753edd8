#include "platform/win32/win32_comm_device.h"

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <string>
#include <system_error>
#include <thread>

namespace zt {
namespace {

HANDLE ToHandle(CommHandle handle) {
  return reinterpret_cast<HANDLE>(handle);
}

// How long a cancelled read is waited for before the port is let go of
// anyway: a driver that never completes a cancel must not hang a stop.
constexpr DWORD kCancelGraceMs = 1000;

static_assert(sizeof(DCB) <= sizeof(CommState::platformBlock), "DCB must fit in CommState");

// Runs one overlapped operation to its end: started by start(overlapped),
// then waited for. False with the error code when it fails.
template <typename Start>
bool Complete(HANDLE handle, HANDLE event, DWORD& count, std::uint32_t& lastError, Start start) {
  OVERLAPPED overlapped{};
  overlapped.hEvent = event;
  count = 0;
  lastError = 0;
  if (start(overlapped) == FALSE && ::GetLastError() != ERROR_IO_PENDING) {
    lastError = ::GetLastError();
    return false;
  }
  if (::GetOverlappedResult(handle, &overlapped, &count, TRUE) == FALSE) {
    lastError = ::GetLastError();
    return false;
  }
  return true;
}

}  // namespace

// A read, a write and a cancellation event for each open port: the reader
// thread reads and waits, the user-interface thread writes and cancels.
struct Win32CommDevice::PortEvents {
  PortEvents()
      : read(::CreateEventA(nullptr, TRUE, FALSE, nullptr)),
        write(::CreateEventA(nullptr, TRUE, FALSE, nullptr)),
        cancel(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
  ~PortEvents() {
    for (HANDLE event : {read, write, cancel}) {
      if (event != nullptr) {
        ::CloseHandle(event);
      }
    }
  }
  PortEvents(const PortEvents&) = delete;
  PortEvents& operator=(const PortEvents&) = delete;
  bool Made() const { return read != nullptr && write != nullptr && cancel != nullptr; }

  HANDLE read;
  HANDLE write;
  HANDLE cancel;
  // The waiting read's block and byte live here, not on the reader's
  // stack, so that a read the driver never completes cannot write into
  // freed memory: such a port's events are kept for good (abandoned).
  OVERLAPPED pendingRead{};
  std::uint8_t readByte = 0;
  bool abandoned = false;
};

// An open running on a thread of its own. The thread holds the only state
// it touches (this record), never the device, so it may outlive the device
// and end at any time: when nobody waits for the handle any more, the
// thread closes it itself.
struct Win32CommDevice::PendingOpen {
  std::mutex lock;
  std::condition_variable done;
  bool finished = false;
  bool abandoned = false;
  HANDLE handle = INVALID_HANDLE_VALUE;

  static void Run(const std::shared_ptr<PendingOpen>& open, const std::string& path) {
    HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    std::lock_guard<std::mutex> guard(open->lock);
    open->finished = true;
    if (open->abandoned && handle != INVALID_HANDLE_VALUE && handle != nullptr) {
      ::CloseHandle(handle);
      handle = INVALID_HANDLE_VALUE;
    }
    open->handle = handle;
    open->done.notify_all();
  }
};

Win32CommDevice::Win32CommDevice() = default;

// Opens still pending close their handles themselves when they end.
Win32CommDevice::~Win32CommDevice() {
  for (auto& [path, open] : m_pendingOpens) {
    std::lock_guard<std::mutex> guard(open->lock);
    open->abandoned = true;
  }
}

void* Win32CommDevice::OpenWithinLimit(const std::string& path) {
  std::shared_ptr<PendingOpen> open;
  {
    std::lock_guard<std::mutex> lock(m_lock);
    open = m_pendingOpens[path];
    m_pendingOpens.erase(path);
  }
  if (open) {
    std::lock_guard<std::mutex> guard(open->lock);
    open->abandoned = open->finished;  // one that ended already closed its handle
  }
  if (!open || open->finished) {
    open = std::make_shared<PendingOpen>();
    try {
      std::thread(&PendingOpen::Run, open, path).detach();
    } catch (const std::system_error&) {
      return INVALID_HANDLE_VALUE;
    }
  }
  std::unique_lock<std::mutex> guard(open->lock);
  if (open->done.wait_for(guard, std::chrono::milliseconds(kOpenLimitMs),
                          [&] { return open->finished; })) {
    return open->handle;
  }
  open->abandoned = true;
  guard.unlock();
  std::lock_guard<std::mutex> lock(m_lock);
  m_pendingOpens[path] = open;
  return INVALID_HANDLE_VALUE;
}

Win32CommDevice::PortEvents* Win32CommDevice::Events(CommHandle handle) {
  std::lock_guard<std::mutex> lock(m_lock);
  const auto found = m_ports.find(handle);
  return found == m_ports.end() ? nullptr : found->second.get();
}

// An entry still in the table for a value the system hands out anew
// belongs to a handle closed behind our back: it is not overwritten (its
// read block may still belong to the driver), and the open fails.
CommHandle Win32CommDevice::Open(const char* name) {
  HANDLE handle = OpenWithinLimit(CommDevicePath(name == nullptr ? "" : name));
  if (handle == INVALID_HANDLE_VALUE || handle == nullptr) {
    return kInvalidComm;
  }
  auto events = std::make_unique<PortEvents>();
  bool entered = false;
  if (events->Made()) {
    std::lock_guard<std::mutex> lock(m_lock);
    entered = m_ports.try_emplace(reinterpret_cast<CommHandle>(handle), std::move(events)).second;
  }
  if (!entered) {
    ::CloseHandle(handle);
    return kInvalidComm;
  }
  return reinterpret_cast<CommHandle>(handle);
}

// The entry goes before the system's close, so that no other open can be
// handed the value while it is still in the table.
bool Win32CommDevice::CloseHandle(CommHandle handle) {
  std::unique_ptr<PortEvents> events;
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
    (void)events.release();  // NOLINT(bugprone-unused-return-value): the driver may still write
  }
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
  PortEvents* events = Events(handle);
  DWORD count = 0;
  lastError = ERROR_INVALID_HANDLE;
  const bool ok = events != nullptr &&
                  Complete(ToHandle(handle), events->read, count, lastError, [&](OVERLAPPED& o) {
                    return ::ReadFile(ToHandle(handle), buffer, size, nullptr, &o);
                  });
  bytesRead = count;
  return ok;
}

bool Win32CommDevice::WriteFile(CommHandle handle, const void* buffer, std::uint32_t size,
                                std::uint32_t& bytesWritten) {
  PortEvents* events = Events(handle);
  DWORD count = 0;
  std::uint32_t lastError = 0;
  const bool ok = events != nullptr &&
                  Complete(ToHandle(handle), events->write, count, lastError, [&](OVERLAPPED& o) {
                    return ::WriteFile(ToHandle(handle), buffer, size, nullptr, &o);
                  });
  bytesWritten = count;
  return ok;
}

// A read of one byte that stays pending while the line is silent: with no
// read time-outs (all three COMMTIMEOUTS read members zero) a read on
// Windows completes only once the bytes it asks for have arrived. It is
// waited for together with the port's cancellation event. A cancellation,
// or a wait that fails, cancels the read (CancelIoEx) and waits for the
// system to let go of it, at most kCancelGraceMs.
ByteWait Win32CommDevice::WaitForByte(CommHandle handle, std::uint8_t& byte,
                                      std::uint32_t& lastError) {
  PortEvents* events = Events(handle);
  if (events == nullptr || events->abandoned) {
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
    if (::WaitForSingleObject(events->read, kCancelGraceMs) != WAIT_OBJECT_0) {
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
