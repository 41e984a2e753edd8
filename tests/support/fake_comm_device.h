#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/comm_device.h"
#include "platform/port_open_close.h"

namespace zt::test {

// A serial driver in memory: named ports, each with an input queue, line
// errors that abort reads and writes until ClearCommError (as with
// fAbortOnError), and switches for the failures a test asks for, among
// them what real drivers do and a test machine does not: opens and closes
// that take seconds (run through CPortOpenClose, as the Win32 device runs
// them), a read the driver keeps after a cancel, writes that never
// complete. Handle values are reused at once, lowest first, as Windows
// reuses them, and a call on a value that is not an open port is counted
// (StaleCalls). Thread-safe, so a reader thread and a test can use it at
// once.
class FakeCommDevice final : public ICommDevice {
public:
  FakeCommDevice()
      : m_openClose([this](const std::string& name) { return DriverOpen(name); },
                    [this](CommHandle handle) { DriverClose(handle); }) {}
  // Slow opens give up, and late handles are closed, before the ports go.
  ~FakeCommDevice() override {
    {
      const std::lock_guard<std::mutex> lock(m_mutex);
      m_shutdown = true;
      m_changed.notify_all();
    }
    m_openClose.CloseLateHandles();
    m_openClose.WaitUntilIdle(5000);
  }

  static constexpr std::uint32_t kErrorOperationAborted = 995;
  static constexpr std::uint32_t kErrorNotReady = 21;

  struct Port {
    bool busy = false;
    bool gone = false;  // gone away: waits and ClearCommError fail, opens too
    bool failGetState = false;
    bool failGetMask = false;
    bool failSetState = false;
    bool failSetTimeouts = false;
    std::uint32_t openDelayMs = 0;   // how long the driver's open takes
    std::uint32_t closeDelayMs = 0;  // how long the driver's close takes
    bool ignoresCancel = false;      // a cancelled read is never let go of
    bool abandoned = false;          // such a read was left to the driver
    bool stuckWrites = false;        // writes never complete
    int writesStuck = 0;             // such writes in the driver now
    std::uint32_t writeDelayMs = 0;  // how long a write takes
    bool hangs = false;              // ClearCommError does not return while set
    std::thread::id openedOn;        // the thread of the last open
    // Queued as received after each write: a device that answers.
    std::vector<std::uint8_t> answer;
    bool cancelled = false;
    std::uint32_t pendingErrors = 0;
    std::uint32_t failNextReadWith = 0;
    // The next wait fails with this error while ClearCommError still
    // answers (a USB adapter pulled out, as some drivers report it).
    std::uint32_t failNextWaitWith = 0;
    std::uint32_t failWaitsWith = 0;  // every wait, for as long as it is set
    CommHandle openHandle = kInvalidComm;
    std::deque<std::uint8_t> input;
    std::vector<std::uint8_t> written;
    CommState state;
    CommTimeouts timeouts;
    std::uint32_t mask = 0;
    std::vector<std::uint32_t> purges;
  };

  // Changes a port (making it when it is new) under the lock.
  void Edit(const std::string& name, const std::function<void(Port&)>& change) {
    std::lock_guard<std::mutex> lock(m_mutex);
    change(m_ports[name]);
    m_changed.notify_all();
  }
  void AddPort(const std::string& name) {
    Edit(name, [](Port&) {});
  }
  // Queues bytes as if they had arrived on the line.
  void Receive(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    Edit(name,
         [&](Port& port) { port.input.insert(port.input.end(), bytes.begin(), bytes.end()); });
  }
  // A copy of the port as it is now.
  Port Get(const std::string& name) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_ports.find(name);
    return found == m_ports.end() ? Port{} : found->second;
  }
  bool IsOpen(const std::string& name) const { return Get(name).openHandle != kInvalidComm; }
  int OpenCalls() const { return Counted(m_openCalls); }
  int StaleCalls() const { return Counted(m_staleCalls); }
  int MostBusyAtOnce() const { return Counted(m_mostBusy); }  // ports open or opening at once
  int Waits() const { return Counted(m_waits); }

