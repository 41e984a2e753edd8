#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

namespace zt {

// The name a port is opened by: the device namespace ("\\.\" before
// the name), since only COM1 to COM9 are also bare device names; a name
// that already starts with two backslashes is used as it stands.
inline std::string CommDevicePath(const std::string& name) {
  return name.rfind("\\\\", 0) == 0 ? name : "\\\\.\\" + name;
}

// The name without the device-namespace prefix: "\\.\COM3" is "COM3".
inline std::string_view BarePortName(std::string_view name) {
  constexpr std::string_view kDeviceNamespace = "\\\\.\\";
  return name.substr(0, kDeviceNamespace.size()) == kDeviceNamespace
             ? name.substr(kDeviceNamespace.size())
             : name;
}

// What tells ports apart: the bare name in capitals, so that "com3",
// "COM3" and "\\.\COM3" are one port.
inline std::string PortKey(std::string_view name) {
  std::string key(BarePortName(name));
  for (char& c : key) {
    c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
  }
  return key;
}

// Whether two names open the same port.
inline bool IsSamePort(std::string_view first, std::string_view second) {
  return PortKey(first) == PortKey(second);
}

// Whether a text can name a port: a device name ("COM12", "CNCA0",
// "BthModem0"), bare or in the device namespace, of letters, digits, '_',
// '-' and '.', shorter than the longest name a port is kept by (1 023). A
// status text ("Can't Open") or a path is not a port name.
inline bool IsPortName(std::string_view text) {
  constexpr std::size_t kLongest = 1023;
  const std::string_view bare = BarePortName(text);
  const auto allowed = [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == '.';
  };
  return !bare.empty() && text.size() <= kLongest && std::all_of(bare.begin(), bare.end(), allowed);
}

// The longest a caller waits for a port to open. The open itself may take
// longer (a Bluetooth serial port connecting takes one to three seconds):
// it goes on without the caller, and the handle it brings is kept for the
// caller's next try of the same port, which takes it at once. So a port
// that is slow to open connects on the try after its open has completed,
// and a stop never waits for a driver's open.
inline constexpr std::uint32_t kOpenLimitMs = 800;

// Opaque handle of an open communications device; kInvalidComm means none.
using CommHandle = std::uintptr_t;
inline constexpr CommHandle kInvalidComm = 0;

// The members of the platform's device-control block that the serial port
// reads and changes. Members not listed here are kept by the implementation
// exactly as the device reported them.
struct CommState {
  std::uint32_t baudRate = 0;
  std::uint8_t byteSize = 0;
  std::uint8_t parity = 0;
  std::uint8_t stopBits = 0;
  bool fBinary = false;
  bool fParity = false;
  bool fNull = false;
  bool fAbortOnError = false;
  bool fOutxCtsFlow = false;
  bool fOutxDsrFlow = false;
  bool fDsrSensitivity = false;
  std::uint8_t fDtrControl = 0;
  std::uint8_t fRtsControl = 0;
  bool fOutX = false;
  bool fInX = false;
  std::uint16_t xonLim = 0;
  std::uint16_t xoffLim = 0;
  // The platform's whole control block as the device reported it, so that
  // the members not listed above survive a get/change/set round trip.
  alignas(8) unsigned char platformBlock[64] = {};
};

struct CommTimeouts {
  std::uint32_t readIntervalTimeout = 0;
  std::uint32_t readTotalTimeoutMultiplier = 0;
  std::uint32_t readTotalTimeoutConstant = 0;
  std::uint32_t writeTotalTimeoutMultiplier = 0;
  std::uint32_t writeTotalTimeoutConstant = 0;
};

// What ClearCommError reports besides the error flags.
struct CommStatus {
  std::uint32_t cbInQue = 0;
  std::uint32_t cbOutQue = 0;
};

// Platform values the serial port passes through the seam.
namespace comm {
inline constexpr std::uint8_t kNoParity = 0;
inline constexpr std::uint8_t kTwoStopBits = 2;
inline constexpr std::uint8_t kDtrControlEnable = 1;
inline constexpr std::uint8_t kDtrControlHandshake = 2;
inline constexpr std::uint8_t kRtsControlEnable = 1;
inline constexpr std::uint8_t kRtsControlHandshake = 2;
inline constexpr std::uint32_t kEvRxChar = 0x0001;
inline constexpr std::uint32_t kPurgeTxAbort = 0x0001;
inline constexpr std::uint32_t kPurgeRxAbort = 0x0002;
inline constexpr std::uint32_t kPurgeTxClear = 0x0004;
inline constexpr std::uint32_t kPurgeRxClear = 0x0008;
inline constexpr std::uint32_t kErrorHandleEof = 38;
// Errors of a device that has gone away (a USB adapter unplugged or reset,
// a driver restarted, the far end of a pseudo-terminal closed), as opposed
// to a line error that clearing it ends: ERROR_ACCESS_DENIED,
// ERROR_INVALID_HANDLE, ERROR_NOT_READY, ERROR_BAD_COMMAND,
// ERROR_GEN_FAILURE, ERROR_BROKEN_PIPE, ERROR_DEVICE_NOT_CONNECTED and
// ERROR_DEVICE_REMOVED.
inline constexpr bool IsDeviceGoneError(std::uint32_t error) {
  switch (error) {
    case 5:
    case 6:
    case 21:
    case 22:
    case 31:
    case 109:
    case 1167:
    case 1617:
      return true;
    default:
      return false;
  }
}
// Line error flags reported by ClearCommError.
inline constexpr std::uint32_t kCeRxOver = 0x0001;
inline constexpr std::uint32_t kCeOverrun = 0x0002;
inline constexpr std::uint32_t kCeRxParity = 0x0004;
inline constexpr std::uint32_t kCeFrame = 0x0008;
}  // namespace comm

// How a wait for the next byte ended. A device reports kByte, kCancelled or
// kFailed; the serial port turns a failure of a device that has gone away
// into kLinkLost.
enum class ByteWait { kByte, kCancelled, kFailed, kLinkLost };

// The longest a write waits for the driver: one it has not completed by
// then is cancelled and fails (a driver that ignores its time-outs, a
// Bluetooth link that has gone quiet).
inline constexpr std::uint32_t kWriteLimitMs = 1500;
// The longest a cancelled wait for a byte waits for the driver to let go
// of its read; a driver that never does keeps it, and the port is only
// closed afterwards.
inline constexpr std::uint32_t kCancelLimitMs = 500;

// The platform's serial communications calls, one method per call, so that
// the serial port reads like the Win32 code it drives, and a wait for the
// next byte that costs nothing while the line is silent.
//
// The life of a handle, which every device keeps to:
// - Open and CloseHandle return within their limits (kOpenLimitMs,
//   CPortOpenClose::kCloseLimitMs) whatever the driver does: a slow open
//   goes on and its handle is kept for the next Open of the same port
//   (PortKey), a slow close goes on and the next Open of that port waits
//   for it.
// - A handle value is the system's: once closed, the same value is handed
//   out again at once, to another port, an event or a thread. Only the
//   caller that opened a handle closes it, never while one of its own
//   calls on it is in flight; a call from another thread (a write, a
//   cancellation) reaches it only while its opener holds it open.
// - WriteFile returns within kWriteLimitMs, and a wait cancelled with
//   CancelWait within kCancelLimitMs, also when the driver ignores the
//   cancellation.
// - Every method that takes a handle copes with a handle that is no longer
//   open: it fails.
class ICommDevice {
public:
  virtual ~ICommDevice() = default;

