#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/comm_device.h"
#include "platform/threads.h"

namespace zt {

// Line settings handed to CSerialPort::Open. The defaults are the settings
// the controller link runs with: 9600 baud, 8 data bits, no parity, two stop
// bits, DTR and RTS on, no handshake, abort on error, 4096-byte queues.
class CSerialConfig {
public:
  static constexpr std::size_t kPortNameSize = 1024;

  CSerialConfig();
  CSerialConfig(const CSerialConfig&) = default;
  CSerialConfig& operator=(const CSerialConfig&) = default;
  virtual ~CSerialConfig() = default;

  // Copies name, cut to kPortNameSize - 1 characters.
  void SetPortName(const char* name);

  char m_szPort[kPortNameSize];
  std::uint32_t m_dwBaudRate = 9600;
  std::uint8_t m_byteSize = 8;
  std::uint8_t m_parity = comm::kNoParity;
  std::uint8_t m_stopBits = comm::kTwoStopBits;
  std::int32_t m_nFlowControl = 0;  // 0 none, 1 hardware handshake, 2 XON/XOFF
  std::uint32_t m_dwInQueue = 4096;
  std::uint32_t m_dwOutQueue = 4096;
  std::uint32_t m_dwWriteTimeout = 5000;  // ms
  std::uint32_t m_dwReadTimeout = 5000;   // ms
};

// Bytes received so far, with a NUL kept after the last one.
struct ReceiveBuffer {
  static constexpr std::int32_t kCapacity = 512;

  // Stores one byte; when the buffer is full it starts again at the front.
  void Append(std::uint8_t byte);
  void Reset() { count = 0; }

  std::uint8_t bytes[kCapacity + 1] = {};
  std::int32_t count = 0;
};

// Owns one serial port and the bookkeeping of the thread that reads it.
// Every operation may be called on a closed port: it then does nothing and
// returns 0 or false.
class CSerialPort {
public:
  CSerialPort(ICommDevice& comm, IThreads& threads);
  CSerialPort(const CSerialPort&) = delete;
  CSerialPort& operator=(const CSerialPort&) = delete;
  virtual ~CSerialPort();

  // Hook for each chunk of received bytes; returns count.
  virtual int OnReceive(const std::uint8_t* bytes, int count);
  // Stops the reader loop flag, purges and closes the port.
  virtual bool Close();
  // This port will not be opened again for now: a handle its last open
  // brings late is closed as it arrives.
  void GiveUpOpen();

  // Opens and configures the port; false when it does not open or its line
  // settings or time-outs cannot be applied.
  bool Open(const CSerialConfig& config);
  // Keeps config for a later open (ReopenLink) without opening now.
  void Configure(const CSerialConfig& config);
  // A read time-out of 0 takes reads off every time-out: a read then waits
  // for its bytes, as WaitForByte needs. False when they cannot be applied.
  bool SetTimeouts(std::uint32_t readTimeout, std::uint32_t writeTimeout);
  void PurgeInput();
  void PurgeOutput();
  std::uint32_t ClearError(CommStatus& status);
  bool GetEventMask(std::uint32_t& mask);
  void SetEventMask(std::uint32_t mask);
  // Bytes queued by the driver; 0 when a line error was pending (it is
  // cleared by this call, so the next call reports the queue again).
  std::uint32_t GetBytesWaiting();
  std::uint32_t ReadBytes(void* buffer, std::uint32_t count);
  // Reads what has arrived, at most maxCount bytes; never waits.
  std::uint32_t ReadAvailable(void* buffer, std::uint32_t maxCount);
  // Blocks until a byte arrives, the wait is cancelled (CancelWait, also
  // one that came first) or the read fails; a failure clears the line's
  // error state. kLinkLost: the device has gone away.
  ByteWait WaitForByte(std::uint8_t& byte);
  void CancelWait();
  // A short write clears the line error; the caller is not told. It never
  // holds up a cancellation (CancelWait) from another thread.
  void WriteBytes(const void* buffer, std::uint32_t count);

  // Closes a port whose device has gone away, keeping everything it was
  // opened with, and opens the same port again with all of it (line,
  // queues, time-outs); neither touches the reader thread.
  void CloseLink();
  bool ReopenLink();

  // Hands a port whose reader did not end in time (EndReaderThread was
  // false) over to that reader, which frees it as its last act.
  static void LeaveToReader(std::unique_ptr<CSerialPort> port);

  bool IsOpen() const { return m_hComm.load() != kInvalidComm; }
  const char* PortName() const { return m_szPort; }
  const ReceiveBuffer& Received() const { return m_receive; }

private:
  struct ReaderEnd;
  static void RunReader(void* start);
  bool OpenConfigured();
  // Every close of the handle goes through here (see m_linkLock).
  bool CloseOwnHandle();

protected:
  // Waiting for the reader without a limit: only where nothing else can be
  // done (a destructor).
  static constexpr std::uint32_t kNoLimit = ~0U;

  // Starts routine(argument) on the reader thread; as its last act, once
  // routine has returned, the thread says that its loop has ended. False
  // when no thread could be made.
  bool StartReaderThread(ThreadRoutine routine, void* argument);
  // Ends the reader thread: clears the running flag, cancels its wait and
  // waits for its loop to end, at most limitMs. False when it has not (it
  // is inside a driver call that does not return): the thread is left
  // running, and this object must outlive it (LeaveToReader).
  // A derived class calls this first in its destructor, before any of its
  // own members go.
  bool EndReaderThread(std::uint32_t limitMs);

  ICommDevice& m_comm;
  IThreads& m_threads;
  // The handle's life: only the port's owner opens and closes it (the
  // engine's reader thread, a probe's thread, or the owner once its reader
  // has ended), and never while one of its own calls on it is in flight. It
  // is published and taken back under this lock, and a cancellation from
  // another thread uses it only under the same lock; a write from another
  // thread takes it under the lock and counts itself in flight, and the
  // close waits for the writes in flight before it lets go. So no call
  // reaches a value after its close (the system hands a freed value out
  // again at once, to another port), and a write the driver is slow with
  // never holds up a cancellation.
  std::mutex m_linkLock;
  std::condition_variable m_writesDone;
  int m_writesInFlight = 0;
  CSerialConfig m_config;

  ThreadHandle m_hThread = kNoThread;
  std::shared_ptr<ReaderEnd> m_readerEnd;
  std::atomic<std::int32_t> m_bRunning{0};
  // Changed by the reader thread when it reopens a lost link; read by any.
  std::atomic<CommHandle> m_hComm{kInvalidComm};
  ReceiveBuffer m_receive;
  char m_szPort[CSerialConfig::kPortNameSize] = {};
};

}  // namespace zt
