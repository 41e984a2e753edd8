// The settings layer over the registry fake: the key wrapper, the load and
// save orders of the store, the calibration record's values, and what the
// setup pages change in the engine and the registry together.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "fake_registry.h"
#include "settings/advanced_values.h"
#include "settings/calibration_record.h"
#include "settings/registry_key.h"
#include "settings/serial_ports.h"
#include "settings/settings_store.h"
#include "settings/setup_changes.h"

namespace zt::settings {
namespace {

using test::FakeRegistry;
using Value = FakeRegistry::Value;

constexpr RegKeyHandle kRoot = reg::kHkeyLocalMachine;
constexpr char kPath[] = "Software\\Corvantic\\ZeltraTouch";
constexpr std::int32_t kMaxInt = std::numeric_limits<std::int32_t>::max();

Value Dword(std::uint32_t value) {
  return {reg::kRegDword, FakeRegistry::DwordBytes(value)};
}

class SettingsTest : public ::testing::Test {
protected:
  std::vector<std::string> WrittenNames() const {
    std::vector<std::string> names;
    for (const auto& write : registry.Writes()) {
      names.push_back(write.first);
    }
    return names;
  }
  // Each save, with the key read-only and then missing: false, nothing written.
  void ExpectNothingWritten(const std::vector<std::function<bool()>>& saves) {
    const std::size_t before = registry.Writes().size();
    for (bool readOnly : {true, false}) {
      registry.SetKey(readOnly, readOnly);
      for (const auto& save : saves) {
        EXPECT_FALSE(save()) << &save - saves.data();
      }
    }
    EXPECT_EQ(registry.Writes().size(), before);
    EXPECT_EQ(registry.OpenHandleCount(), 0);
  }

