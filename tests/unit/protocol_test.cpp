// The wire protocol: packet bytes both ways, assembly from a noisy stream,
// the parameter reply's publication and the read exchange's timing.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "engine/controller_protocol.h"
#include "engine/packet_assembler.h"
#include "engine/parameter_exchange.h"

namespace zt {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Kind = DecodedPacket::Kind;

Bytes AsBytes(const Packet& packet) {
  return Bytes(packet.begin(), packet.end());
}

TEST(ProtocolTest, WorkedExamplesByteForByte) {
  EXPECT_EQ(BuildTouchReport(1, 0x0123, 0x0456),
            (Packet{0x55, 0x54, 0x01, 0x23, 0x01, 0x56, 0x04, 0x00, 0x00, 0xD2}));
  EXPECT_EQ(BuildParameterWrite(kDefaultSensitivity),
            (Packet{0x55, 0x78, 0x02, 0xC1, 0x00, 0x03, 0x00, 0x07, 0x01, 0x68}));
  EXPECT_EQ(BuildParameterRequest(), (Packet{0x55, 0x79, 0, 0, 0, 0, 0, 0, 0, 0}));
  // Each value goes out as its low 16 bits.
  EXPECT_EQ(BuildParameterWrite({0x12345, 65536, -1, 70000}),
            (Packet{0x55, 0x78, 0x23, 0x45, 0x00, 0x00, 0xFF, 0xFF, 0x11, 0x70}));
}

TEST(ProtocolTest, DecodesTouchReportsAndReplies) {
  const DecodedPacket touch = DecodePacket(BuildTouchReport(255, 0xFFFF, 0x1000).data());
  ASSERT_EQ(touch.kind, Kind::kTouchReport);
  EXPECT_EQ(touch.touch.status, 255);  // any status decodes; the engine ignores it
  EXPECT_EQ(touch.touch.x, 65535);
  EXPECT_EQ(touch.touch.y, 4096);

  // A reply is big-endian and carries no checksum.
  const Packet reply{0x55, 0x79, 0x02, 0xC1, 0x00, 0x03, 0x00, 0x07, 0xFF, 0xFF};
  const DecodedPacket decoded = DecodePacket(reply.data());
  ASSERT_EQ(decoded.kind, Kind::kParameterReply);
  EXPECT_EQ(decoded.params, (SensitivityParams{705, 3, 7, 65535}));
  EXPECT_EQ(DecodePacket(BuildParameterReply({900, 20, 0, 600}).data()).params,
            (SensitivityParams{900, 20, 0, 600}));
}

TEST(ProtocolTest, ChecksumCoversBytesOneToEight) {
  Packet report = BuildTouchReport(2, 100, 200);
  report[7] = 0x10;
  report[8] = 0x22;
  EXPECT_EQ(DecodePacket(report.data()).kind, Kind::kDropped);
  report[9] = static_cast<std::uint8_t>(0x54 + 2 + 100 + 0 + 200 + 0 + 0x10 + 0x22 - 1);
  EXPECT_EQ(TouchReportChecksum(report.data()), report[9]);
  EXPECT_EQ(DecodePacket(report.data()).kind, Kind::kTouchReport);
  report[9] ^= 1;
  EXPECT_EQ(DecodePacket(report.data()).kind, Kind::kDropped);

  Packet badStart = BuildTouchReport(1, 1, 1);
  badStart[0] = 0x54;
  EXPECT_EQ(DecodePacket(badStart.data()).kind, Kind::kDropped);
  EXPECT_EQ(DecodePacket(BuildParameterWrite(kDefaultSensitivity).data()).kind, Kind::kDropped);
}

class AssemblerTest : public ::testing::Test {
protected:
  void Feed(const Bytes& bytes) {
    assembler.Feed(bytes.data(), static_cast<int>(bytes.size()), [this](const std::uint8_t* p) {
      const DecodedPacket decoded = DecodePacket(p);
      if (decoded.kind == Kind::kTouchReport) {
        touches.push_back({decoded.touch.status, decoded.touch.x, decoded.touch.y});
      }
      ++packets;
    });
  }

