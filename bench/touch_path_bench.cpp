// Cost of the touch path: received bytes to mouse events, per report.
#include <benchmark/benchmark.h>

#include <vector>

#include "engine/controller_protocol.h"
#include "engine/packet_assembler.h"
#include "engine/touch_driver.h"
#include "fake_comm_device.h"
#include "mapping/calib_mapper.h"
#include "mapping/precise_mapper.h"
#include "platform/std_threads.h"
#include "platform_fakes.h"

namespace zt {
namespace {

// Input that drops every event, so the benchmark measures our own work.
class NullInput final : public IInput {
public:
  void MouseEvent(std::uint32_t, std::int32_t, std::int32_t, std::uint32_t,
                  std::uintptr_t) override {}
  std::uintptr_t GetMessageExtraInfo() override { return 0; }
  std::uint32_t GetDoubleClickTime() override { return 500; }
  bool SetDoubleClickTime(std::uint32_t) override { return true; }
  std::uint32_t GetTickCount() override { return m_tick += 20; }
  bool Beep(std::uint32_t, std::uint32_t) override { return true; }

private:
  std::uint32_t m_tick = 0;
};

class NullMessages final : public IMessages {
public:
  bool Post(WindowHandle, std::uint32_t, std::uintptr_t, std::intptr_t) override { return true; }
};

std::vector<std::uint8_t> DragStream(int reports) {
  std::vector<std::uint8_t> stream;
  for (int i = 0; i < reports; ++i) {
    const int status = i == 0 ? 1 : (i == reports - 1 ? 4 : 2);
    const Packet packet = BuildTouchReport(status, 200 + (i * 37) % 3600, 300 + (i * 53) % 3500);
    stream.insert(stream.end(), packet.begin(), packet.end());
  }
  return stream;
}

void BM_AssembleAndDecode(benchmark::State& state) {
  const std::vector<std::uint8_t> stream = DragStream(1000);
  ReceiveBuffer buffer;
  CPacketAssembler assembler(buffer);
  int decoded = 0;
  for (auto _ : state) {
    assembler.Feed(stream.data(), static_cast<int>(stream.size()), [&](const std::uint8_t* p) {
      decoded += DecodePacket(p).kind == DecodedPacket::Kind::kTouchReport ? 1 : 0;
    });
  }
  benchmark::DoNotOptimize(decoded);
  state.SetItemsProcessed(state.iterations() * 1000);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(stream.size()));
}
BENCHMARK(BM_AssembleAndDecode);

void BM_MapPoint(benchmark::State& state) {
  CGridMapper mapper;
  mapper.SetDefaults();
  mapper.UpdateOrientation();
  int x = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(mapper.MapPoint(x & 4095, (x * 7) & 4095));
    ++x;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_MapPoint);

void BM_PreciseMapPoint(benchmark::State& state) {
  CPreciseMapper mapper;
  mapper.ReplacePoints(kDefaultCalibPoints);
  int x = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(mapper.MapPoint(x & 4095, (x * 7) & 4095));
    ++x;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PreciseMapPoint);

// The whole path a report takes on the reader thread.
void BM_ReceiveToMouseEvents(benchmark::State& state) {
  test::FakeCommDevice comm;
  StdThreads threads;
  NullInput input;
  NullMessages messages;
  test::FixedMonitors monitors;  // one 1024 x 768 monitor
  monitors.layout = {{{"\\\\.\\DISPLAY1", {0, 0, 1024, 768}, {0, 0, 1024, 768}, true}},
                     {0, 0, 1024, 768}};
  CTouchDriver engine({comm, threads, input, messages, monitors});
  engine.ApplySettings(EngineSettings{});
  const std::vector<std::uint8_t> stream = DragStream(1000);
  for (auto _ : state) {
    engine.OnReceive(stream.data(), static_cast<int>(stream.size()));
  }
  state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_ReceiveToMouseEvents);

}  // namespace
}  // namespace zt