  FakeRegistry registry{kRoot, kPath};
  CSettingsStore store{registry};
};

// What the store's loads and saves do not show of the key wrapper.
TEST_F(SettingsTest, RegistryKey) {
  CRegistryKey key(registry);
  EXPECT_FALSE(key.Open(kNoRegKey, kPath, reg::kKeyQueryValue));
  EXPECT_FALSE(key.Open(kRoot, "", reg::kKeyQueryValue));
  EXPECT_FALSE(key.Open(kRoot, "Software\\Other", reg::kKeySetValue));
  ASSERT_TRUE(key.Open(kRoot, kPath, reg::kKeySetValue | reg::kKeyQueryValue));
  EXPECT_FALSE(key.Open(kRoot, kPath, reg::kKeyQueryValue));  // one key at a time
  EXPECT_EQ(registry.OpenHandleCount(), 1);
  EXPECT_TRUE(key.SetDword("Number", -2));
  EXPECT_EQ(registry.Get("Number"), Dword(0xFFFFFFFE));
  // A DWORD is a REG_DWORD of exactly four bytes.
  std::int32_t number = 7;
  registry.Put("Short", reg::kRegDword, {1, 2});
  registry.Put("Binary", reg::kRegBinary, FakeRegistry::DwordBytes(5));
  EXPECT_FALSE(key.QueryDword("Short", number) || key.QueryDword("Binary", number));
  EXPECT_EQ(number, 7);
  char buffer[4] = {};
  std::uint32_t size = sizeof buffer;
  registry.Put("Long", "COM12", false);
  EXPECT_FALSE(key.QueryValue("Long", buffer, size));  // larger than the buffer
  EXPECT_TRUE(key.Close());
  EXPECT_FALSE(key.SetDword("Number", 1));
}

TEST_F(SettingsTest, HostSettings) {
  registry.Put("Port", "COM2", true);
  registry.Put("First", 0U);
  registry.Put("Right", "1", true);  // another type: ignored
  registry.Put("StartUpMode", 1U);
  HostSettings host;
  EXPECT_TRUE(store.LoadHostSettings(host));
  EXPECT_STREQ(host.port, "COM2");
  EXPECT_EQ(host.first, 0);
  EXPECT_EQ(host.right, 0);
  EXPECT_EQ(host.startUpMode, 1);

  // The port ends at its first NUL; 1023 characters fit, 1024 count as absent.
  registry.Put("Port", std::string("COM3\0junk", 9));
  EXPECT_TRUE(store.LoadHostSettings(host));
  EXPECT_STREQ(host.port, "COM3");
  registry.Put("Port", std::string(1023, 'P'));
  EXPECT_TRUE(store.LoadHostSettings(host));
  EXPECT_EQ(std::string(host.port).size(), 1023U);
  registry.Put("Port", std::string(1024, 'Q'));
  EXPECT_FALSE(store.LoadHostSettings(host));
  EXPECT_EQ(host.port[0], 'P');

  registry.SetKey(false);
  EXPECT_TRUE(store.LoadHostSettings(host));
  EXPECT_EQ(registry.OpenHandleCount(), 0);
}

TEST_F(SettingsTest, EngineSettingsAndTheCalibrationRecord) {
  EngineSettings kept{101, 102, 103, 104, 105, 106, 107, 108, {}, 1, ""};
  EngineSettings loaded = kept;
  EXPECT_TRUE(store.LoadEngineSettings(loaded));
  kept.points = kDefaultCalibPoints;  // absent points are the defaults
  EXPECT_EQ(loaded, kept);
  std::vector<std::string> order;
  for (int i = 0; i < kCalibPointCount; ++i) {
    order.push_back("PX" + std::to_string(i));
    order.push_back("PY" + std::to_string(i));
  }

  registry.Put("PX3", 3000U);
  registry.Put("PY3", reg::kRegQword, {1, 0, 0, 0, 0, 0, 0, 0});
  registry.Put("TouchMode", "2", true);
  registry.Put("Freq", 0U);               // a tone the generator refuses
  registry.Put("Duration", 0x7FFFFFFFU);  // a beep thread for weeks
  EXPECT_TRUE(store.LoadEngineSettings(loaded));
  EXPECT_EQ(loaded.points[3], (IntPoint{3000, kDefaultCalibPoints[3].y}));
  EXPECT_EQ(loaded.touchMode, 108);
  EXPECT_EQ(loaded.freq, kMinFreq);
  EXPECT_EQ(loaded.duration, kMaxDuration);

  CalibPoints measured{};
  for (int i = 0; i < kCalibPointCount; ++i) {
    measured[static_cast<std::size_t>(i)] = {100 + i, 200 + i};
  }
  EXPECT_TRUE(store.StoreCalibration(measured));
  std::vector<std::string> written(order.begin(), order.begin() + 18);
  written.emplace_back("First");
  written.emplace_back("CalibrationTime");
  EXPECT_EQ(WrittenNames(), written);
  EXPECT_EQ(registry.Get("PY8"), Dword(208));
  EXPECT_EQ(registry.Get("First"), Dword(0));
  EXPECT_TRUE(store.LoadEngineSettings(loaded));
  EXPECT_EQ(loaded.points, measured);

  registry.SetKey(false);
  EXPECT_FALSE(store.LoadEngineSettings(kept));
  EXPECT_EQ(kept.dTime, 101);
}

TEST_F(SettingsTest, WindowTitle) {
  std::string title = "x";
  EXPECT_TRUE(store.ReadWindowTitle(title));
  EXPECT_EQ(title, kDefaultWindowTitle);
  registry.Put("ZeltraTouch", "Panel 3", true);
  EXPECT_TRUE(store.ReadWindowTitle(title));
  EXPECT_EQ(title, "Panel 3");
  registry.Put("ZeltraTouch", std::string(1024, 'T'));
  EXPECT_TRUE(store.ReadWindowTitle(title));
  EXPECT_EQ(title, kDefaultWindowTitle);
  registry.SetKey(false);
  EXPECT_FALSE(store.ReadWindowTitle(title));
  EXPECT_EQ(title, "");
}

TEST_F(SettingsTest, Saves) {
  EXPECT_TRUE(store.SavePort("COM7"));
  EXPECT_TRUE(store.SaveMouseSettings({1, 2, 3, 4, 5, 6, 7, 8, {}, 1, ""}));
  EXPECT_TRUE(store.SaveRight(1));
  EXPECT_TRUE(store.SaveTouchMode(2));
  EXPECT_EQ(WrittenNames(),
            (std::vector<std::string>{"Port", "DTime", "DZONE", "DZoneX", "DZoneY", "Beep", "Freq",
                                      "Duration", "Right", "TouchMode"}));
  EXPECT_EQ(registry.Get("Duration"), Dword(7));
  EXPECT_EQ(registry.Get("TouchMode"), Dword(2));
  HostSettings host;
  store.LoadHostSettings(host);
  EXPECT_STREQ(host.port, "COM7");
  EXPECT_EQ(registry.OpenHandleCount(), 0);
  ExpectNothingWritten({[&] { return store.SavePort("COM1"); },
                        [&] { return store.SaveMouseSettings({}); },
                        [&] { return store.SaveRight(0); }, [&] { return store.SaveTouchMode(0); },
                        [&] { return store.StoreCalibration({}); }});
}

// The port list: the serial device map's REG_SZ values in natural order
// (COM2 before COM10), the stored port added, each name once; without the
// map, the stored port alone. Names open through the device namespace.
TEST(SerialPortsTest, TheMachinesPortsInNaturalOrder) {
  FakeRegistry map(reg::kHkeyLocalMachine, kSerialDeviceMap);
  map.Put("\\Device\\Serial0", "COM1", true);
  map.Put("\\Device\\VCP0", "COM10");
  map.Put("\\Device\\VCP1", "COM2", true);
  map.Put("\\Device\\Odd", 7);
  map.Put("\\Device\\Bt", "com12");
  EXPECT_EQ(ListSerialPorts(map, "COM9"),
            (std::vector<std::string>{"COM1", "COM2", "COM9", "COM10", "com12"}));
  // Each port once, however it is written.
  EXPECT_EQ(ListSerialPorts(map, "COM12").size(), 4U);
  EXPECT_EQ(ListSerialPorts(map, "\\\\.\\COM10").size(), 4U);
  map.SetKey(false);
  EXPECT_EQ(ListSerialPorts(map, "COM3"), (std::vector<std::string>{"COM3"}));
  EXPECT_EQ(map.OpenHandleCount(), 0);

  const std::vector<std::string> ordered = {"COM01a", "COM1b", "com2", "COM10", "COM100", "X"};
  for (std::size_t i = 0; i + 1 < ordered.size(); ++i) {
    EXPECT_TRUE(NaturalLess(ordered[i], ordered[i + 1])) << ordered[i];
    EXPECT_FALSE(NaturalLess(ordered[i + 1], ordered[i])) << ordered[i];
  }
  const std::pair<const char*, const char*> paths[] = {
      {"COM1", "\\\\.\\COM1"}, {"COM256", "\\\\.\\COM256"}, {"\\\\.\\CNCA0", "\\\\.\\CNCA0"}};
  for (const auto& [name, path] : paths) {
    EXPECT_EQ(CommDevicePath(name), path);
    EXPECT_TRUE(IsSamePort(name, path));
    EXPECT_TRUE(IsPortName(name));
  }
  EXPECT_TRUE(IsSamePort("com3", "\\\\.\\COM3"));
  EXPECT_FALSE(IsSamePort("COM3", "COM30"));
  for (const char* text : {"Can't Open", "", "\\\\.\\", "COM 3", "C:\\temp", "COM3?"}) {
    EXPECT_FALSE(IsPortName(text)) << text;
  }
  EXPECT_TRUE(IsPortName(std::string(1023, 'C')));
  EXPECT_FALSE(IsPortName(std::string(1024, 'C')));
}

TEST(ClickZoneTest, CycleExtentCaptionAndTestTarget) {
  const std::int32_t zones[] = {0, 1, 2, 3, 7, -2, kMaxInt};
  const std::int32_t next[] = {1, 2, 3, 0, 0, 0, 0};
  for (std::size_t i = 0; i < std::size(zones); ++i) {
    EXPECT_EQ(setup::NextClickZone(zones[i]), next[i]) << zones[i];
  }
  EXPECT_EQ(setup::ClickZoneExtent(3), 400);
  EXPECT_EQ(setup::ClickZoneExtent(kMaxInt), kMaxInt);
  EXPECT_EQ(setup::ClickZoneCaption(0), "Click Zone1");
  EXPECT_EQ(setup::ClickZoneCaption(kMaxInt), "Click Zone2147483648");
  EXPECT_EQ(setup::TestTargetSize(200, 200, 1024, 768), (setup::TargetSize{50, 37}));
  EXPECT_EQ(setup::TestTargetSize(-100, -100, 1024, 768), (setup::TargetSize{-25, -18}));
  EXPECT_EQ(setup::TestTargetSize(kMaxInt, kMaxInt, 4096, 8192),
            (setup::TargetSize{kMaxInt, kMaxInt}));
  EXPECT_EQ(advanced::LabelText(advanced::kStabDelay, 9999), "Stabilization Delay: 9999");
}

}  // namespace
}  // namespace zt::settings