  // CreateFileA(CommDevicePath(name), read|write, no sharing,
  // OPEN_EXISTING), opened so that a read waiting for bytes never holds up
  // a write from another thread; kInvalidComm when it did not open within
  // kOpenLimitMs.
  virtual CommHandle Open(const char* name) = 0;
  // Whether an open of name that outlived its caller may still bring a
  // handle (the next Open of name takes it). A device whose opens never
  // block keeps this default.
  virtual bool IsOpening(const char* /*name*/) { return false; }
  // Nobody will open name again for now: a handle an open still under way
  // brings is closed as it arrives.
  virtual void GiveUpOpen(const char* /*name*/) {}
  // Purges both queues (what is under way is aborted, what is queued
  // dropped: all four purge flags), then closes.
  virtual bool CloseHandle(CommHandle handle) = 0;
  virtual bool SetupComm(CommHandle handle, std::uint32_t inQueue, std::uint32_t outQueue) = 0;
  virtual bool GetCommState(CommHandle handle, CommState& state) = 0;
  virtual bool SetCommState(CommHandle handle, const CommState& state) = 0;
  virtual bool SetCommTimeouts(CommHandle handle, const CommTimeouts& timeouts) = 0;
  virtual bool GetCommMask(CommHandle handle, std::uint32_t& mask) = 0;
  virtual bool SetCommMask(CommHandle handle, std::uint32_t mask) = 0;
  virtual bool PurgeComm(CommHandle handle, std::uint32_t flags) = 0;
  // Returns false when the call itself failed; errors then holds 0.
  virtual bool ClearCommError(CommHandle handle, std::uint32_t& errors, CommStatus& status) = 0;
  // ReadFile, returning when it is done. On failure returns false and
  // lastError holds the platform's error code; bytesRead always holds what
  // was read.
  virtual bool ReadFile(CommHandle handle, void* buffer, std::uint32_t size,
                        std::uint32_t& bytesRead, std::uint32_t& lastError) = 0;
  virtual bool WriteFile(CommHandle handle, const void* buffer, std::uint32_t size,
                         std::uint32_t& bytesWritten) = 0;
  // Blocks until a byte has arrived (it is read into byte: kByte), until
  // CancelWait has been called for the handle (kCancelled), or until the
  // read fails (kFailed, lastError saying why). Reads must take no time-out.
  virtual ByteWait WaitForByte(CommHandle handle, std::uint8_t& byte, std::uint32_t& lastError) = 0;
  // Ends the wait in progress on handle, and every later one, with
  // kCancelled; safe from any thread, also before the wait has begun.
  virtual void CancelWait(CommHandle handle) = 0;
};

}  // namespace zt
