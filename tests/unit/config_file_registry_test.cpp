// The settings store over the Linux config file: values read with the
// registry's names, bad lines named in the log with their defaults kept,
// and stores that keep comments, order and unknown lines, written whole.
#include "platform/linux/config_file_registry.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "settings/settings_store.h"

namespace zt {
namespace {

struct RecordingLog final : ILog {
  void Write(std::string_view line) override { lines.emplace_back(line); }
  std::vector<std::string> lines;
};

std::string Read(const std::string& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

TEST(ConfigFileRegistryTest, ReadsNamesLogsBadLinesAndStoresInPlace) {
  const std::string path =
      ::testing::TempDir() + "zeltratouch-" + std::to_string(::getpid()) + ".conf";
  std::ofstream(path) << "# the touch screen\n"
                         "Port = /dev/serial/by-id/usb-touch\n"
                         "TouchMode=2\n"
                         "Mapping=0x1\n"
                         "DTime=fast\n"
                         "Smoothing=9999999999\n"
                         "Future=kept as it is\n"
                         "TouchMode=1\n"
                         "no equals sign\n";
  RecordingLog log;
  ConfigFileRegistry file(
      path, {std::begin(settings::kTextValueNames), std::end(settings::kTextValueNames)}, &log);
  settings::CSettingsStore store(file);
  EngineSettings engine;
  engine.dTime = 430;
  ASSERT_TRUE(store.LoadEngineSettings(engine));
  EXPECT_EQ(engine.touchMode, 1);  // the last line that names it
  EXPECT_EQ(engine.mapping, 1);
  EXPECT_EQ(engine.dTime, 430);  // bad: the default
  EXPECT_EQ(engine.smoothing, 0);
  HostSettings host;
  ASSERT_TRUE(store.LoadHostSettings(host));
  EXPECT_STREQ(host.port, "/dev/serial/by-id/usb-touch");
  const std::vector<std::string> bad = {
      path + ":5: DTime: not a number from 0 to 4294967295; its default holds",
      path + ":6: Smoothing: not a number from 0 to 4294967295; its default holds",
      path + ":7: Future: not a number from 0 to 4294967295; its default holds",
      path + ":9: : no \"=\""};
  EXPECT_EQ(log.lines, bad);
  ASSERT_TRUE(store.LoadEngineSettings(engine));
  EXPECT_EQ(log.lines.size(), bad.size());  // each named once

  ASSERT_TRUE(store.SavePort("/dev/ttyUSB1"));
  ASSERT_TRUE(store.SaveTouchMode(0));
  ASSERT_TRUE(store.SaveMapping(0));
  ASSERT_TRUE(store.SaveRight(1));
  EXPECT_EQ(Read(path),
            "# the touch screen\n"
            "Port=/dev/ttyUSB1\n"
            "TouchMode=2\n"
            "Mapping=0\n"
            "DTime=fast\n"
            "Smoothing=9999999999\n"
            "Future=kept as it is\n"
            "TouchMode=0\n"
            "no equals sign\n"
            "Right=1\n");
  EXPECT_FALSE(std::filesystem::exists(path + ".new"));
  std::filesystem::remove(path);
  EXPECT_FALSE(store.LoadEngineSettings(engine));  // no file: no key
}

}  // namespace
}  // namespace zt
