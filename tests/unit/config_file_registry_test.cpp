// The settings store over the Linux config files: the admin's file, its
// drop-ins and the daemon's state file read in that order, bad lines named
// in the log with their defaults kept, and stores that go to the state file
// alone, keeping its comments, order and unknown lines, one write a set.
#include "platform/linux/config_file_registry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform_fakes.h"
#include "settings/settings_store.h"

namespace zt {
namespace {

namespace fs = std::filesystem;

std::string Read(const std::string& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

class ConfigFileRegistryTest : public ::testing::Test {
protected:
  void SetUp() override {
    fs::create_directories(folder + "/conf.d");
    fs::create_directories(folder + "/state");
  }
  void TearDown() override { fs::remove_all(folder); }

  const std::string folder = ::testing::TempDir() + "zeltratouch-" + std::to_string(::getpid());
  const std::string config = folder + "/zeltratouch.conf";
  const std::string state = folder + "/state/zeltratouch.conf";
  test::RecordingLog log;
  ConfigFileRegistry file{
      {config, folder + "/conf.d", state},
      {std::begin(settings::kTextValueNames), std::end(settings::kTextValueNames)},
      &log};
  settings::CSettingsStore store{file};
};

TEST_F(ConfigFileRegistryTest, ReadsTheFilesInOrderAndLogsBadLines) {
  std::ofstream(config) << "# the touch screen\n"
                           "Port = /dev/serial/by-id/usb-touch\n"
                           "TouchMode=2\n"
                           "DTime=fast\n"
                           "Smoothing=9999999999\n"
                           "Future=kept as it is\n"
                           "no equals sign\n";
  std::ofstream(folder + "/conf.d/20-site.conf") << "TouchMode=1\n";
  std::ofstream(folder + "/conf.d/10-base.conf") << "TouchMode=0\n";
  std::ofstream(folder + "/conf.d/30-off.conf.disabled") << "TouchMode=2\n";
  EngineSettings engine;
  engine.smoothing = 3;
  ASSERT_TRUE(store.LoadEngineSettings(engine));
  EXPECT_EQ(engine.touchMode, 1);  // the drop-in last in name order (the numbers: ParseNumberTest)
  EXPECT_EQ(engine.smoothing, 3);  // bad: the default
  HostSettings host;
  ASSERT_TRUE(store.LoadHostSettings(host));
  EXPECT_STREQ(host.port, "/dev/serial/by-id/usb-touch");
  const std::vector<std::string> bad = {
      config + ":4: DTime: not a number from 0 to 4294967295; its default holds",
      config + ":5: Smoothing: not a number from 0 to 4294967295; its default holds",
      config + ":6: Future: not a number from 0 to 4294967295; its default holds",
      config + ":7: : no \"=\""};
  EXPECT_EQ(log.lines, bad);
  ASSERT_TRUE(store.LoadEngineSettings(engine));
  EXPECT_EQ(log.lines.size(), bad.size());  // each named once

  // What the daemon stores goes to its state file, read last.
  ASSERT_TRUE(store.SavePort("/dev/ttyUSB1"));
  ASSERT_TRUE(store.LoadHostSettings(host));
  EXPECT_STREQ(host.port, "/dev/ttyUSB1");
  EXPECT_EQ(Read(state), "Port=/dev/ttyUSB1\n");
  EXPECT_TRUE(file.Has("Port"));
  EXPECT_FALSE(file.Has("Monitor"));
  const std::vector<ConfigValue> values = file.Values();
  ASSERT_EQ(values.size(), 2u);
  EXPECT_EQ(values[0].name + "=" + values[0].value + " " + values[0].path,
            "Port=/dev/ttyUSB1 " + state);
  EXPECT_EQ(values[1].name + "=" + values[1].value + " " + values[1].path,
            "TouchMode=1 " + folder + "/conf.d/20-site.conf");
  fs::remove(config);
  EXPECT_TRUE(store.LoadEngineSettings(engine));  // the state file alone
  fs::remove(state);
  fs::remove_all(folder + "/conf.d");
  EXPECT_FALSE(store.LoadEngineSettings(engine));  // no file: no key
}

TEST_F(ConfigFileRegistryTest, AStoredSetIsOneWriteOfTheStateFileAlone) {
  std::ofstream(config) << "Port=\n";
  std::ofstream(state) << "# kept\nMapping=0\nFuture=1\n";
  ::chmod(state.c_str(), 0640);
  const std::string admins = Read(config);
  // Nothing reaches the file until the key is closed.
  RegKeyHandle key = kNoRegKey;
  ASSERT_EQ(file.OpenKey(settings::kSettingsKey.root, settings::kSettingsKey.subKey,
                         reg::kKeySetValue, key),
            reg::kErrorSuccess);
  const unsigned char one[4] = {1, 0, 0, 0};
  ASSERT_EQ(file.SetValue(key, "Mapping", reg::kRegDword, one, 4), reg::kErrorSuccess);
  EXPECT_EQ(Read(state), "# kept\nMapping=0\nFuture=1\n");
  ASSERT_EQ(file.CloseKey(key), reg::kErrorSuccess);
  EXPECT_EQ(Read(state), "# kept\nMapping=1\nFuture=1\n");

  // A link planted beside the file is replaced, never followed.
  const std::string victim = folder + "/victim";
  std::ofstream(victim) << "untouched\n";
  fs::create_symlink(victim, state + ".new");
  CalibPoints points = kDefaultCalibPoints;
  points[8] = {2000, 2100};
  const std::int32_t precise = kMappingPrecise;
  ASSERT_TRUE(store.StoreCalibrationSet(&points, &precise, "HDMI-1"));
  EXPECT_EQ(Read(victim), "untouched\n");
  const std::string stored = Read(state);
  EXPECT_EQ(stored.rfind("# kept\nMapping=1\nFuture=1\n", 0), 0u) << stored;
  for (const char* line : {"\nPX8=2000\n", "\nPY8=2100\n", "\nFirst=0\n", "\nMonitor=HDMI-1\n"}) {
    EXPECT_NE(stored.find(line), std::string::npos) << line;
  }
  EXPECT_EQ(Read(config), admins);
  struct stat mode {};
  ASSERT_EQ(::stat(state.c_str(), &mode), 0);
  EXPECT_EQ(mode.st_mode & 0777, 0640u);
  EXPECT_FALSE(fs::exists(state + ".new"));

  // A store that cannot be written says so.
  fs::remove_all(folder + "/state");
  EXPECT_FALSE(store.StoreCalibrationSet(&points, &precise, ""));
  EXPECT_FALSE(store.SaveMapping(0));  // SavePort's: the daemon's test of find
  EXPECT_EQ(Read(config), admins);
}

TEST(ParseNumberTest, DecimalOrHexAndNothingElse) {
  const struct {
    const char* text;
    bool valid;
    std::uint64_t value;
  } cases[] = {{"0500", true, 500},    {"08", true, 8},     {"0x1F", true, 31}, {"0X10", true, 16},
               {"65535", true, 65535}, {"65536", false, 0}, {"-1", false, 0},   {"+1", false, 0},
               {"", false, 0},         {"0x", false, 0},    {"1 ", false, 0},   {"0x1G", false, 0}};
  for (const auto& test : cases) {
    std::uint64_t value = 0;
    EXPECT_EQ(ParseNumber(test.text, 65535, value), test.valid) << test.text;
    EXPECT_EQ(value, test.value) << test.text;
  }
}

}  // namespace
}  // namespace zt
