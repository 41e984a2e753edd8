#include "engine/controller_protocol.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace zt {
namespace {

TEST(ControllerProtocolTest, TouchReportWorkedExample) {
  const Packet expected{0x55, 0x54, 0x01, 0x23, 0x01, 0x56, 0x04, 0x00, 0x00, 0xD2};
  EXPECT_EQ(BuildTouchReport(1, 0x0123, 0x0456), expected);

  const DecodedPacket decoded = DecodePacket(expected.data());
  ASSERT_EQ(decoded.kind, DecodedPacket::Kind::kTouchReport);
  EXPECT_EQ(decoded.touch.status, 1);
  EXPECT_EQ(decoded.touch.x, 291);
  EXPECT_EQ(decoded.touch.y, 1110);
}

TEST(ControllerProtocolTest, ParameterWriteWorkedExample) {
  const Packet expected{0x55, 0x78, 0x02, 0xC1, 0x00, 0x03, 0x00, 0x07, 0x01, 0x68};
  EXPECT_EQ(BuildParameterWrite(kDefaultSensitivity), expected);
}

TEST(ControllerProtocolTest, ParameterRequestWorkedExample) {
  const Packet expected{0x55, 0x79, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(BuildParameterRequest(), expected);
}

TEST(ControllerProtocolTest, ParameterWriteSendsTheLow16BitsOfEachValue) {
  const Packet packet = BuildParameterWrite({0x12345, 65536, -1, 70000});
  const Packet expected{0x55, 0x78, 0x23, 0x45, 0x00, 0x00, 0xFF, 0xFF, 0x11, 0x70};
  EXPECT_EQ(packet, expected);
}

TEST(ControllerProtocolTest, WrongChecksumDropsTheReport) {
  const Packet packet{0x55, 0x54, 0x01, 0x23, 0x01, 0x56, 0x04, 0x00, 0x00, 0xD3};
  EXPECT_EQ(DecodePacket(packet.data()).kind, DecodedPacket::Kind::kDropped);
}

TEST(ControllerProtocolTest, ChecksumCountsBytesSevenAndEight) {
  Packet packet = BuildTouchReport(2, 100, 200);
  packet[7] = 0x10;
  EXPECT_EQ(DecodePacket(packet.data()).kind, DecodedPacket::Kind::kDropped);
  packet[9] = TouchReportChecksum(packet.data());
  EXPECT_EQ(DecodePacket(packet.data()).kind, DecodedPacket::Kind::kTouchReport);
}

TEST(ControllerProtocolTest, AnyStatusByteDecodesWhole) {
  for (int status : {0, 3, 5, 255}) {
    const DecodedPacket decoded = DecodePacket(BuildTouchReport(status, 1, 2).data());
    ASSERT_EQ(decoded.kind, DecodedPacket::Kind::kTouchReport);
    EXPECT_EQ(decoded.touch.status, status);
  }
}

TEST(ControllerProtocolTest, CoordinatesAreFullSixteenBitLittleEndian) {
  const DecodedPacket decoded = DecodePacket(BuildTouchReport(1, 0xFFFF, 0x1000).data());
  EXPECT_EQ(decoded.touch.x, 65535);
  EXPECT_EQ(decoded.touch.y, 4096);
}

TEST(ControllerProtocolTest, BuiltReplyDecodesToItsValues) {
  const SensitivityParams values{900, 20, 0, 600};
  const DecodedPacket decoded = DecodePacket(BuildParameterReply(values).data());
  ASSERT_EQ(decoded.kind, DecodedPacket::Kind::kParameterReply);
  EXPECT_EQ(decoded.params, values);
}

TEST(ControllerProtocolTest, ParameterReplyIsBigEndianWithoutChecksum) {
  const Packet reply{0x55, 0x79, 0x02, 0xC1, 0x00, 0x03, 0x00, 0x07, 0xFF, 0xFF};
  const DecodedPacket decoded = DecodePacket(reply.data());
  ASSERT_EQ(decoded.kind, DecodedPacket::Kind::kParameterReply);
  EXPECT_EQ(decoded.params, (SensitivityParams{705, 3, 7, 65535}));
}

TEST(ControllerProtocolTest, UnknownTypesAndBadStartsAreDropped) {
  const Packet writeEcho = BuildParameterWrite(kDefaultSensitivity);
  EXPECT_EQ(DecodePacket(writeEcho.data()).kind, DecodedPacket::Kind::kDropped);
  Packet badStart = BuildTouchReport(1, 1, 1);
  badStart[0] = 0x54;
  EXPECT_EQ(DecodePacket(badStart.data()).kind, DecodedPacket::Kind::kDropped);
}

TEST(ParameterReplyTest, FlagIsClearedAndRaisedByEveryReply) {
  ParameterReply reply;
  EXPECT_FALSE(reply.HasArrived());
  reply.Publish({1, 2, 3, 4});
  EXPECT_TRUE(reply.HasArrived());
  EXPECT_EQ(reply.Values(), (SensitivityParams{1, 2, 3, 4}));
  reply.ClearFlag();
  EXPECT_FALSE(reply.HasArrived());
  reply.Publish({5, 6, 7, 8});
  EXPECT_TRUE(reply.HasArrived());
  EXPECT_EQ(reply.Values(), (SensitivityParams{5, 6, 7, 8}));
}

// A waiter that sees the flag must see the values published with it; the
// thread sanitizer build checks the ordering as well.
TEST(ParameterReplyTest, WaiterSeesTheValuesPublishedBeforeTheFlag) {
  for (int round = 0; round < 200; ++round) {
    ParameterReply reply;
    std::thread publisher([&reply, round] {
      reply.Publish({round, round + 1, round + 2, round + 3});
    });
    while (!reply.HasArrived()) {
      std::this_thread::yield();
    }
    EXPECT_EQ(reply.Values(), (SensitivityParams{round, round + 1, round + 2, round + 3}));
    publisher.join();
  }
}

}  // namespace
}  // namespace zt