  ReceiveBuffer buffer;
  CPacketAssembler assembler{buffer};
  std::vector<std::vector<std::int32_t>> touches;
  int packets = 0;
};

TEST_F(AssemblerTest, SplitNoisyAndDamagedInput) {
  const Bytes report = AsBytes(BuildTouchReport(1, 291, 1110));
  Feed({0x00, 0x13, 0xFF, 0x54});  // stray bytes before a packet are dropped
  Feed(Bytes(report.begin(), report.begin() + 3));
  Feed(Bytes(report.begin() + 3, report.begin() + 7));
  EXPECT_EQ(packets, 0);
  EXPECT_EQ(buffer.bytes[buffer.count], 0);  // a NUL follows the bytes held
  Feed(Bytes(report.begin() + 7, report.end()));
  EXPECT_EQ(touches, (std::vector<std::vector<std::int32_t>>{{1, 291, 1110}}));

  // A 0x55 inside a packet is data, not a new start.
  Feed(AsBytes(BuildTouchReport(2, 0x0155, 0x5555)));
  EXPECT_EQ(touches.back(), (std::vector<std::int32_t>{2, 0x0155, 0x5555}));
  EXPECT_FALSE(assembler.InPacket());

  // A lost byte costs its own report and swallows the next one's start.
  Bytes damaged = AsBytes(BuildTouchReport(1, 100, 100));
  damaged.erase(damaged.begin() + 4);
  touches.clear();
  Feed(damaged);
  Feed(AsBytes(BuildTouchReport(2, 200, 200)));
  Feed(AsBytes(BuildTouchReport(4, 300, 300)));
  EXPECT_EQ(touches, (std::vector<std::vector<std::int32_t>>{{4, 300, 300}}));
}

// A waiter that sees the flag sees the values published with it (the
// thread-sanitizer build checks the ordering too).
TEST(ParameterReplyTest, WaiterSeesTheValuesPublishedBeforeTheFlag) {
  for (int round = 0; round < 200; ++round) {
    ParameterReply reply;
    std::thread publisher([&reply, round] { reply.Publish({round, round + 1, round + 2, 9}); });
    while (!reply.HasArrived()) {
      std::this_thread::yield();
    }
    EXPECT_EQ(reply.Values(), (SensitivityParams{round, round + 1, round + 2, 9}));
    publisher.join();
    reply.ClearFlag();
    EXPECT_FALSE(reply.HasArrived());
  }
}

// The read exchange on a fake clock: the controller replies after a given
// number of sleeps (never, when negative).
TEST(ParameterExchangeTest, RequestsPollsAndPauses) {
  struct Row {
    int replyAfterSleeps;
    bool ok;
    int requests;
    std::uint32_t sleptMs;
  };
  const Row rows[] = {
      {-1, false, 3, 4500},  // 3 x (10 x 100 ms + 500 ms)
      {1, true, 1, 100},     // taken at the first poll that sees it
      {14, true, 2, 1800},   // 10 polls, the pause, 3 polls of the second request
      {11, false, 3, 4500},  // arrives in the pause: the next request clears it
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.replyAfterSleeps);
    struct Link final : IParameterLink {
      bool RequestParameters() override {
        ++requests;
        reply.ClearFlag();
        return true;
      }
      const ParameterReply& Reply() const override { return reply; }
      int requests = 0;
      ParameterReply reply;
    } link;
    int sleeps = 0;
    std::uint32_t slept = 0;
    SensitivityParams values{1, 2, 3, 4};
    const bool ok = ReadParameters(
        link,
        [&](std::uint32_t ms) {
          slept += ms;
          if (++sleeps == row.replyAfterSleeps) {
            link.reply.Publish(kDefaultSensitivity);
          }
        },
        values);
    EXPECT_EQ(ok, row.ok);
    EXPECT_EQ(link.requests, row.requests);
    EXPECT_EQ(slept, row.sleptMs);
    EXPECT_EQ(values, row.ok ? kDefaultSensitivity : (SensitivityParams{1, 2, 3, 4}));
  }
}

}  // namespace
}  // namespace zt
