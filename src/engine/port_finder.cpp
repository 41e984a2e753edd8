#include "engine/port_finder.h"

#include <algorithm>
#include <chrono>
#include <new>
#include <thread>
#include <utility>

#include "engine/controller_protocol.h"
#include "engine/packet_assembler.h"
#include "engine/window_messages.h"

namespace zt {
namespace {

// The search looks at its probes this often.
constexpr std::uint32_t kSearchStepMs = 50;
constexpr std::uint32_t kProbeWriteTimeoutMs = 1000;
// A port that keeps failing reads (line errors: another device at another
// speed) is given up before its time-out.
constexpr int kProbeFailuresAllowed = 8;
// Probes running at once, at most: a machine may have dozens of ports.
constexpr std::size_t kProbesAtOnce = 8;
// How long the end of a search waits for its cancelled probes; one still
// inside a driver call then is left to end by itself.
constexpr std::uint32_t kProbeEndLimitMs = 1200;

using Clock = std::chrono::steady_clock;

}  // namespace

// One port under trial, shared by its own thread and the search: the
// thread opens, asks and listens; the search reads its stage and cancels
// it. Its stage turns final as the thread's last act, and the thread holds
// its own share, so a probe left running is freed by its thread.
struct CPortFinder::Probe {
  enum Stage : std::int32_t { kOpening, kWriting, kListening, kAnswered, kSilent };

  Probe(ICommDevice& device, IThreads& threads, std::string portName)
      : comm(device), port(device, threads), name(std::move(portName)) {}

  static void Thread(void* start) {
    const std::unique_ptr<std::shared_ptr<Probe>> probe(
        static_cast<std::shared_ptr<Probe>*>(start));
    (*probe)->Run();
  }

  void Run() {
    bool answered = false;
    if (OpenPort()) {
      if (!cancelled.load()) {
        const Packet request = BuildParameterRequest();
        stage.store(kWriting);  // bounded by the device's write limit
        port.WriteBytes(request.data(), kPacketSize);
        stage.store(kListening);  // the answer's time-out starts now
        answered = Listen(request);
      }
      port.Close();
    } else {
      port.GiveUpOpen();
    }
    stage.store(answered ? kAnswered : kSilent);
  }

  bool Ended() const { return stage.load() >= kAnswered; }

  // A port slow to open (a Bluetooth serial port) is tried again while its
  // open goes on, until the search gives up on it (kOpenTimeoutMs).
  bool OpenPort() {
    CSerialConfig config;
    config.SetPortName(name.c_str());
    config.m_dwReadTimeout = 0;
    config.m_dwWriteTimeout = kProbeWriteTimeoutMs;
    while (!port.Open(config)) {
      if (cancelled.load() || !comm.IsOpening(name.c_str())) {
        return false;
      }
    }
    return true;
  }

  // Until a valid packet comes, the wait is cancelled, or the line fails.
  // An echo of the request (a modem, a loop-back plug) is no answer.
  bool Listen(const Packet& request) {
    ReceiveBuffer buffer;
    CPacketAssembler assembler(buffer);
    bool answered = false;
    int failures = 0;
    std::uint8_t bytes[256];
    while (!answered) {
      const ByteWait waited = port.WaitForByte(bytes[0]);
      if (waited == ByteWait::kFailed && ++failures <= kProbeFailuresAllowed) {
        continue;
      }
      if (waited != ByteWait::kByte) {
        return false;
      }
      const std::uint32_t count = 1 + port.ReadAvailable(bytes + 1, sizeof bytes - 1);
      assembler.Feed(bytes, static_cast<int>(count), [&](const std::uint8_t* packet) {
        const bool echo = std::equal(request.begin(), request.end(), packet);
        answered =
            answered || (!echo && DecodePacket(packet).kind != DecodedPacket::Kind::kDropped);
      });
    }
    return true;
  }

  void Cancel() {
    cancelled.store(true);
    port.CancelWait();
  }

