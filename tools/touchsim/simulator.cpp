#include "simulator.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "engine/packet_assembler.h"

namespace zt::touchsim {
namespace {

constexpr int kIdleReadTimeoutMs = 500;
constexpr int kNoiseChunk = 64;

std::int32_t Round(double value) {
  return static_cast<std::int32_t>(std::lround(value));
}

Packet BuildReport(std::int32_t status, PanelPoint reported) {
  return BuildTouchReport(status, reported.x, reported.y);
}

double Distance(PanelPoint a, PanelPoint b) {
  return std::hypot(static_cast<double>(b.x - a.x), static_cast<double>(b.y - a.y));
}

}  // namespace

PanelPoint PointAlongPath(const std::vector<PanelPoint>& path, double fraction) {
  if (path.empty()) {
    return {};
  }
  double total = 0.0;
  for (std::size_t i = 1; i < path.size(); ++i) {
    total += Distance(path[i - 1], path[i]);
  }
  double remaining = std::clamp(fraction, 0.0, 1.0) * total;
  for (std::size_t i = 1; i < path.size(); ++i) {
    const double length = Distance(path[i - 1], path[i]);
    if (length > 0.0 && remaining <= length) {
      const double t = remaining / length;
      return {Round(path[i - 1].x + t * (path[i].x - path[i - 1].x)),
              Round(path[i - 1].y + t * (path[i].y - path[i - 1].y))};
    }
    remaining -= length;
  }
  return path.back();
}

Simulator::Simulator(PtyLine& line, ControllerModel& controller, Logger& log)
    : m_line(line), m_controller(controller), m_log(log) {}

bool Simulator::Start() {
  if (m_server.joinable()) {
    return false;
  }
  m_server = std::thread([this] { ServeCommands(); });
  return true;
}

void Simulator::RequestStop() {
  {
    const std::lock_guard<std::mutex> lock(m_stopMutex);
    m_stopRequested.store(true, std::memory_order_release);
  }
  m_stopSignal.notify_all();
  m_line.Interrupt();
}

void Simulator::Stop() {
  RequestStop();
  if (m_server.joinable()) {
    m_server.join();
  }
}

void Simulator::SetReportRate(std::int32_t reportsPerSecond) {
  m_reportRate = std::clamp(reportsPerSecond, 1, kMaxReportRate);
}

bool Simulator::Tap(PanelPoint intended) {
  const Clock::time_point start = Clock::now();
  const bool began = SendReport(kTouchBegins, intended);
  const bool waited = SleepUntil(start + ReportPeriods(1));
  return SendReport(kTouchEnds, intended) && began && waited;
}

bool Simulator::Hold(PanelPoint intended, std::int32_t durationMs) {
  return Touch({intended}, durationMs);
}

bool Simulator::Drag(const std::vector<PanelPoint>& path, std::int32_t durationMs) {
  return !path.empty() && Touch(path, durationMs);
}

// Reports fall on the report rate's grid from the touch's start; the last
// status-2 report comes at the touch's end, at the end of the path.
bool Simulator::Touch(const std::vector<PanelPoint>& path, std::int32_t durationMs) {
  const Clock::time_point start = Clock::now();
  const Clock::duration duration = std::chrono::milliseconds(std::max(durationMs, 0));
  const std::int64_t steps =
      std::max<std::int64_t>(1, (std::int64_t{durationMs} * m_reportRate + 999) / 1000);
  bool completed = SendReport(kTouchBegins, path.front());
  PanelPoint last = path.front();
  for (std::int64_t step = 1; step <= steps; ++step) {
    const Clock::duration elapsed = std::min(ReportPeriods(step), duration);
    if (!SleepUntil(start + elapsed)) {
      completed = false;
      break;
    }
    const double fraction = durationMs > 0 ? std::chrono::duration<double>(elapsed) /
                                                 std::chrono::duration<double>(duration)
                                           : 1.0;
    last = PointAlongPath(path, fraction);
    completed = SendReport(kTouchContinues, last) && completed;
  }
  return SendReport(kTouchEnds, last) && completed;
}

bool Simulator::Report(PanelPoint intended, std::int32_t status) {
  return SendReport(status, intended);
}

bool Simulator::Split(PanelPoint intended, std::int32_t status,
                      const std::vector<std::int32_t>& chunks) {
  const Packet packet = BuildReport(status, m_panel.Apply(intended));
  const std::lock_guard<std::mutex> lock(m_lineMutex);
  int sent = 0;
  bool complete = true;
  for (std::size_t i = 0; sent < kPacketSize; ++i) {
    const int wanted = i < chunks.size() ? chunks[i] : kPacketSize - sent;
    const int size = std::clamp(wanted, 1, kPacketSize - sent);
    if (sent > 0) {
      std::this_thread::sleep_for(kSplitGap);
    }
    complete = SendLocked(packet.data() + sent, size, "tx split") && complete;
    sent += size;
  }
  return complete;
}

bool Simulator::Corrupt(PanelPoint intended, std::int32_t status, Corruption corruption) {
  const Packet report = BuildReport(status, m_panel.Apply(intended));
  std::vector<std::uint8_t> bytes(report.begin(), report.end());
  if (corruption.kind == Corruption::Kind::kBadChecksum) {
    bytes[9] = static_cast<std::uint8_t>(bytes[9] + 1);
  } else {
    const auto index = static_cast<std::size_t>(std::clamp(corruption.droppedIndex, 0, 9));
    bytes.erase(bytes.begin() + static_cast<std::ptrdiff_t>(index));
  }
  return Send(bytes.data(), static_cast<int>(bytes.size()), "tx corrupt");
}

bool Simulator::Noise(std::int32_t count, bool allowPacketStart) {
  // Without 0x55 the draw leaves one value out and shifts those above it.
  std::uniform_int_distribution<int> draw(0, allowPacketStart ? 255 : 254);
  bool complete = true;
  for (std::int32_t done = 0; done < count && !StopRequested(); done += kNoiseChunk) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(std::min(kNoiseChunk, count - done)));
    for (std::uint8_t& byte : bytes) {
      const int value = draw(m_random);
      byte =
          static_cast<std::uint8_t>(!allowPacketStart && value >= kPacketStart ? value + 1 : value);
    }
    complete = Send(bytes.data(), static_cast<int>(bytes.size()), "tx noise") && complete;
  }
  return complete && !StopRequested();
}

