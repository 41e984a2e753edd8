#include "settings/settings_schema.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "fake_registry.h"

namespace zt::settings {
namespace {

using test::DwordBytes;
using test::FakeRegistry;

constexpr RegKeyHandle kRoot = reg::kHkeyLocalMachine;
constexpr char kPath[] = "Software\\Corvantic\\ZeltraTouch";

class SettingsTest : public ::testing::Test {
protected:
  void CreateKey() { registry.CreateKey(kRoot, kPath); }
  void PutDword(const char* name, std::uint32_t value) {
    registry.PutDword(kRoot, kPath, name, value);
  }
  void PutString(const char* name, const std::string& text, bool withNul) {
    registry.PutString(kRoot, kPath, name, text, withNul);
  }

  std::vector<std::string> WrittenNames() const {
    std::vector<std::string> names;
    for (const FakeRegistry::Write& write : registry.Writes()) {
      names.push_back(write.name);
    }
    return names;
  }

  // Loads the engine settings, recording the double-click times it sets.
  bool LoadEngine(EngineSettings& settings) {
    return LoadEngineSettings(registry, settings, mapper,
                              [this](std::int32_t ms) { doubleClickTimes.push_back(ms); });
  }

  FakeRegistry registry;
  CGridMapper mapper;
  std::vector<std::int32_t> doubleClickTimes;
};

// Every field away from its default, so a change is visible.
HostSettings SentinelHost() {
  HostSettings host;
  host.startUpMode = 11;
  host.right = 12;
  host.first = 13;
  std::snprintf(host.port, sizeof host.port, "%s", "COM9");
  return host;
}

EngineSettings SentinelEngine() {
  return EngineSettings{101, 102, 103, 104, 105, 106, 107, 108};
}

void ExpectSameEngine(const EngineSettings& actual, const EngineSettings& expected) {
  EXPECT_EQ(actual.dTime, expected.dTime);
  EXPECT_EQ(actual.dZone, expected.dZone);
  EXPECT_EQ(actual.dZoneX, expected.dZoneX);
  EXPECT_EQ(actual.dZoneY, expected.dZoneY);
  EXPECT_EQ(actual.beep, expected.beep);
  EXPECT_EQ(actual.freq, expected.freq);
  EXPECT_EQ(actual.duration, expected.duration);
  EXPECT_EQ(actual.touchMode, expected.touchMode);
}

TEST(SettingsDefaultsTest, StructsStartWithTheSchemaDefaults) {
  const HostSettings host;
  EXPECT_EQ(host.startUpMode, 0);
  EXPECT_EQ(host.right, 0);
  EXPECT_EQ(host.first, 1);
  EXPECT_STREQ(host.port, "");
  const EngineSettings engine;
  EXPECT_EQ(engine.dZone, 1);
  EXPECT_EQ(engine.dZoneX, 1);
  EXPECT_EQ(engine.dZoneY, 1);
  EXPECT_EQ(engine.beep, 0);
  EXPECT_EQ(engine.freq, 600);
  EXPECT_EQ(engine.duration, 600);
  EXPECT_EQ(engine.touchMode, 0);
  EXPECT_STREQ(kDefaultWindowTitle, "TactivoV1.12 ");
}

// Host settings.

TEST_F(SettingsTest, HostLoadWithoutTheKeyChangesNothingAndSucceeds) {
  HostSettings host;
  EXPECT_TRUE(LoadHostSettings(registry, host));
  EXPECT_STREQ(host.port, "");
  EXPECT_EQ(host.first, 1);
  EXPECT_EQ(registry.OpenHandleCount(), 0);
}

TEST_F(SettingsTest, HostLoadReadsAllFourInOrder) {
  CreateKey();
  PutString("Port", "COM2", true);
  PutDword("First", 0);
  PutDword("Right", 1);
  PutDword("StartUpMode", 1);
  HostSettings host;
  EXPECT_TRUE(LoadHostSettings(registry, host));
  EXPECT_STREQ(host.port, "COM2");
  EXPECT_EQ(host.first, 0);
  EXPECT_EQ(host.right, 1);
  EXPECT_EQ(host.startUpMode, 1);
  EXPECT_EQ(registry.Queries(),
            (std::vector<std::string>{"Port", "First", "Right", "StartUpMode"}));
  EXPECT_EQ(registry.OpenHandleCount(), 0);
}

TEST_F(SettingsTest, HostLoadWithoutPortFailsButStillReadsTheNumbers) {
  CreateKey();
  PutDword("Right", 1);
  HostSettings host = SentinelHost();
  EXPECT_FALSE(LoadHostSettings(registry, host));
  EXPECT_STREQ(host.port, "COM9");
  EXPECT_EQ(host.right, 1);
  EXPECT_EQ(host.first, 13);
  EXPECT_EQ(host.startUpMode, 11);
}

TEST_F(SettingsTest, PortLengthLimit) {
  struct PortCase {
    std::size_t length;
    bool withNul;
    bool read;
  };
  const PortCase cases[] = {
      {1022, true, true},   {1023, false, true}, {1023, true, true},
      {1024, false, false}, {1024, true, false}, {5000, false, false},
  };
  CreateKey();
  for (const PortCase& c : cases) {
    const std::string port(c.length, 'P');
    PutString("Port", port, c.withNul);
    HostSettings host = SentinelHost();
    EXPECT_EQ(LoadHostSettings(registry, host), c.read) << c.length << " " << c.withNul;
    EXPECT_EQ(std::string(host.port), c.read ? port : "COM9") << c.length << " " << c.withNul;
  }
}

TEST_F(SettingsTest, PortEndsAtItsFirstNul) {
  CreateKey();
  registry.Put(kRoot, kPath, "Port", reg::kRegSz, {'C', 'O', 'M', '1', 0, 'X', 'Y'});
  HostSettings host;
  EXPECT_TRUE(LoadHostSettings(registry, host));
  EXPECT_STREQ(host.port, "COM1");
}

TEST_F(SettingsTest, HostNumbersOfAnotherTypeAreIgnored) {
  CreateKey();
  PutString("Port", "COM1", false);
  PutString("First", "0", true);
  registry.Put(kRoot, kPath, "Right", reg::kRegBinary, DwordBytes(1));
  registry.PutQword(kRoot, kPath, "StartUpMode", 1);
  HostSettings host = SentinelHost();
  EXPECT_TRUE(LoadHostSettings(registry, host));
  EXPECT_EQ(host.first, 13);
  EXPECT_EQ(host.right, 12);
  EXPECT_EQ(host.startUpMode, 11);
}

// Engine settings.

TEST_F(SettingsTest, EngineLoadWithoutTheKeyFailsAndKeepsEverything) {
  CalibPoints moved = kDefaultCalibPoints;
  moved[1] = {205, 3891};
  mapper.ReplacePoints(moved);
  EngineSettings engine = SentinelEngine();
  EXPECT_FALSE(LoadEngine(engine));
  ExpectSameEngine(engine, SentinelEngine());
  EXPECT_TRUE(doubleClickTimes.empty());
  EXPECT_EQ(mapper.Points(), kDefaultCalibPoints);
  EXPECT_EQ(mapper.SwapXY(), 0);
}

TEST_F(SettingsTest, EngineLoadOfAnEmptyKeyKeepsTheCurrentValues) {
  CreateKey();
  EngineSettings engine = SentinelEngine();
  EXPECT_TRUE(LoadEngine(engine));
  ExpectSameEngine(engine, SentinelEngine());
  EXPECT_TRUE(doubleClickTimes.empty());
  EXPECT_EQ(registry.OpenHandleCount(), 0);
}

TEST_F(SettingsTest, EngineLoadReadsEveryValueInOrder) {
  CreateKey();
  PutDword("DTime", 400);
  PutDword("DZONE", 2);
  PutDword("DZoneX", 300);
  PutDword("DZoneY", 301);
  PutDword("Beep", 1);
  PutDword("Freq", 1000);
  PutDword("Duration", 50);
  PutDword("TouchMode", 2);
  EngineSettings engine;
  EXPECT_TRUE(LoadEngine(engine));
  ExpectSameEngine(engine, EngineSettings{400, 2, 300, 301, 1, 1000, 50, 2});
  EXPECT_EQ(doubleClickTimes, (std::vector<std::int32_t>{400}));

  std::vector<std::string> expected;
  for (int i = 0; i < 9; ++i) {
    expected.push_back("PX" + std::to_string(i));
    expected.push_back("PY" + std::to_string(i));
  }
  for (const char* name :
       {"DTime", "DZONE", "DZoneX", "DZoneY", "Beep", "Freq", "Duration", "TouchMode"}) {
    expected.emplace_back(name);
  }
  EXPECT_EQ(registry.Queries(), expected);
}

TEST_F(SettingsTest, StringTouchModeIsIgnored) {
  CreateKey();
  PutString("TouchMode", "1", true);
  EngineSettings engine;
  EXPECT_TRUE(LoadEngine(engine));
  EXPECT_EQ(engine.touchMode, 0);
}

TEST_F(SettingsTest, StoredValuesAreNotRangeChecked) {
  CreateKey();
  PutDword("DZONE", 7);
  PutDword("TouchMode", 9);
  PutDword("Freq", 0xFFFFFFFF);
  EngineSettings engine;
  EXPECT_TRUE(LoadEngine(engine));
  EXPECT_EQ(engine.dZone, 7);
  EXPECT_EQ(engine.touchMode, 9);
  EXPECT_EQ(engine.freq, -1);
}

TEST_F(SettingsTest, StringDTimeLeavesTheDoubleClickTimeAlone) {
  CreateKey();
  PutString("DTime", "300", true);
  EngineSettings engine = SentinelEngine();
  EXPECT_TRUE(LoadEngine(engine));
  EXPECT_EQ(engine.dTime, 101);
  EXPECT_TRUE(doubleClickTimes.empty());
}

TEST_F(SettingsTest, EngineLoadWorksWithoutADoubleClickCallback) {
  CreateKey();
  PutDword("DTime", 250);
  EngineSettings engine;
  EXPECT_TRUE(LoadEngineSettings(registry, engine, mapper, nullptr));
  EXPECT_EQ(engine.dTime, 250);
}

TEST_F(SettingsTest, FailedReadsNeverChangeASetting) {
  CreateKey();
  const char* names[] = {"DTime", "DZONE", "DZoneX",   "DZoneY",
                         "Beep",  "Freq",  "Duration", "TouchMode"};
  using Store = std::function<void(const char*)>;
  const Store stores[] = {
      [&](const char* name) { PutString(name, "5", true); },
      [&](const char* name) { PutString(name, "5555", false); },
      [&](const char* name) { registry.Put(kRoot, kPath, name, reg::kRegBinary, DwordBytes(5)); },
      [&](const char* name) { registry.PutQword(kRoot, kPath, name, 5); },
      [&](const char* name) {
        registry.Put(kRoot, kPath, name, reg::kRegDword, {5, 0});
      },
  };
  for (const Store& store : stores) {
    for (const char* name : names) {
      store(name);
    }
    EngineSettings engine = SentinelEngine();
    EXPECT_TRUE(LoadEngine(engine));
    ExpectSameEngine(engine, SentinelEngine());
  }
  EXPECT_TRUE(doubleClickTimes.empty());
}

// Window title.

TEST_F(SettingsTest, TitleIsEmptyWithoutTheKey) {
  std::string title = "old";
  EXPECT_FALSE(ReadWindowTitle(registry, title));
  EXPECT_EQ(title, "");
}

TEST_F(SettingsTest, TitleDefaultsWhenAbsent) {
  CreateKey();
  std::string title;
  EXPECT_TRUE(ReadWindowTitle(registry, title));
  EXPECT_EQ(title, "TactivoV1.12 ");
}

TEST_F(SettingsTest, TitleLengthLimit) {
  CreateKey();
  const std::string longest(1023, 'T');
  PutString("ZeltraTouch", longest, false);
  std::string title;
  EXPECT_TRUE(ReadWindowTitle(registry, title));
  EXPECT_EQ(title, longest);

  PutString("ZeltraTouch", std::string(1024, 'T'), false);
  EXPECT_TRUE(ReadWindowTitle(registry, title));
  EXPECT_EQ(title, "TactivoV1.12 ");
}

TEST_F(SettingsTest, TitleWithAndWithoutNulReadsTheSame) {
  CreateKey();
  std::string title;
  PutString("ZeltraTouch", "Touch Panel", true);
  EXPECT_TRUE(ReadWindowTitle(registry, title));
  EXPECT_EQ(title, "Touch Panel");
  PutString("ZeltraTouch", "Touch Panel", false);
  EXPECT_TRUE(ReadWindowTitle(registry, title));
  EXPECT_EQ(title, "Touch Panel");
}

// Saves.

TEST_F(SettingsTest, SavedPortReadsBackTheSame) {
  CreateKey();
  EXPECT_TRUE(SavePort(registry, "COM4"));
  const auto stored = registry.Get(kRoot, kPath, "Port");
  ASSERT_TRUE(stored.has_value());
  EXPECT_EQ(stored->type, reg::kRegSz);
  EXPECT_EQ(stored->data.size(), 4U);

  HostSettings host;
  EXPECT_TRUE(LoadHostSettings(registry, host));
  EXPECT_STREQ(host.port, "COM4");
  EXPECT_EQ(registry.OpenHandleCount(), 0);
}

TEST_F(SettingsTest, CalibrationStoreWritesInterleavedPointsThenFirst) {
  CreateKey();
  CalibPoints points{};
  for (std::size_t i = 0; i < points.size(); ++i) {
    points[i] = {static_cast<std::int32_t>(100 + i), static_cast<std::int32_t>(200 + i)};
  }
  EXPECT_TRUE(StoreCalibration(registry, points));

  const std::vector<FakeRegistry::Write> writes = registry.Writes();
  ASSERT_EQ(writes.size(), 19U);
  for (std::size_t i = 0; i < points.size(); ++i) {
    const FakeRegistry::Write& x = writes[2 * i];
    const FakeRegistry::Write& y = writes[2 * i + 1];
    EXPECT_EQ(x.name, "PX" + std::to_string(i));
    EXPECT_EQ(x.type, reg::kRegDword);
    EXPECT_EQ(x.data, DwordBytes(static_cast<std::uint32_t>(100 + i)));
    EXPECT_EQ(y.name, "PY" + std::to_string(i));
    EXPECT_EQ(y.data, DwordBytes(static_cast<std::uint32_t>(200 + i)));
  }
  EXPECT_EQ(writes[18].name, "First");
  EXPECT_EQ(writes[18].data, DwordBytes(0));
}

TEST_F(SettingsTest, MouseSaveWritesAllSevenInOrder) {
  CreateKey();
  const EngineSettings engine{500, 3, 400, 400, 1, 2000, 100, 2};
  EXPECT_TRUE(SaveMouseSettings(registry, engine));
  EXPECT_EQ(WrittenNames(), (std::vector<std::string>{"DTime", "DZONE", "DZoneX", "DZoneY", "Beep",
                                                      "Freq", "Duration"}));
  EXPECT_EQ(registry.Get(kRoot, kPath, "DTime")->data, DwordBytes(500));
  EXPECT_EQ(registry.Get(kRoot, kPath, "DZONE")->data, DwordBytes(3));
  EXPECT_EQ(registry.Get(kRoot, kPath, "Duration")->data, DwordBytes(100));
}

TEST_F(SettingsTest, RightAndTouchModeSavesWriteOneValueEach) {
  CreateKey();
  EXPECT_TRUE(SaveRight(registry, 1));
  EXPECT_TRUE(SaveTouchMode(registry, 2));
  EXPECT_EQ(WrittenNames(), (std::vector<std::string>{"Right", "TouchMode"}));
  EXPECT_EQ(registry.Get(kRoot, kPath, "Right")->data, DwordBytes(1));
  EXPECT_EQ(registry.Get(kRoot, kPath, "TouchMode")->data, DwordBytes(2));
}

struct SaveCase {
  const char* name;
  std::function<bool(FakeRegistry&)> save;
};

const SaveCase kSaves[] = {
    {"Port", [](FakeRegistry& r) { return SavePort(r, "COM1"); }},
    {"Calibration", [](FakeRegistry& r) { return StoreCalibration(r, kDefaultCalibPoints); }},
    {"Mouse", [](FakeRegistry& r) { return SaveMouseSettings(r, EngineSettings{}); }},
    {"Right", [](FakeRegistry& r) { return SaveRight(r, 1); }},
    {"TouchMode", [](FakeRegistry& r) { return SaveTouchMode(r, 1); }},
};

TEST_F(SettingsTest, SavesWithoutTheKeyWriteNothing) {
  for (const SaveCase& c : kSaves) {
    EXPECT_FALSE(c.save(registry)) << c.name;
  }
  EXPECT_TRUE(registry.Writes().empty());
}

TEST_F(SettingsTest, SavesToAReadOnlyKeyWriteNothing) {
  CreateKey();
  registry.SetReadOnly(kRoot, kPath, true);
  for (const SaveCase& c : kSaves) {
    EXPECT_FALSE(c.save(registry)) << c.name;
  }
  EXPECT_TRUE(registry.Writes().empty());
  EXPECT_EQ(registry.OpenHandleCount(), 0);
}

TEST_F(SettingsTest, LoadsAndSavesUseTheGivenKey) {
  const KeyLocation elsewhere{reg::kHkeyCurrentUser, "Software\\Elsewhere"};
  registry.CreateKey(elsewhere.root, elsewhere.subKey);
  EXPECT_TRUE(SavePort(registry, "COM7", elsewhere));
  HostSettings host;
  EXPECT_TRUE(LoadHostSettings(registry, host, elsewhere));
  EXPECT_STREQ(host.port, "COM7");
  EXPECT_FALSE(registry.Get(kRoot, kPath, "Port").has_value());
}

}  // namespace
}  // namespace zt::settings