  // Waits as a read with no time-outs does: until a byte is queued, a line
  // error aborts it, or the wait is cancelled. waits counts the calls.
  // A cancelled read the driver keeps ends the wait after kCancelLimitMs,
  // as the device bounds it, and the port can then only be closed.
  ByteWait WaitForByte(CommHandle handle, std::uint8_t& byte, std::uint32_t& lastError) override {
    std::unique_lock<std::mutex> lock(m_mutex);
    ++m_waits;
    for (;;) {
      Port* port = FindOpen(handle);
      lastError = port == nullptr ? 6
                  : port->gone    ? kErrorNotReady
                                  : (port->pendingErrors != 0 ? kErrorOperationAborted : 0);
      if (port != nullptr && port->abandoned) {
        lastError = 6;
      } else if (port != nullptr && port->cancelled && port->ignoresCancel) {
        const auto limit =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(kCancelLimitMs);
        m_changed.wait_until(lock, limit, [&] { return m_shutdown; });
        port->abandoned = true;
        return ByteWait::kCancelled;
      } else if (port != nullptr && port->cancelled) {
        return ByteWait::kCancelled;
      }
      if (port != nullptr && port->failNextWaitWith != 0) {
        lastError = std::exchange(port->failNextWaitWith, 0);
      }
      if (port != nullptr && port->failWaitsWith != 0) {
        lastError = port->failWaitsWith;
      }
      if (lastError != 0) {
        m_staleCalls += port == nullptr ? 1 : 0;
        return ByteWait::kFailed;
      }
      if (!port->input.empty()) {
        byte = port->input.front();
        port->input.pop_front();
        return ByteWait::kByte;
      }
      m_changed.wait(lock);
    }
  }
  void CancelWait(CommHandle handle) override {
    OnOpen(handle, [](Port& port) {
      port.cancelled = true;
      return true;
    });
  }
  CommHandle Open(const char* name) override {
    return m_openClose.Open(name == nullptr ? "" : name);
  }
  bool IsOpening(const char* name) override {
    return m_openClose.IsOpening(name == nullptr ? "" : name);
  }
  void GiveUpOpen(const char* name) override { m_openClose.GiveUp(name == nullptr ? "" : name); }
  bool CloseHandle(CommHandle handle) override {
    std::string name;
    const bool open = OnOpen(handle, [&](Port& port) {
      name = NameOf(port);
      return true;
    });
    if (open) {
      m_openClose.Close(name, handle);
    }
    return open;
  }
  bool SetupComm(CommHandle handle, std::uint32_t, std::uint32_t) override {
    return OnOpen(handle, [](Port&) { return true; });
  }
  bool GetCommState(CommHandle handle, CommState& state) override {
    return OnOpen(handle, [&](Port& port) {
      state = port.state;
      return !port.failGetState;
    });
  }
  bool SetCommState(CommHandle handle, const CommState& value) override {
    return Store(handle, &Port::state, value) && !Get(handle, &Port::failSetState);
  }
  bool SetCommTimeouts(CommHandle handle, const CommTimeouts& value) override {
    return Store(handle, &Port::timeouts, value) && !Get(handle, &Port::failSetTimeouts);
  }
  bool GetCommMask(CommHandle handle, std::uint32_t& mask) override {
    return OnOpen(handle, [&](Port& port) {
      mask = port.mask;
      return !port.failGetMask;
    });
  }
  bool SetCommMask(CommHandle handle, std::uint32_t value) override {
    return Store(handle, &Port::mask, value);
  }
  bool PurgeComm(CommHandle handle, std::uint32_t flags) override {
    return OnOpen(handle, [&](Port& port) {
      port.purges.push_back(flags);
      if ((flags & comm::kPurgeRxClear) != 0) {
        port.input.clear();
      }
      return true;
    });
  }
  bool ClearCommError(CommHandle handle, std::uint32_t& errors, CommStatus& status) override {
    errors = 0;
    {
      std::unique_lock<std::mutex> lock(m_mutex);
      Port* port = FindOpen(handle);
      m_changed.wait(lock, [&] { return port == nullptr || !port->hangs || m_shutdown; });
    }
    return OnOpen(handle, [&](Port& port) {
      errors = std::exchange(port.pendingErrors, 0);
      status.cbInQue = static_cast<std::uint32_t>(port.input.size());
      status.cbOutQue = 0;
      return !port.gone;
    });
  }
  bool ReadFile(CommHandle handle, void* buffer, std::uint32_t size, std::uint32_t& bytesRead,
                std::uint32_t& lastError) override {
    bytesRead = 0;
    lastError = 6;  // ERROR_INVALID_HANDLE
    return OnOpen(handle, [&](Port& port) {
      lastError = std::exchange(port.failNextReadWith, 0);
      if (lastError == 0 && port.pendingErrors != 0) {
        lastError = kErrorOperationAborted;
      }
      if (lastError != 0) {
        return false;
      }
      const auto count = std::min<std::size_t>(size, port.input.size());
      std::copy_n(port.input.begin(), count, static_cast<std::uint8_t*>(buffer));
      port.input.erase(port.input.begin(), port.input.begin() + static_cast<std::ptrdiff_t>(count));
      bytesRead = static_cast<std::uint32_t>(count);
      return true;
    });
  }
  // A write the driver never completes fails after kWriteLimitMs, as the
  // device bounds it.
  bool WriteFile(CommHandle handle, const void* buffer, std::uint32_t size,
                 std::uint32_t& bytesWritten) override {
    bytesWritten = 0;
    if (Get(handle, &Port::stuckWrites)) {
      OnOpen(handle, [](Port& port) { return ++port.writesStuck != 0; });
      std::this_thread::sleep_for(std::chrono::milliseconds(kWriteLimitMs));
      OnOpen(handle, [](Port& port) { return --port.writesStuck != 0; });
      return false;
    }
    std::uint32_t delay = 0;
    OnOpen(handle, [&](Port& port) { return (delay = port.writeDelayMs) != 0; });
    std::this_thread::sleep_for(std::chrono::milliseconds(delay));
    return OnOpen(handle, [&](Port& port) {
      if (port.pendingErrors != 0) {
        return false;
      }
      const auto* source = static_cast<const std::uint8_t*>(buffer);
      port.written.insert(port.written.end(), source, source + size);
      port.input.insert(port.input.end(), port.answer.begin(), port.answer.end());
      bytesWritten = size;
      return true;
    });
  }

private:
  // The driver's own open, on CPortOpenClose's thread: it takes the port's
  // openDelayMs. A freshly opened driver reports a one-stop-bit 1200-baud
  // line with every flag off, so a test sees which members the port
  // changed.
  CommHandle DriverOpen(const std::string& name) {
    std::unique_lock<std::mutex> lock(m_mutex);
    ++m_openCalls;
    const auto found = m_ports.find(name);
    if (found == m_ports.end()) {
      return kInvalidComm;
    }
    ++m_busy;
    m_mostBusy = std::max(m_mostBusy, m_busy);
    const auto until =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(found->second.openDelayMs);
    m_changed.wait_until(lock, until, [&] { return m_shutdown; });
    Port& port = found->second;
    --m_busy;
    if (m_shutdown || port.busy || port.gone || port.openHandle != kInvalidComm) {
      return kInvalidComm;
    }
    port.openedOn = std::this_thread::get_id();
    ++m_busy;
    // As Windows does, the lowest value freed is handed out again at once,
    // so that a handle used after its close reaches another port.
    port.openHandle = m_freeHandles.empty() ? m_nextHandle++
                                            : m_freeHandles.extract(m_freeHandles.begin()).value();
    port.state = CommState{};
    port.state.baudRate = 1200;
    port.state.byteSize = 7;
    port.state.stopBits = 0;
    port.mask = 0x0004;
    return port.openHandle;
  }
  // The port is the driver's until its close has taken closeDelayMs.
  void DriverClose(CommHandle handle) {
    std::unique_lock<std::mutex> lock(m_mutex);
    Port* port = FindOpen(handle);
    if (port == nullptr) {
      ++m_staleCalls;
      return;
    }
    port->purges.push_back(comm::kPurgeTxAbort | comm::kPurgeRxAbort | comm::kPurgeTxClear |
                           comm::kPurgeRxClear);
    port->input.clear();
    m_changed.wait_for(lock, std::chrono::milliseconds(port->closeDelayMs),
                       [&] { return m_shutdown; });
    m_freeHandles.insert(handle);
    --m_busy;
    port->openHandle = kInvalidComm;
    port->pendingErrors = 0;
    port->cancelled = false;
    port->abandoned = false;
    m_changed.notify_all();
  }
  std::string NameOf(const Port& port) const {
    for (const auto& entry : m_ports) {
      if (&entry.second == &port) {
        return entry.first;
      }
    }
    return {};
  }