bool Simulator::Raw(const std::vector<std::uint8_t>& bytes) {
  return Send(bytes.data(), static_cast<int>(bytes.size()), "tx raw");
}

bool Simulator::Wait(std::int32_t durationMs) {
  return SleepUntil(Clock::now() + std::chrono::milliseconds(durationMs));
}

bool Simulator::Drain(std::int32_t maxMs) {
  // Bytes just written may take a moment to show up on the other side's
  // queue, so the first look comes after a short pause.
  constexpr auto kStep = std::chrono::milliseconds(5);
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(maxMs);
  do {
    std::this_thread::sleep_for(kStep);
    if (m_line.UnreadOutput() == 0) {
      return true;
    }
  } while (Clock::now() < deadline);
  return false;
}

bool Simulator::SendReport(std::int32_t status, PanelPoint intended) {
  if (m_jitter > 0) {
    std::normal_distribution<double> noise(0.0, m_jitter);
    intended.x += static_cast<std::int32_t>(std::lround(noise(m_random)));
    intended.y += static_cast<std::int32_t>(std::lround(noise(m_random)));
  }
  const Packet report = BuildReport(status, m_panel.Apply(intended));
  return Send(report.data(), kPacketSize, "tx report");
}

bool Simulator::Send(const std::uint8_t* bytes, int count, const char* label) {
  const std::lock_guard<std::mutex> lock(m_lineMutex);
  return SendLocked(bytes, count, label);
}

