#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "controller_model.h"
#include "engine/packet_assembler.h"
#include "logger.h"
#include "options.h"
#include "panel_transform.h"
#include "pty_line.h"
#include "simulator.h"
#include "touch_script.h"

namespace zt::touchsim {
namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

// Only a guard against a hang: no test expects to come near it.
constexpr int kGiveUpMs = 5000;

Bytes AsBytes(const Packet& packet) {
  return Bytes(packet.begin(), packet.end());
}

Packet Report(std::int32_t status, PanelPoint point) {
  return BuildTouchReport(status, point.x, point.y);
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

void WriteFile(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path) << text;
}

// A directory of its own for each test, removed afterwards.
class ScratchDir {
public:
  ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "touchsim-XXXXXX").string();
    m_path = mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
  }
  ~ScratchDir() { std::filesystem::remove_all(m_path); }
  std::filesystem::path operator/(const char* name) const { return m_path / name; }

private:
  std::filesystem::path m_path;
};

// The system's end of the line: the pseudo-terminal's slave, as the
// program under test would open it.
class SystemEnd {
public:
  explicit SystemEnd(const std::string& path)
      : m_fd(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {}
  ~SystemEnd() {
    if (m_fd >= 0) {
      close(m_fd);
    }
  }
  bool IsOpen() const { return m_fd >= 0; }

  void Send(const Bytes& bytes) {
    ASSERT_EQ(write(m_fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  void Send(const Packet& packet) { Send(AsBytes(packet)); }

  // The next count bytes, fewer only if they never come.
  Bytes ReadBytes(std::size_t count) {
    Bytes bytes;
    std::uint8_t chunk[256];
    while (bytes.size() < count && WaitForInput(kGiveUpMs)) {
      const std::size_t wanted = std::min(sizeof chunk, count - bytes.size());
      const ssize_t received = read(m_fd, chunk, wanted);
      if (received > 0) {
        bytes.insert(bytes.end(), chunk, chunk + received);
      }
    }
    return bytes;
  }

  // The next count packets as the system's assembler collects them.
  std::vector<Packet> ReadPackets(std::size_t count) {
    std::vector<Packet> packets;
    while (packets.size() < count) {
      const Bytes byte = ReadBytes(1);
      if (byte.empty()) {
        break;
      }
      m_assembler.Feed(byte.data(), 1, [&](const std::uint8_t* bytes) {
        Packet packet;
        std::copy(bytes, bytes + kPacketSize, packet.begin());
        packets.push_back(packet);
      });
    }
    return packets;
  }

  Packet ReadPacket() {
    const std::vector<Packet> packets = ReadPackets(1);
    return packets.empty() ? Packet{} : packets.front();
  }

private:
  bool WaitForInput(int timeoutMs) const {
    pollfd entry{m_fd, POLLIN, 0};
    return poll(&entry, 1, timeoutMs) > 0;
  }

  int m_fd;
  ReceiveBuffer m_buffer;
  CPacketAssembler m_assembler{m_buffer};
};

class SimulatorTest : public ::testing::Test {
protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(line.OpenPseudoTerminal(error)) << error;
    system = std::make_unique<SystemEnd>(line.PeerPath());
    ASSERT_TRUE(system->IsOpen());
    ASSERT_TRUE(simulator.Start());
  }

  // The system sends a command and waits until the simulator has handled it.
  void SendAndWait(const Packet& command) {
    const std::int64_t before = simulator.PacketsHandled();
    system->Send(command);
    ASSERT_TRUE(simulator.WaitUntilHandled(before + 1, std::chrono::milliseconds(kGiveUpMs)));
  }

  std::ostringstream logText;
  Logger log{logText};
  PtyLine line;
  ControllerModel controller;
  Simulator simulator{line, controller, log};
  std::unique_ptr<SystemEnd> system;
};

// --- Panel transform and path interpolation ---

struct TransformCase {
  const char* name;
  PanelTransform panel;
  PanelPoint intended;
  PanelPoint reported;
};

const TransformCase kTransformCases[] = {
    {"identity", {}, {291, 1110}, {291, 1110}},
    {"mirror x", {false, true, false, 0, 0}, {291, 1110}, {3804, 1110}},
    {"mirror y", {false, false, true, 0, 0}, {291, 1110}, {291, 2985}},
    {"swap", {true, false, false, 0, 0}, {291, 1110}, {1110, 291}},
    {"swap then mirror x", {true, true, false, 0, 0}, {291, 1110}, {2985, 291}},
    {"mirror both", {false, true, true, 0, 0}, {0, 4095}, {4095, 0}},
    {"offset", {false, false, false, 10, -20}, {291, 1110}, {301, 1090}},
    {"offset kept within the field", {false, false, false, 100, -100}, {4090, 5}, {4190, 0}},
    {"mirror of a value above 4095", {false, true, false, 0, 0}, {5000, 7}, {0, 7}},
};

TEST(PanelTransformTest, MapsIntendedToReportedPoints) {
  for (const TransformCase& c : kTransformCases) {
    EXPECT_EQ(c.panel.Apply(c.intended), c.reported) << c.name;
  }
}

TEST(PointAlongPathTest, InterpolatesByLength) {
  const std::vector<PanelPoint> corner{{0, 0}, {100, 0}, {100, 100}};
  const struct {
    double fraction;
    PanelPoint expected;
  } cases[] = {{0.0, {0, 0}},     {0.25, {50, 0}},   {0.5, {100, 0}},
               {0.75, {100, 50}}, {1.0, {100, 100}}, {2.0, {100, 100}}};
  for (const auto& c : cases) {
    EXPECT_EQ(PointAlongPath(corner, c.fraction), c.expected) << c.fraction;
  }
  EXPECT_EQ(PointAlongPath({{7, 7}, {7, 7}}, 0.5), (PanelPoint{7, 7}));
}

// --- Touches on the line ---

TEST_F(SimulatorTest, TapSendsBeginAndEndAtTheReportedPoint) {
  for (const TransformCase& c : kTransformCases) {
    simulator.SetPanel(c.panel);
    EXPECT_TRUE(simulator.Tap(c.intended));
    const std::vector<Packet> expected{Report(kTouchBegins, c.reported),
                                       Report(kTouchEnds, c.reported)};
    EXPECT_EQ(system->ReadPackets(2), expected) << c.name;
  }
}

TEST_F(SimulatorTest, TapOfTheWorkedExampleHasItsExactBytes) {
  EXPECT_TRUE(simulator.Tap({291, 1110}));
  EXPECT_EQ(system->ReadBytes(10), (Bytes{0x55, 0x54, 0x01, 0x23, 0x01, 0x56, 0x04, 0, 0, 0xD2}));
}

TEST_F(SimulatorTest, HoldRepeatsStatusTwoAtTheReportRate) {
  simulator.SetReportRate(100);
  EXPECT_TRUE(simulator.Hold({500, 600}, 50));
  std::vector<Packet> expected{Report(kTouchBegins, {500, 600})};
  expected.insert(expected.end(), 5, Report(kTouchContinues, {500, 600}));
  expected.push_back(Report(kTouchEnds, {500, 600}));
  EXPECT_EQ(system->ReadPackets(expected.size()), expected);
}

TEST_F(SimulatorTest, DragInterpolatesAlongThePathAndEndsAtItsLastPoint) {
  simulator.SetReportRate(100);
  EXPECT_TRUE(simulator.Drag({{100, 100}, {300, 100}, {300, 300}}, 40));
  const std::vector<Packet> expected{
      Report(kTouchBegins, {100, 100}),    Report(kTouchContinues, {200, 100}),
      Report(kTouchContinues, {300, 100}), Report(kTouchContinues, {300, 200}),
      Report(kTouchContinues, {300, 300}), Report(kTouchEnds, {300, 300})};
  EXPECT_EQ(system->ReadPackets(expected.size()), expected);
}

TEST_F(SimulatorTest, DragPointsPassThroughThePanelTransform) {
  simulator.SetReportRate(100);
  simulator.SetPanel({true, false, true, 0, 0});
  EXPECT_TRUE(simulator.Drag({{0, 0}, {200, 0}}, 20));
  const std::vector<Packet> expected{
      Report(kTouchBegins, {0, 4095}), Report(kTouchContinues, {0, 3995}),
      Report(kTouchContinues, {0, 3895}), Report(kTouchEnds, {0, 3895})};
  EXPECT_EQ(system->ReadPackets(expected.size()), expected);
}

TEST_F(SimulatorTest, PacedTouchesCarryTheSameBytes) {
  simulator.SetPaced(true);
  EXPECT_TRUE(simulator.Tap({10, 20}));
  EXPECT_EQ(system->ReadPackets(2),
            (std::vector<Packet>{Report(kTouchBegins, {10, 20}), Report(kTouchEnds, {10, 20})}));
}

TEST_F(SimulatorTest, StopCutsAHoldShortButStillLifts) {
  std::thread holder([&] { EXPECT_FALSE(simulator.Hold({40, 50}, 600'000)); });
  EXPECT_EQ(system->ReadPacket(), Report(kTouchBegins, {40, 50}));
  simulator.RequestStop();
  holder.join();
  Packet last;
  do {
    last = system->ReadPacket();
  } while (last == Report(kTouchContinues, {40, 50}));
  EXPECT_EQ(last, Report(kTouchEnds, {40, 50}));
}

TEST_F(SimulatorTest, SplitReportReassembles) {
  EXPECT_TRUE(simulator.Split({291, 1110}, kTouchBegins, {3, 4, 3}));
  EXPECT_TRUE(simulator.Split({5, 6}, kTouchEnds, {2}));
  EXPECT_EQ(system->ReadPackets(2),
            (std::vector<Packet>{Report(kTouchBegins, {291, 1110}), Report(kTouchEnds, {5, 6})}));
}

TEST_F(SimulatorTest, CorruptChecksumIsDroppedByTheDecoder) {
  EXPECT_TRUE(simulator.Corrupt({291, 1110}, kTouchBegins, {}));
  const Packet received = system->ReadPacket();
  EXPECT_EQ(received[9], 0xD3);
  EXPECT_EQ(DecodePacket(received.data()).kind, DecodedPacket::Kind::kDropped);
}

TEST_F(SimulatorTest, DroppedByteSwallowsTheNextPacketStart) {
  EXPECT_TRUE(simulator.Corrupt({291, 1110}, kTouchBegins, {Corruption::Kind::kDroppedByte, 4}));
  EXPECT_TRUE(simulator.Tap({16, 32}));
  const Bytes all = system->ReadBytes(29);
  ASSERT_EQ(all.size(), 29U);
  ReceiveBuffer buffer;
  CPacketAssembler assembler(buffer);
  std::vector<DecodedPacket::Kind> kinds;
  assembler.Feed(all.data(), static_cast<int>(all.size()),
                 [&](const std::uint8_t* p) { kinds.push_back(DecodePacket(p).kind); });
  // The short packet takes the tap's first byte; the assembler is back in
  // step at the tap's lift.
  EXPECT_EQ(kinds, (std::vector{DecodedPacket::Kind::kDropped, DecodedPacket::Kind::kTouchReport}));
  EXPECT_EQ(Bytes(all.end() - 10, all.end()), AsBytes(Report(kTouchEnds, {16, 32})));
}

TEST_F(SimulatorTest, NoiseAvoidsPacketStartUnlessAllowed) {
  simulator.SeedNoise(7);
  EXPECT_TRUE(simulator.Noise(3000, false));
  const Bytes quiet = system->ReadBytes(3000);
  EXPECT_EQ(quiet.size(), 3000U);
  EXPECT_EQ(std::count(quiet.begin(), quiet.end(), kPacketStart), 0);
  EXPECT_TRUE(simulator.Noise(3000, true));
  const Bytes any = system->ReadBytes(3000);
  EXPECT_GT(std::count(any.begin(), any.end(), kPacketStart), 0);
}

TEST_F(SimulatorTest, RawBytesGoOutUnchanged) {
  const Bytes bytes{0x55, 0x00, 0xFF, 0x12};
  EXPECT_TRUE(simulator.Raw(bytes));
  EXPECT_EQ(system->ReadBytes(4), bytes);
}

TEST_F(SimulatorTest, DrainSucceedsOnceTheSystemHasReadEverything) {
  EXPECT_TRUE(simulator.Raw({1, 2, 3}));
  EXPECT_EQ(system->ReadBytes(3).size(), 3U);
  EXPECT_TRUE(simulator.Drain(kGiveUpMs));
  EXPECT_TRUE(simulator.Raw({4}));
  EXPECT_FALSE(simulator.Drain(20));
}

// --- Commands from the system ---

TEST_F(SimulatorTest, ReadRequestGetsTheEepromDefaults) {
  system->Send(BuildParameterRequest());
  EXPECT_EQ(system->ReadBytes(10), (Bytes{0x55, 0x79, 0x02, 0xC1, 0, 3, 0, 7, 0x01, 0x68}));
}

TEST_F(SimulatorTest, RequestAmidNoiseAndInPiecesIsAnswered) {
  const Packet request = BuildParameterRequest();
  system->Send(Bytes{0x00, 0x13, 0x79});
  system->Send(Bytes(request.begin(), request.begin() + 4));
  system->Send(Bytes(request.begin() + 4, request.end()));
  EXPECT_EQ(system->ReadPacket(), BuildParameterReply(kDefaultSensitivity));
}

TEST_F(SimulatorTest, WriteCommandChangesTheEeprom) {
  const SensitivityParams written{800, 10, 12, 500};
  SendAndWait(BuildParameterWrite(written));
  EXPECT_EQ(controller.Eeprom(), written);
  system->Send(BuildParameterRequest());
  EXPECT_EQ(system->ReadPacket(), BuildParameterReply(written));
}

TEST_F(SimulatorTest, SilentControllerAnswersNothing) {
  controller.SetSilent(true);
  SendAndWait(BuildParameterRequest());
  // Anything the request had produced would come before this marker.
  EXPECT_TRUE(simulator.Report({1, 2}, 3));
  EXPECT_EQ(system->ReadPacket(), Report(3, {1, 2}));
  controller.SetSilent(false);
  system->Send(BuildParameterRequest());
  EXPECT_EQ(system->ReadPacket(), BuildParameterReply(kDefaultSensitivity));
}

TEST_F(SimulatorTest, DelayedReplyStillArrives) {
  controller.SetReplyDelayMs(30);
  SendAndWait(BuildParameterRequest());
  EXPECT_EQ(system->ReadPacket(), BuildParameterReply(kDefaultSensitivity));
}

TEST_F(SimulatorTest, UnknownPacketsAreIgnored) {
  SendAndWait(BuildTouchReport(kTouchBegins, 1, 2));
  EXPECT_EQ(controller.Eeprom(), kDefaultSensitivity);
  system->Send(BuildParameterRequest());
  EXPECT_EQ(system->ReadPacket(), BuildParameterReply(kDefaultSensitivity));
}

TEST_F(SimulatorTest, FailedEepromSaveIsLogged) {
  ScratchDir dir;
  std::string error;
  ASSERT_TRUE(controller.AttachEepromFile((dir / "missing" / "eeprom.txt").string(), error));
  SendAndWait(BuildParameterWrite({700, 1, 1, 200}));
  EXPECT_NE(logText.str().find("cannot write"), std::string::npos) << logText.str();
  EXPECT_EQ(controller.Eeprom(), (SensitivityParams{700, 1, 1, 200}));
}

TEST_F(SimulatorTest, VerboseLogShowsBothDirections) {
  log.SetVerbose(true);
  SendAndWait(BuildParameterRequest());
  EXPECT_EQ(system->ReadPacket(), BuildParameterReply(kDefaultSensitivity));
  EXPECT_NE(logText.str().find("rx: 55 79 00 00"), std::string::npos) << logText.str();
  EXPECT_NE(logText.str().find("tx reply: 55 79 02 C1 00 03 00 07 01 68"), std::string::npos);
}

TEST(LoggerTest, TracesOnlyWhenVerbose) {
  std::ostringstream text;
  Logger log(text);
  const std::uint8_t bytes[] = {0x55, 0x0A};
  log.TraceBytes("tx", bytes, 2);
  log.Error("kept");
  log.SetVerbose(true);
  log.TraceBytes("tx", bytes, 2);
  EXPECT_EQ(text.str(), "touchsim: kept\ntouchsim: tx: 55 0A\n");
}

// --- Device mode, with a pseudo-terminal standing in for the port ---

TEST(PtyLineTest, DeviceIsSetTo9600EightDataBitsTwoStopBits) {
  PtyLine far;
  PtyLine device;
  std::string error;
  ASSERT_TRUE(far.OpenPseudoTerminal(error)) << error;
  ASSERT_TRUE(device.OpenDevice(far.PeerPath(), error)) << error;
  const int fd = open(far.PeerPath().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(fd, 0);
  termios settings{};
  ASSERT_EQ(tcgetattr(fd, &settings), 0);
  close(fd);
  EXPECT_EQ(cfgetospeed(&settings), static_cast<speed_t>(B9600));
  EXPECT_EQ(settings.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_NE(settings.c_cflag & CSTOPB, 0U);
  EXPECT_EQ(settings.c_cflag & PARENB, 0U);

  const std::uint8_t hello[] = {0x55, 0x79};
  EXPECT_EQ(device.Write(hello, 2), 2);
  std::uint8_t received[2] = {};
  EXPECT_EQ(far.Read(received, 2, kGiveUpMs), 2);
  EXPECT_EQ(Bytes(received, received + 2), Bytes(hello, hello + 2));
}

TEST(PtyLineTest, MissingDeviceIsReported) {
  PtyLine line;
  std::string error;
  EXPECT_FALSE(line.OpenDevice("/dev/no-such-touch-port", error));
  EXPECT_NE(error.find("/dev/no-such-touch-port"), std::string::npos);
  EXPECT_FALSE(line.IsOpen());
}

TEST(PtyLineTest, InterruptEndsAWaitingRead) {
  PtyLine line;
  std::string error;
  ASSERT_TRUE(line.OpenPseudoTerminal(error)) << error;
  std::uint8_t byte = 0;
  std::thread reader([&] { EXPECT_EQ(line.Read(&byte, 1, 600'000), 0); });
  line.Interrupt();
  reader.join();
}

// --- EEPROM file ---

TEST(ControllerModelTest, WriteIsSavedAndReloaded) {
  ScratchDir dir;
  const auto file = dir / "eeprom.txt";
  std::string error;
  ControllerModel first;
  ASSERT_TRUE(first.AttachEepromFile(file.string(), error)) << error;
  EXPECT_EQ(first.Eeprom(), kDefaultSensitivity);
  const Packet write = BuildParameterWrite({650, 0, 20, 100});
  EXPECT_EQ(first.Handle(write.data()).kind, ControllerModel::Response::Kind::kWriteApplied);
  EXPECT_EQ(ReadFile(file), "650 0 20 100\n");

  ControllerModel second;
  ASSERT_TRUE(second.AttachEepromFile(file.string(), error)) << error;
  EXPECT_EQ(second.Eeprom(), (SensitivityParams{650, 0, 20, 100}));
}

TEST(ControllerModelTest, MalformedFileIsRejectedAndLeftAlone) {
  ScratchDir dir;
  const auto file = dir / "eeprom.txt";
  for (const char* text : {"705 3 7", "705 3 7 360 1", "705 3 seven 360", "70000 3 7 360", ""}) {
    WriteFile(file, text);
    ControllerModel model;
    std::string error;
    EXPECT_FALSE(model.AttachEepromFile(file.string(), error)) << text;
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(model.Eeprom(), kDefaultSensitivity);
    EXPECT_EQ(ReadFile(file), text);
  }
}

TEST(ControllerModelTest, FailedSaveIsReportedButTheEepromChanges) {
  ScratchDir dir;
  ControllerModel model;
  std::string error;
  ASSERT_TRUE(model.AttachEepromFile((dir / "missing" / "eeprom.txt").string(), error));
  EXPECT_FALSE(model.SetEeprom({1, 2, 3, 4}, error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(model.Eeprom(), (SensitivityParams{1, 2, 3, 4}));
}

TEST(ControllerModelTest, OutOfRangeValuesAreRefused) {
  ControllerModel model;
  std::string error;
  EXPECT_FALSE(model.SetEeprom({65536, 0, 0, 0}, error));
  EXPECT_FALSE(model.SetEeprom({0, -1, 0, 0}, error));
  EXPECT_EQ(model.Eeprom(), kDefaultSensitivity);
}

// --- Script language ---

TEST(ScriptParserTest, AcceptsEveryCommand) {
  const struct {
    const char* line;
    CommandKind kind;
    std::int32_t number;
    std::size_t points;
  } cases[] = {
      {"tap 291 1110", CommandKind::kTap, 0, 1},
      {"  hold 1 2 300   # comment", CommandKind::kHold, 300, 1},
      {"drag 0 0 10 10 20 20 500", CommandKind::kDrag, 500, 3},
      {"report 1 2 3", CommandKind::kReport, 3, 1},
      {"split 1 2 1 3 4 3", CommandKind::kSplit, 1, 1},
      {"corrupt 1 2 4 drop 9", CommandKind::kCorrupt, 4, 1},
      {"noise 20 any", CommandKind::kNoise, 20, 0},
      {"raw 55 0x79 0000", CommandKind::kRaw, 0, 0},
      {"rate 50", CommandKind::kRate, 50, 0},
      {"wait 10", CommandKind::kWait, 10, 0},
      {"pace on", CommandKind::kPace, 0, 0},
      {"silent off", CommandKind::kSilent, 0, 0},
      {"reply-delay 200", CommandKind::kReplyDelay, 200, 0},
      {"eeprom 705 3 7 360", CommandKind::kEeprom, 0, 0},
      {"quit", CommandKind::kQuit, 0, 0},
  };
  for (const auto& c : cases) {
    const ParsedLine parsed = ParseScriptLine(c.line);
    ASSERT_EQ(parsed.kind, ParsedLine::Kind::kCommand) << c.line << ": " << parsed.error;
    EXPECT_EQ(parsed.command.kind, c.kind) << c.line;
    EXPECT_EQ(parsed.command.number, c.number) << c.line;
    EXPECT_EQ(parsed.command.points.size(), c.points) << c.line;
  }
  EXPECT_EQ(ParseScriptLine("raw 55 0x79 0000").command.bytes, (Bytes{0x55, 0x79, 0, 0}));
  EXPECT_EQ(ParseScriptLine("split 1 2 1 3 4 3").command.chunks, (std::vector{3, 4, 3}));
  EXPECT_EQ(ParseScriptLine("eeprom 705 3 7 360").command.params, kDefaultSensitivity);
  EXPECT_TRUE(ParseScriptLine("pace on").command.on);
  EXPECT_EQ(ParseScriptLine("   # only a comment").kind, ParsedLine::Kind::kBlank);
}

TEST(ScriptParserTest, ExplainsBadLines) {
  const struct {
    const char* line;
    const char* error;
  } cases[] = {
      {"tapp 1 2", "unknown command 'tapp'"},
      {"tap 1", "missing Y"},
      {"tap 1 2 3", "too many arguments"},
      {"tap -1 2", "X must be a number 0..65535"},
      {"tap 1 70000", "Y must be a number 0..65535"},
      {"hold 1 2 soon", "MS must be a number"},
      {"drag 1 2 3 4", "two or more points"},
      {"drag 1 2 3 4 5 6", "two or more points"},
      {"split 1 2 1", "missing chunk sizes"},
      {"split 1 2 1 6 6", "more than 10 bytes"},
      {"split 1 2 1 0", "chunk size must be"},
      {"corrupt 1 2 1 mangle", "checksum or drop"},
      {"corrupt 1 2 1 drop 10", "INDEX must be"},
      {"noise 5 some", "expected 'any'"},
      {"raw 5", "whole number of hex bytes"},
      {"raw zz", "not hex"},
      {"rate 0", "HZ must be a number 1..1000"},
      {"silent maybe", "expected on or off"},
      {"eeprom 1 2 3", "missing S"},
  };
  for (const auto& c : cases) {
    const ParsedLine parsed = ParseScriptLine(c.line);
    EXPECT_EQ(parsed.kind, ParsedLine::Kind::kError) << c.line;
    EXPECT_NE(parsed.error.find(c.error), std::string::npos) << c.line << " -> " << parsed.error;
  }
}

TEST_F(SimulatorTest, ScriptRunsGoodLinesAndReportsBadOnes) {
  std::istringstream script(
      "# a comment\n"
      "tap 10 20\n"
      "tap ten 20\n"
      "eeprom 600 1 2 100\n"
      "frobnicate\n"
      "report 30 40 2\n"
      "quit\n"
      "tap 50 60\n");
  StreamLineSource source(script, "demo.script");
  ScriptRunner runner(simulator, controller, log);
  EXPECT_EQ(runner.Run(source), ScriptRunner::Outcome::kQuit);
  EXPECT_EQ(runner.RejectedLines(), 2);
  EXPECT_NE(logText.str().find("demo.script:3: X must be"), std::string::npos) << logText.str();
  EXPECT_NE(logText.str().find("demo.script:5: unknown command"), std::string::npos);
  EXPECT_EQ(controller.Eeprom(), (SensitivityParams{600, 1, 2, 100}));
  // The line after quit never runs: the last report is the one before it.
  EXPECT_TRUE(simulator.Raw({0x55, 0x00, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(system->ReadPackets(4),
            (std::vector<Packet>{Report(kTouchBegins, {10, 20}), Report(kTouchEnds, {10, 20}),
                                 Report(kTouchContinues, {30, 40}),
                                 Packet{0x55, 0x00, 0, 0, 0, 0, 0, 0, 0, 0}}));
}

TEST_F(SimulatorTest, RateCommandSetsTheReportsOfAHold) {
  std::istringstream script("rate 200\nhold 7 8 20\n");
  StreamLineSource source(script, "rate.script");
  ScriptRunner runner(simulator, controller, log);
  EXPECT_EQ(runner.Run(source), ScriptRunner::Outcome::kEnded);
  std::vector<Packet> expected{Report(kTouchBegins, {7, 8})};
  expected.insert(expected.end(), 4, Report(kTouchContinues, {7, 8}));
  expected.push_back(Report(kTouchEnds, {7, 8}));
  EXPECT_EQ(system->ReadPackets(expected.size()), expected);
}

TEST(FdLineSourceTest, ReadsLinesUntilTheInputEnds) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const std::string text = "tap 1 2\r\nwait 5\nquit";
  ASSERT_EQ(write(fds[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
  close(fds[1]);
  FdLineSource source(fds[0], "<stdin>", [] { return false; });
  std::vector<std::string> lines;
  for (std::string line; source.NextLine(line);) {
    lines.push_back(line);
  }
  close(fds[0]);
  EXPECT_EQ(lines, (std::vector<std::string>{"tap 1 2\r", "wait 5", "quit"}));
}

TEST(FdLineSourceTest, StopEndsTheWaitForInput) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  FdLineSource source(fds[0], "<stdin>", [] { return true; });
  std::string line;
  EXPECT_FALSE(source.NextLine(line));
  close(fds[0]);
  close(fds[1]);
}

// --- Link and command line ---

TEST(PortLinkTest, ReplacesALinkAndRemovesOnlyItsOwn) {
  ScratchDir dir;
  const std::string com5 = (dir / "com5").string();
  std::filesystem::create_symlink("/dev/null", com5);
  std::string error;
  {
    PortLink link;
    ASSERT_TRUE(link.Create(com5, "/dev/pts/98", error)) << error;
    EXPECT_EQ(std::filesystem::read_symlink(com5), "/dev/pts/98");
  }
  EXPECT_FALSE(std::filesystem::is_symlink(com5));
  {
    PortLink link;
    ASSERT_TRUE(link.Create(com5, "/dev/pts/98", error)) << error;
    PortLink takeover;
    ASSERT_TRUE(takeover.Create(com5, "/dev/pts/99", error)) << error;
    link.Remove();
    EXPECT_EQ(std::filesystem::read_symlink(com5), "/dev/pts/99");
  }
}

TEST(PortLinkTest, LeavesOtherFilesAlone) {
  ScratchDir dir;
  const auto file = dir / "com5";
  WriteFile(file, "keep me");
  PortLink link;
  std::string error;
  EXPECT_FALSE(link.Create(file.string(), "/dev/pts/98", error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(ReadFile(file), "keep me");
}

TEST(OptionsTest, ParsesTheCommandLine) {
  Options options;
  std::string error;
  ASSERT_TRUE(ParseOptions({"--link", "/tmp/com5", "--mirror-x", "--swap", "--offset=-5,7",
                            "--rate", "50", "--eeprom=e.txt", "--silent", "-v", "--seed", "3"},
                           options, error))
      << error;
  EXPECT_EQ(options.linkPath, "/tmp/com5");
  EXPECT_TRUE(options.panel.mirrorX && options.panel.swapAxes && !options.panel.mirrorY);
  EXPECT_EQ(options.panel.offsetX, -5);
  EXPECT_EQ(options.panel.offsetY, 7);
  EXPECT_EQ(options.reportRate, 50);
  EXPECT_EQ(options.eepromFile, "e.txt");
  EXPECT_TRUE(options.silent && options.verbose);
  EXPECT_EQ(options.noiseSeed, 3U);
}

TEST(OptionsTest, RejectsBadCommandLines) {
  const std::vector<std::vector<std::string>> cases = {
      {"--bogus"},
      {"--rate"},
      {"--rate", "0"},
      {"--offset", "5"},
      {"--offset", "a,b"},
      {"--device="},
      {"--swap=yes"},
      {"--reply-delay", "-1"},
      {"--exit-after-script", "--keep-open"},
  };
  for (const auto& args : cases) {
    Options options;
    std::string error;
    EXPECT_FALSE(ParseOptions(args, options, error)) << args.front();
    EXPECT_FALSE(error.empty());
  }
}

}  // namespace
}  // namespace zt::touchsim