  int Counted(const int& counter) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return counter;
  }
  template <typename T>
  bool Store(CommHandle handle, T Port::*field, const T& value) {
    return OnOpen(handle, [&](Port& port) {
      port.*field = value;
      return true;
    });
  }
  bool Get(CommHandle handle, bool Port::*field) {
    return OnOpen(handle, [&](Port& port) { return port.*field; });
  }
  Port* FindOpen(CommHandle handle) {
    for (auto& entry : m_ports) {
      if (handle != kInvalidComm && entry.second.openHandle == handle) {
        return &entry.second;
      }
    }
    return nullptr;
  }
  // Runs call on the port that handle opened; false when there is none.
  bool OnOpen(CommHandle handle, const std::function<bool(Port&)>& call) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Port* port = FindOpen(handle);
    m_staleCalls += port == nullptr ? 1 : 0;
    const bool result = port != nullptr && call(*port);
    m_changed.notify_all();
    return result;
  }

  mutable std::mutex m_mutex;
  std::condition_variable m_changed;
  int m_waits = 0;
  std::map<std::string, Port> m_ports;
  CommHandle m_nextHandle = 0x100;
  std::set<CommHandle> m_freeHandles;
  int m_openCalls = 0;
  int m_staleCalls = 0;
  int m_busy = 0;
  int m_mostBusy = 0;
  bool m_shutdown = false;
  // Last: its threads end before the ports go.
  CPortOpenClose m_openClose;
};

}  // namespace zt::test
