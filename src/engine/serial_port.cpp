#include "engine/serial_port.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>

namespace zt {
namespace {

void CopyPortName(char (&target)[CSerialConfig::kPortNameSize], const char* name) {
  std::size_t length = 0;
  if (name != nullptr) {
    length = strnlen(name, CSerialConfig::kPortNameSize - 1);
    std::memcpy(target, name, length);
  }
  target[length] = '\0';
}

// Applies the config's line settings to the members of the device-control
// block that the controller link depends on; the others stay as read.
void ApplyLineSettings(const CSerialConfig& config, CommState& state) {
  state.baudRate = config.m_dwBaudRate;
  state.byteSize = config.m_byteSize;
  state.parity = config.m_parity;
  state.stopBits = config.m_stopBits;
  state.fBinary = true;
  state.fParity = true;
  state.fNull = false;
  state.fAbortOnError = true;
  state.xonLim = 1;
  state.xoffLim = static_cast<std::uint16_t>(config.m_dwInQueue / 2);

  const bool hardwareHandshake = config.m_nFlowControl == 1;
  state.fOutxCtsFlow = hardwareHandshake;
  state.fOutxDsrFlow = hardwareHandshake;
  state.fDsrSensitivity = hardwareHandshake;
  state.fDtrControl = hardwareHandshake ? comm::kDtrControlHandshake : comm::kDtrControlEnable;
  state.fRtsControl = hardwareHandshake ? comm::kRtsControlHandshake : comm::kRtsControlEnable;
  const bool xonXoff = config.m_nFlowControl == 2;
  state.fOutX = xonXoff;
  state.fInX = xonXoff;
}

}  // namespace

CSerialConfig::CSerialConfig() : m_szPort{} {
  SetPortName("COM1");
}

void CSerialConfig::SetPortName(const char* name) {
  CopyPortName(m_szPort, name);
}

void ReceiveBuffer::Append(std::uint8_t byte) {
  if (count >= kCapacity) {
    count = 0;
  }
  bytes[count] = byte;
  ++count;
  bytes[count] = 0;
}

CSerialPort::CSerialPort(ICommDevice& comm, IThreads& threads) : m_comm(comm), m_threads(threads) {}

CSerialPort::~CSerialPort() {
  EndReaderThread(kNoLimit);
  if (IsOpen()) {
    CSerialPort::Close();
  }
}

// What the reader thread and its owner share: it outlives whichever of
// the two goes first, so the thread's last act touches nothing freed.
struct CSerialPort::ReaderEnd {
  ThreadRoutine routine = nullptr;
  void* argument = nullptr;
  std::mutex lock;
  std::condition_variable signal;
  bool ended = false;
  std::unique_ptr<CSerialPort> leftToReader;
};

void CSerialPort::RunReader(void* start) {
  const std::unique_ptr<std::shared_ptr<ReaderEnd>> held(
      static_cast<std::shared_ptr<ReaderEnd>*>(start));
  const std::shared_ptr<ReaderEnd> end = *held;
  end->routine(end->argument);
  std::unique_ptr<CSerialPort> leftToReader;
  {
    const std::lock_guard<std::mutex> lock(end->lock);
    end->ended = true;
    leftToReader = std::move(end->leftToReader);
  }
  end->signal.notify_all();
}

void CSerialPort::LeaveToReader(std::unique_ptr<CSerialPort> port) {
  const std::shared_ptr<ReaderEnd> end = port->m_readerEnd;
  if (!end) {
    return;
  }
  const std::lock_guard<std::mutex> lock(end->lock);
  if (!end->ended) {
    end->leftToReader = std::move(port);
  }
}

bool CSerialPort::StartReaderThread(ThreadRoutine routine, void* argument) {
  m_readerEnd = std::make_shared<ReaderEnd>();
  m_readerEnd->routine = routine;
  m_readerEnd->argument = argument;
  auto* start = new (std::nothrow) std::shared_ptr<ReaderEnd>(m_readerEnd);
  m_hThread = start == nullptr ? kNoThread : m_threads.CreateThread(&CSerialPort::RunReader, start);
  if (m_hThread == kNoThread) {
    delete start;
    m_readerEnd.reset();
    return false;
  }
  return true;
}

bool CSerialPort::EndReaderThread(std::uint32_t limitMs) {
  if (m_hThread == kNoThread) {
    return true;
  }
  // Sequentially consistent with the reader's reopen: either the reader
  // sees the stop, or CancelWait sees the reopened handle.
  m_bRunning.store(0);
  CancelWait();
  bool ended = false;
  {
    std::unique_lock<std::mutex> lock(m_readerEnd->lock);
    const auto hasEnded = [&] { return m_readerEnd->ended; };
    if (limitMs == kNoLimit) {
      m_readerEnd->signal.wait(lock, hasEnded);
      ended = true;
    } else {
      ended = m_readerEnd->signal.wait_for(lock, std::chrono::milliseconds(limitMs), hasEnded);
    }
  }
  if (ended) {
    m_threads.CloseThread(m_hThread);
  } else {
    m_threads.LeaveRunning(m_hThread);
  }
  m_hThread = kNoThread;
  return ended;
}

int CSerialPort::OnReceive(const std::uint8_t* bytes, int count) {
  for (int i = 0; i < count; ++i) {
    m_receive.Append(bytes[i]);
  }
  return count;
}

void CSerialPort::Configure(const CSerialConfig& config) {
  m_config = config;
  CopyPortName(m_szPort, config.m_szPort);
  CopyPortName(m_config.m_szPort, m_szPort);
}

// The config is kept also when the port does not open, so that a port
// that is not there yet can be opened later with it (ReopenLink).
bool CSerialPort::Open(const CSerialConfig& config) {
  if (IsOpen()) {
    Close();
  }
  Configure(config);
  return OpenConfigured();
}

// A line whose settings or time-outs cannot be applied is no link at all:
// the open fails and the handle is let go of.
bool CSerialPort::OpenConfigured() {
  const CommHandle handle = m_comm.Open(m_config.m_szPort);
  if (handle == kInvalidComm) {
    return false;
  }
  {
    const std::lock_guard<std::mutex> lock(m_linkLock);
    m_hComm.store(handle);
  }
  m_comm.SetupComm(handle, m_config.m_dwInQueue, m_config.m_dwOutQueue);

  // Configuring from a state that could not be read would set every other
  // member of the line to zero.
  CommState state;
  bool configured = m_comm.GetCommState(handle, state);
  if (configured) {
    ApplyLineSettings(m_config, state);
    configured = m_comm.SetCommState(handle, state);
  }
  if (configured) {
    CommStatus status;
    ClearError(status);
    configured = SetTimeouts(m_config.m_dwReadTimeout, m_config.m_dwWriteTimeout);
  }
  std::uint32_t mask = 0;
  if (configured) {
    PurgeInput();
    PurgeOutput();
    configured = GetEventMask(mask);
  }
  if (!configured) {
    CloseOwnHandle();
    return false;
  }
  SetEventMask(mask | comm::kEvRxChar);
  return true;
}

bool CSerialPort::CloseOwnHandle() {
  CommHandle handle = kInvalidComm;
  {
    std::unique_lock<std::mutex> lock(m_linkLock);
    handle = m_hComm.exchange(kInvalidComm);
    m_writesDone.wait(lock, [&] { return m_writesInFlight == 0; });
  }
  return handle != kInvalidComm && m_comm.CloseHandle(handle);
}

void CSerialPort::CloseLink() {
  CloseOwnHandle();
}

// Unlike Close(), a failed reopen only lets go of the handle: the reader
// loop goes on.
bool CSerialPort::ReopenLink() {
  return IsOpen() || OpenConfigured();
}

// The device purges the queues as it closes, where nobody waits on it (a
// purge may block as long as a close).
bool CSerialPort::Close() {
  if (!IsOpen()) {
    return false;
  }
  m_bRunning.store(0, std::memory_order_release);
  return CloseOwnHandle();
}

void CSerialPort::GiveUpOpen() {
  m_comm.GiveUpOpen(m_config.m_szPort);
}

bool CSerialPort::SetTimeouts(std::uint32_t readTimeout, std::uint32_t writeTimeout) {
  if (!IsOpen()) {
    return false;
  }
  m_config.m_dwReadTimeout = readTimeout;
  m_config.m_dwWriteTimeout = writeTimeout;
  CommTimeouts timeouts;
  timeouts.readIntervalTimeout = readTimeout;
  timeouts.readTotalTimeoutMultiplier = readTimeout != 0 ? 1 : 0;
  timeouts.readTotalTimeoutConstant = readTimeout;
  timeouts.writeTotalTimeoutMultiplier = 1;
  timeouts.writeTotalTimeoutConstant = writeTimeout;
  return m_comm.SetCommTimeouts(m_hComm, timeouts);
}

void CSerialPort::PurgeInput() {
  if (IsOpen()) {
    m_comm.PurgeComm(m_hComm, comm::kPurgeRxAbort | comm::kPurgeRxClear);
  }
}

void CSerialPort::PurgeOutput() {
  if (IsOpen()) {
    m_comm.PurgeComm(m_hComm, comm::kPurgeTxAbort | comm::kPurgeTxClear);
  }
}

std::uint32_t CSerialPort::ClearError(CommStatus& status) {
  if (!IsOpen()) {
    return 0;
  }
  std::uint32_t errors = 0;
  m_comm.ClearCommError(m_hComm, errors, status);
  return errors;
}

bool CSerialPort::GetEventMask(std::uint32_t& mask) {
  return IsOpen() && m_comm.GetCommMask(m_hComm, mask);
}

void CSerialPort::SetEventMask(std::uint32_t mask) {
  if (IsOpen()) {
    m_comm.SetCommMask(m_hComm, mask);
  }
}

std::uint32_t CSerialPort::GetBytesWaiting() {
  CommStatus status;
  const std::uint32_t errors = ClearError(status);
  return errors == 0 ? status.cbInQue : 0;
}

std::uint32_t CSerialPort::ReadBytes(void* buffer, std::uint32_t count) {
  if (!IsOpen() || count == 0) {
    return 0;
  }
  std::uint32_t bytesRead = 0;
  std::uint32_t lastError = 0;
  if (!m_comm.ReadFile(m_hComm, buffer, count, bytesRead, lastError)) {
    if (lastError != comm::kErrorHandleEof) {
      CommStatus status;
      ClearError(status);
    }
    return 0;
  }
  return bytesRead;
}

ByteWait CSerialPort::WaitForByte(std::uint8_t& byte) {
  if (!IsOpen()) {
    return ByteWait::kFailed;
  }
  std::uint32_t lastError = 0;
  const ByteWait result = m_comm.WaitForByte(m_hComm, byte, lastError);
  if (result != ByteWait::kFailed) {
    return result;
  }
  // A line error ends when it is cleared; a device that has gone away
  // cannot even be asked.
  std::uint32_t errors = 0;
  CommStatus status;
  const bool cleared = m_comm.ClearCommError(m_hComm, errors, status);
  return cleared && !comm::IsDeviceGoneError(lastError) ? ByteWait::kFailed : ByteWait::kLinkLost;
}

void CSerialPort::CancelWait() {
  const std::lock_guard<std::mutex> lock(m_linkLock);
  if (IsOpen()) {
    m_comm.CancelWait(m_hComm);
  }
}

std::uint32_t CSerialPort::ReadAvailable(void* buffer, std::uint32_t maxCount) {
  const std::uint32_t waiting = GetBytesWaiting();
  return ReadBytes(buffer, std::min(waiting, maxCount));
}

void CSerialPort::WriteBytes(const void* buffer, std::uint32_t count) {
  CommHandle handle = kInvalidComm;
  {
    const std::lock_guard<std::mutex> lock(m_linkLock);
    handle = m_hComm.load();
    if (handle == kInvalidComm) {
      return;
    }
    ++m_writesInFlight;
  }
  std::uint32_t written = 0;
  m_comm.WriteFile(handle, buffer, count, written);
  if (written < count) {
    std::uint32_t errors = 0;
    CommStatus status;
    m_comm.ClearCommError(handle, errors, status);
  }
  {
    const std::lock_guard<std::mutex> lock(m_linkLock);
    --m_writesInFlight;
  }
  m_writesDone.notify_all();
}

}  // namespace zt