bool Simulator::SendLocked(const std::uint8_t* bytes, int count, const char* label) {
  m_log.TraceBytes(label, bytes, static_cast<std::size_t>(count));
  int written = 0;
  if (m_paced.load(std::memory_order_relaxed)) {
    // The line is busy until its last byte has gone out.
    Clock::time_point slot = std::max(Clock::now(), m_lineFreeAt);
    for (; written < count; ++written, slot += kByteTime) {
      std::this_thread::sleep_until(slot);
      if (m_line.Write(bytes + written, 1) != 1) {
        break;
      }
    }
    m_lineFreeAt = slot;
  } else {
    written = m_line.Write(bytes, count);
  }
  if (written < count) {
    m_log.Error("the line took " + std::to_string(written) + " of " + std::to_string(count) +
                " bytes; the rest is lost");
    return false;
  }
  return true;
}

bool Simulator::SleepUntil(Clock::time_point deadline) {
  std::unique_lock<std::mutex> lock(m_stopMutex);
  return !m_stopSignal.wait_until(lock, deadline, [this] { return StopRequested(); });
}

Simulator::Clock::duration Simulator::ReportPeriods(std::int64_t count) const {
  return std::chrono::duration_cast<Clock::duration>(
      std::chrono::nanoseconds(count * 1'000'000'000 / m_reportRate));
}

void Simulator::ServeCommands() {
  ReceiveBuffer buffer;
  CPacketAssembler assembler(buffer);
  std::uint8_t chunk[256];
  while (!StopRequested()) {
    const int received = m_line.Read(chunk, static_cast<int>(sizeof chunk), NextReadTimeoutMs());
    if (received < 0) {
      m_log.Error("reading the line failed; commands are no longer answered");
      return;
    }
    if (received > 0) {
      m_log.TraceBytes("rx", chunk, static_cast<std::size_t>(received));
      assembler.Feed(chunk, received,
                     [this](const std::uint8_t* packet) { HandleCommand(packet); });
    }
    SendDueReplies();
  }
}

void Simulator::HandleCommand(const std::uint8_t* packet) {
  using Kind = ControllerModel::Response::Kind;
  const ControllerModel::Response response = m_controller.Handle(packet);
  switch (response.kind) {
    case Kind::kNotACommand:
      m_log.TraceBytes("ignored packet", packet, kPacketSize);
      break;
    case Kind::kRequestUnanswered:
      m_log.Trace("parameter request left unanswered (silent)");
      break;
    case Kind::kRequestAnswered:
      m_dueReplies.emplace_back(
          Clock::now() + std::chrono::milliseconds(std::max(m_controller.ReplyDelayMs(), 0)),
          response.reply);
      SendDueReplies();
      break;
    case Kind::kWriteApplied:
      m_log.Trace("EEPROM now " + FormatEeprom(m_controller.Eeprom()));
      if (!response.error.empty()) {
        m_log.Error(response.error);
      }
      break;
  }
  {
    const std::lock_guard<std::mutex> lock(m_handledMutex);
    ++m_packetsHandled;
  }
  m_handledSignal.notify_all();
}

std::int64_t Simulator::PacketsHandled() const {
  const std::lock_guard<std::mutex> lock(m_handledMutex);
  return m_packetsHandled;
}

bool Simulator::WaitUntilHandled(std::int64_t count, std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(m_handledMutex);
  return m_handledSignal.wait_for(lock, timeout, [&] { return m_packetsHandled >= count; });
}

void Simulator::SendDueReplies() {
  while (!m_dueReplies.empty() && m_dueReplies.front().first <= Clock::now()) {
    const Packet reply = m_dueReplies.front().second;
    m_dueReplies.pop_front();
    Send(reply.data(), kPacketSize, "tx reply");
  }
}

int Simulator::NextReadTimeoutMs() const {
  if (m_dueReplies.empty()) {
    return kIdleReadTimeoutMs;
  }
  const auto untilDue =
      std::chrono::ceil<std::chrono::milliseconds>(m_dueReplies.front().first - Clock::now());
  return static_cast<int>(std::clamp<std::int64_t>(untilDue.count(), 0, kIdleReadTimeoutMs));
}

}  // namespace zt::touchsim
