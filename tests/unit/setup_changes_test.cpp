#include "settings/setup_changes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "fake_comm_device.h"
#include "fake_registry.h"
#include "platform/std_threads.h"
#include "recording_input.h"

namespace zt::setup {
namespace {

using test::DwordBytes;
using test::FakeRegistry;

constexpr char kKey[] = "Software\\Corvantic\\ZeltraTouch";
const RegKeyHandle kRoot = reg::kHkeyLocalMachine;
constexpr WindowHandle kMainWindow = 0x4242;
constexpr std::int32_t kMaxInt = std::numeric_limits<std::int32_t>::max();

class SetupChangesTest : public ::testing::Test {
protected:
  SetupChangesTest() {
    comm.AddPort("COM3");
    registry.CreateKey(kRoot, kKey);
    registry.PutString(kRoot, kKey, "Port", "COM3", false);
  }
  ~SetupChangesTest() override { host.StopDriver(); }

  CTouchDriver& StartEngine() {
    host.LoadStartupSettings();
    EXPECT_TRUE(host.StartDriver(kMainWindow));
    return *host.Driver();
  }

  std::vector<std::string> WrittenNames() const {
    std::vector<std::string> names;
    for (const FakeRegistry::Write& write : registry.Writes()) {
      names.push_back(write.name);
    }
    return names;
  }

  std::vector<std::uint8_t> Stored(const char* name) const {
    const auto value = registry.Get(kRoot, kKey, name);
    return value ? value->data : std::vector<std::uint8_t>{};
  }

