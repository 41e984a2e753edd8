#include "engine/port_finder.h"

#include <algorithm>
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

}  // namespace

// One port under trial, used by its own thread and the search: the thread
// opens, asks and listens; the search reads its stage, cancels it and
// waits for its thread to end. The port's own lock keeps a cancellation
// off a handle that is being closed.
struct CPortFinder::Probe {
  enum Stage : std::int32_t { kOpening, kListening, kAnswered, kSilent };

  Probe(ICommDevice& comm, IThreads& threads, std::string portName)
      : port(comm, threads), name(std::move(portName)) {}

  static void Thread(void* probe) { static_cast<Probe*>(probe)->Run(); }

  void Run() {
    CSerialConfig config;
    config.SetPortName(name.c_str());
    config.m_dwReadTimeout = 0;
    config.m_dwWriteTimeout = kProbeWriteTimeoutMs;
    bool answered = false;
    if (port.Open(config)) {
      stage.store(kListening);
      if (!cancelled.load()) {
        const Packet request = BuildParameterRequest();
        port.WriteBytes(request.data(), kPacketSize);
        answered = Listen(request);
      }
      port.Close();
    }
    stage.store(answered ? kAnswered : kSilent);
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

  CSerialPort port;
  const std::string name;
  std::atomic<std::int32_t> stage{kOpening};
  // Sequentially consistent with the port's handle: either the probe sees
  // the cancellation after its open, or the cancellation sees the handle.
  std::atomic<bool> cancelled{false};
  ThreadHandle thread = kNoThread;
  // When the search first saw it listening; kNever until then.
  static constexpr std::uint32_t kNever = ~0U;
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
  m_probes.clear();
  m_bStop.store(0);
  for (const std::string& name : ports) {
    auto probe = std::make_unique<Probe>(m_comm, m_threads, name);
    probe->thread = m_threads.CreateThread(&Probe::Thread, probe.get());
    if (probe->thread != kNoThread) {
      m_probes.push_back(std::move(probe));
    }
  }
  m_hThread = m_threads.CreateThread(&CPortFinder::SearchThread, this);
  if (m_hThread == kNoThread) {
    EndProbes();
    return false;
  }
  return true;
}

void CPortFinder::SearchThread(void* finder) {
  static_cast<CPortFinder*>(finder)->Search();
}

// Looks at the probes every step until one has answered, none is left to
// wait for, or a stop; then cancels the rest.
void CPortFinder::Search() {
  std::uint32_t elapsed = 0;
  bool waiting = true;
  while (waiting && m_bStop.load() == 0 && m_found.empty()) {
    waiting = false;
    for (const auto& probe : m_probes) {
      const std::int32_t stage = probe->stage.load();
      if (stage == Probe::kAnswered) {
        m_found = probe->name;
        break;
      }
      if (stage == Probe::kListening && probe->listeningSince == Probe::kNever) {
        probe->listeningSince = elapsed;
      }
      const bool timedOut = stage == Probe::kOpening
                                ? elapsed >= kOpenTimeoutMs
                                : elapsed - probe->listeningSince >= kAnswerTimeoutMs;
      if (stage != Probe::kSilent && !timedOut) {
        waiting = true;
      } else if (stage != Probe::kSilent && !probe->cancelled.load()) {
        probe->Cancel();
      }
    }
    if (waiting && m_found.empty()) {
      m_threads.Sleep(kSearchStepMs);
      elapsed += kSearchStepMs;
    }
  }
  EndProbes();
  if (m_bStop.load() == 0) {
    m_messages.Post(m_notifyWindow, kWmNotifyMain, m_found.empty() ? 0 : 1, kNotifyFindDone);
  }
}

// A cancelled probe closes its port at once (the cancellation of a read is
// bounded, and so is an open): once the search is over, none holds a port
// that the engine may open next, and no probe thread is left.
void CPortFinder::EndProbes() {
  for (const auto& probe : m_probes) {
    probe->Cancel();
  }
  for (const auto& probe : m_probes) {
    m_threads.WaitForThread(probe->thread);
    m_threads.CloseThread(probe->thread);
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
