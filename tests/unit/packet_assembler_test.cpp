#include "engine/packet_assembler.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace zt {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Runs the assembler and keeps every complete packet it hands out.
class AssemblerHarness {
public:
  void Feed(const Bytes& bytes) {
    assembler.Feed(bytes.data(), static_cast<int>(bytes.size()),
                   [this](const std::uint8_t* p) { packets.emplace_back(p, p + kPacketSize); });
  }

  std::vector<TouchReport> Touches() const {
    std::vector<TouchReport> touches;
    for (const Bytes& packet : packets) {
      const DecodedPacket decoded = DecodePacket(packet.data());
      if (decoded.kind == DecodedPacket::Kind::kTouchReport) {
        touches.push_back(decoded.touch);
      }
    }
    return touches;
  }

  ReceiveBuffer buffer;
  CPacketAssembler assembler{buffer};
  std::vector<Bytes> packets;
};

Bytes AsBytes(const Packet& packet) {
  return Bytes(packet.begin(), packet.end());
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) {
    all.insert(all.end(), part.begin(), part.end());
  }
  return all;
}

bool SameTouch(const TouchReport& a, const TouchReport& b) {
  return a.status == b.status && a.x == b.x && a.y == b.y;
}

TEST(PacketAssemblerTest, StrayBytesBeforeAReportAreDropped) {
  AssemblerHarness harness;
  harness.Feed(Concat({{0x00, 0x13, 0xFF, 0x54}, AsBytes(BuildTouchReport(1, 291, 1110))}));
  ASSERT_EQ(harness.packets.size(), 1U);
  const auto touches = harness.Touches();
  ASSERT_EQ(touches.size(), 1U);
  EXPECT_TRUE(SameTouch(touches[0], {1, 291, 1110}));
}

TEST(PacketAssemblerTest, A55InsideAPacketIsData) {
  // X low byte 0x55: the packet must not restart there.
  AssemblerHarness harness;
  harness.Feed(AsBytes(BuildTouchReport(2, 0x0155, 0x5555)));
  const auto touches = harness.Touches();
  ASSERT_EQ(touches.size(), 1U);
  EXPECT_TRUE(SameTouch(touches[0], {2, 0x0155, 0x5555}));
  EXPECT_FALSE(harness.assembler.InPacket());
}

TEST(PacketAssemblerTest, ReportSplitThreeFourThreeDecodesOnceAtItsTenthByte) {
  const Bytes report = AsBytes(BuildTouchReport(1, 291, 1110));
  AssemblerHarness harness;
  harness.Feed(Bytes(report.begin(), report.begin() + 3));
  EXPECT_TRUE(harness.packets.empty());
  harness.Feed(Bytes(report.begin() + 3, report.begin() + 7));
  EXPECT_TRUE(harness.packets.empty());
  harness.Feed(Bytes(report.begin() + 7, report.end()));
  EXPECT_EQ(harness.packets.size(), 1U);
  EXPECT_EQ(harness.Touches().size(), 1U);
}

TEST(PacketAssemblerTest, LostByteCorruptsOneReportAndResynchronises) {
  Bytes damaged = AsBytes(BuildTouchReport(1, 100, 100));
  damaged.erase(damaged.begin() + 4);
  AssemblerHarness harness;
  harness.Feed(Concat(
      {damaged, AsBytes(BuildTouchReport(2, 200, 200)), AsBytes(BuildTouchReport(4, 300, 300))}));
  // The damaged report swallowed the next one's 0x55; the one after decodes.
  const auto touches = harness.Touches();
  ASSERT_EQ(touches.size(), 1U);
  EXPECT_TRUE(SameTouch(touches[0], {4, 300, 300}));
}

TEST(PacketAssemblerTest, HandsOutParameterRepliesAndUnknownPackets) {
  AssemblerHarness harness;
  const Bytes reply{0x55, 0x79, 0x02, 0xC1, 0x00, 0x03, 0x00, 0x07, 0x01, 0x68};
  harness.Feed(Concat({reply, AsBytes(BuildParameterWrite(kDefaultSensitivity))}));
  ASSERT_EQ(harness.packets.size(), 2U);
  EXPECT_EQ(DecodePacket(harness.packets[0].data()).kind, DecodedPacket::Kind::kParameterReply);
  EXPECT_EQ(DecodePacket(harness.packets[1].data()).kind, DecodedPacket::Kind::kDropped);
}

TEST(PacketAssemblerTest, KeepsANulAfterTheBytesHeld) {
  AssemblerHarness harness;
  harness.Feed({0x55, 0x54, 0x01});
  EXPECT_EQ(harness.buffer.count, 3);
  EXPECT_EQ(harness.buffer.bytes[3], 0);
  EXPECT_TRUE(harness.assembler.InPacket());
}

// A long random stream with valid reports spliced in. Noise never holds a
// 0x55, so every report after a noise gap starts in step and decodes, and
// each noise gap is dropped whole.
TEST(PacketAssemblerTest, ReplayOfNoisyStreamDecodesExactlyTheReports) {
  std::mt19937 random(20261206);
  std::uniform_int_distribution<int> byteValue(0, 255);
  std::uniform_int_distribution<int> gapLength(0, 40);
  std::uniform_int_distribution<int> coordinate(0, 4095);
  std::uniform_int_distribution<int> statusIndex(0, 2);
  std::uniform_int_distribution<int> chunkLength(1, 64);
  const int statuses[] = {1, 2, 4};

  Bytes stream;
  std::vector<TouchReport> expected;
  for (int i = 0; i < 2000; ++i) {
    const int gap = gapLength(random);
    for (int j = 0; j < gap; ++j) {
      int value = byteValue(random);
      stream.push_back(static_cast<std::uint8_t>(value == 0x55 ? 0x56 : value));
    }
    const TouchReport report{statuses[statusIndex(random)], coordinate(random), coordinate(random)};
    const Packet packet = BuildTouchReport(report.status, report.x, report.y);
    stream.insert(stream.end(), packet.begin(), packet.end());
    expected.push_back(report);
  }

  AssemblerHarness harness;
  for (std::size_t offset = 0; offset < stream.size();) {
    const std::size_t length =
        std::min(stream.size() - offset, static_cast<std::size_t>(chunkLength(random)));
    harness.Feed(Bytes(stream.begin() + static_cast<std::ptrdiff_t>(offset),
                       stream.begin() + static_cast<std::ptrdiff_t>(offset + length)));
    offset += length;
  }

  const auto touches = harness.Touches();
  ASSERT_EQ(touches.size(), expected.size());
  EXPECT_EQ(harness.packets.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    ASSERT_TRUE(SameTouch(touches[i], expected[i])) << "report " << i;
  }
}

}  // namespace
}  // namespace zt