  test::FakeCommDevice comm;
  StdThreads threads;
  test::RecordingInput input;
  test::RecordingMessages messages;
  FakeRegistry registry;
  CTouchHost host{{comm, threads, input, messages, registry}};
};

TEST(ClickZoneTest, ZoneButtonCyclesThroughTheFourZones) {
  EXPECT_EQ(NextClickZone(0), 1);
  EXPECT_EQ(NextClickZone(1), 2);
  EXPECT_EQ(NextClickZone(2), 3);
  EXPECT_EQ(NextClickZone(3), 0);
}

TEST(ClickZoneTest, StoredZonesOutsideTheCycleGoBackToZero) {
  EXPECT_EQ(NextClickZone(7), 0);
  EXPECT_EQ(NextClickZone(-2), 0);
  EXPECT_EQ(NextClickZone(kMaxInt), 0);
}

TEST(ClickZoneTest, CaptionShowsTheZoneCountedFromOne) {
  EXPECT_EQ(ClickZoneCaption(0), "Click Zone1");
  EXPECT_EQ(ClickZoneCaption(3), "Click Zone4");
  EXPECT_EQ(ClickZoneCaption(7), "Click Zone8");
  EXPECT_EQ(ClickZoneCaption(kMaxInt), "Click Zone2147483648");
}

TEST(ClickZoneTest, ExtentGrowsByAHundredPerZoneAndStaysWithin32Bits) {
  EXPECT_EQ(ClickZoneExtent(0), 100);
  EXPECT_EQ(ClickZoneExtent(1), 200);
  EXPECT_EQ(ClickZoneExtent(3), 400);
  EXPECT_EQ(ClickZoneExtent(7), 800);
  EXPECT_EQ(ClickZoneExtent(kMaxInt), kMaxInt);
}

TEST(ClickZoneTest, TestTargetOnA1024By768ScreenWithZoneOne) {
  EXPECT_EQ(TestTargetSize(200, 200, 1024, 768), (TargetSize{50, 37}));
}

TEST(ClickZoneTest, TestTargetTruncatesTowardZeroAndDoesNotOverflow) {
  EXPECT_EQ(TestTargetSize(100, 100, 1024, 768), (TargetSize{25, 18}));
  EXPECT_EQ(TestTargetSize(-100, -100, 1024, 768), (TargetSize{-25, -18}));
  EXPECT_EQ(TestTargetSize(kMaxInt, kMaxInt, 4096, 8192), (TargetSize{kMaxInt, kMaxInt}));
}

TEST_F(SetupChangesTest, FourZoneClicksFromZeroGiveCaptionsAndWidths) {
  CTouchDriver engine({comm, threads, input, messages, registry});
  std::int32_t zone = 0;
  std::vector<std::string> captions;
  std::vector<std::int32_t> rawWidths;
  std::vector<std::int32_t> screenWidths;
  for (int click = 0; click < 4; ++click) {
    zone = NextClickZone(zone);
    ApplyClickZone(engine, zone);
    captions.push_back(ClickZoneCaption(engine.m_nDZone.load()));
    rawWidths.push_back(
        TestTargetSize(engine.m_nDZoneX.load(), engine.m_nDZoneY.load(), 4096, 4096).width);
    screenWidths.push_back(
        TestTargetSize(engine.m_nDZoneX.load(), engine.m_nDZoneY.load(), 1024, 768).width);
  }
  EXPECT_EQ(captions,
            (std::vector<std::string>{"Click Zone2", "Click Zone3", "Click Zone4", "Click Zone1"}));
  EXPECT_EQ(rawWidths, (std::vector<std::int32_t>{200, 300, 400, 100}));
  EXPECT_EQ(screenWidths, (std::vector<std::int32_t>{50, 75, 100, 25}));
}

TEST_F(SetupChangesTest, ApplyingAZoneSetsTheEngineAndSavesNothing) {
  CTouchDriver engine({comm, threads, input, messages, registry});
  ApplyClickZone(engine, 2);
  EXPECT_EQ(engine.m_nDZone.load(), 2);
  EXPECT_EQ(engine.m_nDZoneX.load(), 300);
  EXPECT_EQ(engine.m_nDZoneY.load(), 300);
  EXPECT_TRUE(registry.Writes().empty());
}

TEST_F(SetupChangesTest, MouseSaveTakesTheEngineValuesAndThePageValuesInOrder) {
  CTouchDriver engine({comm, threads, input, messages, registry});
  engine.m_nDTime.store(200);
  ApplyClickZone(engine, 3);
  engine.m_bBeep.store(0);  // the page's check box is what is saved
  engine.m_nTouchMode.store(2);
  EXPECT_TRUE(StoreMouseSettings(registry, engine, {1, 4000, 10}));
  EXPECT_EQ(WrittenNames(), (std::vector<std::string>{"DTime", "DZONE", "DZoneX", "DZoneY", "Beep",
                                                      "Freq", "Duration"}));
  EXPECT_EQ(Stored("DTime"), DwordBytes(200));
  EXPECT_EQ(Stored("DZONE"), DwordBytes(3));
  EXPECT_EQ(Stored("DZoneX"), DwordBytes(400));
  EXPECT_EQ(Stored("DZoneY"), DwordBytes(400));
  EXPECT_EQ(Stored("Beep"), DwordBytes(1));
  EXPECT_EQ(Stored("Freq"), DwordBytes(4000));
  EXPECT_EQ(Stored("Duration"), DwordBytes(10));
}

TEST_F(SetupChangesTest, MouseSaveWithoutTheKeyWritesNothing) {
  CTouchDriver engine({comm, threads, input, messages, registry});
  registry.DeleteKey(kRoot, kKey);
  EXPECT_FALSE(StoreMouseSettings(registry, engine, {1, 600, 600}));
  EXPECT_TRUE(registry.Writes().empty());
}

TEST_F(SetupChangesTest, TouchModeChangesTheEngineAndTheRegistryTogether) {
  CTouchDriver engine({comm, threads, input, messages, registry});
  EXPECT_TRUE(StoreTouchMode(registry, engine, kTouchModeClickOnTouch));
  EXPECT_EQ(engine.m_nTouchMode.load(), kTouchModeClickOnTouch);
  EXPECT_EQ(WrittenNames(), (std::vector<std::string>{"TouchMode"}));
  EXPECT_EQ(Stored("TouchMode"), DwordBytes(1));
}

TEST_F(SetupChangesTest, TouchModeStaysWhenTheKeyIsReadOnly) {
  CTouchDriver engine({comm, threads, input, messages, registry});
  registry.SetReadOnly(kRoot, kKey, true);
  EXPECT_FALSE(StoreTouchMode(registry, engine, kTouchModeClickOnRelease));
  EXPECT_EQ(engine.m_nTouchMode.load(), kTouchModeNormal);
  EXPECT_TRUE(registry.Writes().empty());
}

TEST_F(SetupChangesTest, RightButtonChangesEngineHostAndRegistryTogether) {
  CTouchDriver& engine = StartEngine();
  engine.m_bRightSelected.store(1);
  EXPECT_TRUE(StoreRightButton(registry, host, 1));
  EXPECT_EQ(engine.m_bRightEnabled.load(), 1);
  EXPECT_EQ(host.m_nRight, 1);
  EXPECT_EQ(Stored("Right"), DwordBytes(1));

  EXPECT_TRUE(StoreRightButton(registry, host, 0));
  EXPECT_EQ(engine.m_bRightEnabled.load(), 0);
  EXPECT_EQ(host.m_nRight, 0);
  EXPECT_EQ(Stored("Right"), DwordBytes(0));
  // The indicator's selection is not the switch's business.
  EXPECT_EQ(engine.m_bRightSelected.load(), 1);
}

TEST_F(SetupChangesTest, RightButtonChangesNothingWhenTheKeyIsReadOnly) {
  CTouchDriver& engine = StartEngine();
  registry.SetReadOnly(kRoot, kKey, true);
  EXPECT_FALSE(StoreRightButton(registry, host, 1));
  EXPECT_EQ(engine.m_bRightEnabled.load(), 0);
  EXPECT_EQ(host.m_nRight, 0);
  EXPECT_TRUE(registry.Writes().empty());
}

TEST_F(SetupChangesTest, RightButtonWithoutAnEngineStillKeepsHostAndRegistryInStep) {
  EXPECT_TRUE(StoreRightButton(registry, host, 1));
  EXPECT_EQ(host.m_nRight, 1);
  EXPECT_EQ(Stored("Right"), DwordBytes(1));
}

}  // namespace
}  // namespace zt::setup
