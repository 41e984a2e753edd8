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

// Whether two names open the same port: "com3", "COM3" and "\\.\COM3" do.
inline bool IsSamePort(std::string_view first, std::string_view second) {
  first = BarePortName(first);
  second = BarePortName(second);
  const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
  return first.size() == second.size() &&
         std::equal(first.begin(), first.end(), second.begin(),
                    [&](char a, char b) { return upper(a) == upper(b); });
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

// How long an open may take before it counts as failed. A port that takes
// longer (a Bluetooth serial port connecting) is opened in the background
// and ready for a later try; its handle is closed if nobody asks again.
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

// The platform's serial communications calls, one method per call, so that
// the serial port reads like the Win32 code it drives, and a wait for the
// next byte that costs nothing while the line is silent. Every method that
// takes a handle must cope with a handle that is no longer open.
class ICommDevice {
public:
  virtual ~ICommDevice() = default;

  // CreateFileA(CommDevicePath(name), read|write, no sharing,
  // OPEN_EXISTING), opened so that a read waiting for bytes never holds up
  // a write from another thread. Returns within kOpenLimitMs: a slower open
  // fails now and may succeed when the same name is opened again.
  virtual CommHandle Open(const char* name) = 0;
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