  ICommDevice& comm;
  CSerialPort port;
  const std::string name;
  std::atomic<std::int32_t> stage{kOpening};
  // Sequentially consistent with the port's handle: either the probe sees
  // the cancellation after its open, or the cancellation sees the handle.
  std::atomic<bool> cancelled{false};
  ThreadHandle thread = kNoThread;
  // When the search started it and first saw it listening (search time);
  // kNever until then.
  static constexpr std::uint32_t kNever = ~0U;
  std::uint32_t startedAt = 0;            // search thread only
  std::uint32_t listeningSince = kNever;  // search thread only
};

CPortFinder::CPortFinder(ICommDevice& comm, IThreads& threads, IMessages& messages)
    : m_comm(comm), m_threads(threads), m_messages(messages) {}

CPortFinder::~CPortFinder() {
  Stop();
}

bool CPortFinder::Start(const std::vector<std::string>& ports, WindowHandle notifyWindow) {
  if (IsLooking() || ports.empty()) {
    return false;
  }
  m_notifyWindow = notifyWindow;
  m_found.clear();
  m_ports = ports;
  m_bStop.store(0);
  m_hThread = m_threads.CreateThread(&CPortFinder::SearchThread, this);
  return m_hThread != kNoThread;
}

void CPortFinder::SearchThread(void* finder) {
  static_cast<CPortFinder*>(finder)->Search();
}

// Starts probes, a few at a time, and looks at them every step until one
// has answered, none is left to wait for, or a stop; then cancels the rest.
// Its time-outs are in real time, whatever a step's sleep takes.
void CPortFinder::Search() {
  const auto began = Clock::now();
  std::uint32_t elapsed = 0;
  std::size_t next = 0;
  bool waiting = true;
  while (waiting && m_bStop.load() == 0 && m_found.empty()) {
    next = StartProbes(next, elapsed);
    waiting = next < m_ports.size();
    for (const auto& probe : m_probes) {
      const std::int32_t stage = probe->stage.load();
      if (stage == Probe::kAnswered) {
        m_found = probe->name;
        break;
      }
      if (stage == Probe::kListening && probe->listeningSince == Probe::kNever) {
        probe->listeningSince = elapsed;
      }
      const bool timedOut =
          stage == Probe::kOpening
              ? elapsed - probe->startedAt >= kOpenTimeoutMs
              : stage == Probe::kListening && elapsed - probe->listeningSince >= kAnswerTimeoutMs;
      if (stage != Probe::kSilent && !timedOut) {
        waiting = true;
      } else if (stage != Probe::kSilent && !probe->cancelled.load()) {
        probe->Cancel();
      }
    }
    if (waiting && m_found.empty()) {
      m_threads.Sleep(kSearchStepMs);
      elapsed = static_cast<std::uint32_t>(
          std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - began).count());
    }
  }
  EndProbes();
  if (m_bStop.load() == 0) {
    m_messages.Post(m_notifyWindow, kWmNotifyMain, m_found.empty() ? 0 : 1, kNotifyFindDone);
  }
}

// Starts probes on the ports from next on while fewer than kProbesAtOnce
// are under way (a probe that gave up on a port whose open still goes on
// counts until that open ends: a switched-off Bluetooth device's open
// fails only after many seconds); returns the next port still to start. A
// port whose thread cannot be made now is tried at the next step.
std::size_t CPortFinder::StartProbes(std::size_t next, std::uint32_t elapsed) {
  const auto underWay = [&] {
    return static_cast<std::size_t>(
        std::count_if(m_probes.begin(), m_probes.end(), [&](const auto& probe) {
          return !probe->Ended() || m_comm.IsOpening(probe->name.c_str());
        }));
  };
  while (next < m_ports.size() && underWay() < kProbesAtOnce) {
    auto probe = std::make_shared<Probe>(m_comm, m_threads, m_ports[next]);
    probe->startedAt = elapsed;
    auto* start = new (std::nothrow) std::shared_ptr<Probe>(probe);
    probe->thread = start == nullptr ? kNoThread : m_threads.CreateThread(&Probe::Thread, start);
    if (probe->thread == kNoThread) {
      delete start;
      break;
    }
    m_probes.push_back(std::move(probe));
    ++next;
  }
  return next;
}

// A cancelled probe closes its port at once (the cancellation of a read is
// bounded, and so are an open and a close): once the search is over, none
// holds a port that the engine may open next. One still inside a driver
// call after kProbeEndLimitMs is left running; it frees itself.
void CPortFinder::EndProbes() {
  for (const auto& probe : m_probes) {
    probe->Cancel();
  }
  const auto deadline = Clock::now() + std::chrono::milliseconds(kProbeEndLimitMs);
  const auto allEnded = [&] {
    return std::all_of(m_probes.begin(), m_probes.end(),
                       [](const auto& probe) { return probe->Ended(); });
  };
  while (!allEnded() && Clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  for (const auto& probe : m_probes) {
    if (probe->Ended()) {
      m_threads.CloseThread(probe->thread);
    } else {
      m_threads.LeaveRunning(probe->thread);
    }
  }
  m_probes.clear();
}

void CPortFinder::EndSearchThread() {
  if (m_hThread == kNoThread) {
    return;
  }
  m_threads.WaitForThread(m_hThread);
  m_threads.CloseThread(m_hThread);
  m_hThread = kNoThread;
}

void CPortFinder::Stop() {
  m_bStop.store(1);
  EndSearchThread();
}

bool CPortFinder::TakeResult(std::string& port) {
  if (!IsLooking()) {
    return false;
  }
  EndSearchThread();
  port = m_found;
  return true;
}

}  // namespace zt
