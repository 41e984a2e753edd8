#include "settings/settings_file.h"

#include <gtest/gtest.h>

#include "fake_registry.h"

namespace zt::settings {
namespace {

using test::FakeRegistry;
using Platform = FilePlatform;

FakeRegistry Key() {
  return FakeRegistry(kSettingsKey.root, kSettingsKey.subKey);
}

TEST(SettingsFile, OneBadLineIsNamedAndNothingIsStored) {
  const struct {
    const char* line;
    const char* error;
  } cases[] = {
      {"TouchMode", "f.conf:2: TouchMode: no \"=\""},
      {"Touchmode=1", "f.conf:2: Touchmode: not a setting"},
      {"TouchMode=3", "f.conf:2: TouchMode: out of range"},
      {"PX0=4096", "f.conf:2: PX0: out of range"},
      {"LastTouch=yesterday", "f.conf:2: LastTouch: not a number"},
      {"DTime=-1", "f.conf:2: DTime: not a number"},
      {"Freq=0x10", "f.conf:2: Freq: out of range"},
      {"DZoneX=99999999999999999999", "f.conf:2: DZoneX: not a number"},
      {" First = 0", "f.conf:2: First: given twice"},
  };
  for (const auto& each : cases) {
    FakeRegistry key = Key();
    key.Put(kTouchMode, 1);
    const SettingsFile file =
        ReadSettingsFile(std::string("First=1\n") + each.line + "\n", "f.conf", Platform::kWindows);
    ASSERT_EQ(file.errors.size(), 1U) << each.line;
    EXPECT_EQ(file.errors[0], each.error);
    EXPECT_FALSE(ApplySettingsFile(key, file).stored);
    EXPECT_TRUE(key.Writes().empty()) << each.line;
  }
}

TEST(SettingsFile, TheOtherPlatformsPortAndMonitorLeaveTheLocalOnes) {
  const std::string fromLinux =
      "Port=/dev/ttyUSB0\nMonitor=HDMI-1\nControl=/run/x\nBeep=1\nLastTouch=1700000000\n";
  const SettingsFile onWindows = ReadSettingsFile(fromLinux, "l.conf", Platform::kWindows);
  ASSERT_EQ(onWindows.values.size(), 1U);
  EXPECT_EQ(onWindows.values[0].name, kBeep);
  ASSERT_EQ(onWindows.notes.size(), 4U);
  EXPECT_EQ(
      onWindows.notes[0],
      "l.conf:1: Port: \"/dev/ttyUSB0\" is not one of this platform's; the local Port is kept");

  const std::string fromWindows = "Port=COM5\nMonitor=\\\\.\\DISPLAY1\nPort=/dev/ttyS0\n";
  const SettingsFile onLinux = ReadSettingsFile(fromWindows, "w.conf", Platform::kLinux);
  EXPECT_EQ(onLinux.notes.size(), 2U);
  ASSERT_EQ(onLinux.values.size(), 1U);
  EXPECT_EQ(onLinux.values[0].value, "/dev/ttyS0");
}

TEST(SettingsFile, AFileOfNoSettingsOrInUtf16IsRefused) {
  const struct {
    std::string text;
    const char* error;  // nullptr: read
  } cases[] = {
      {"\xEF\xBB\xBF"
       "Beep=1\r\n",
       nullptr},
      {std::string("\xFF\xFE"
                   "B\0=\0"
                   "1\0",
                   8),
       "f.conf:1: UTF-16: save the file as UTF-8"},
      {"# Beep=1\r\n\r\n", "f.conf: no settings"},
      {"LastTouch=1700000000\nControl=/run/x\nPort=/dev/ttyS0\n", "f.conf: no settings"},
  };
  for (const auto& each : cases) {
    const SettingsFile file = ReadSettingsFile(each.text, "f.conf", Platform::kWindows);
    if (each.error == nullptr) {
      EXPECT_TRUE(file.errors.empty()) << file.errors[0];
      EXPECT_EQ(file.values.size(), 1U);
    } else {
      ASSERT_EQ(file.errors.size(), 1U) << each.error;
      EXPECT_EQ(file.errors[0], each.error);
    }
  }
}

TEST(SettingsFile, AFailedWriteLeavesTheKeyAsItWasOrNamesWhatIsLeft) {
  // Freq is new to the key; the title is longer than the program reads.
  const SettingsFile file = ReadSettingsFile("Beep=1\nZeltraTouch=Kiosk \nFreq=440\nTouchMode=2\n",
                                             "f", Platform::kWindows);
  // After three writes: none refused (a read-only key), TouchMode refused
  // (also after another program, a second import, stored Freq meanwhile:
  // its value stays), or every write from TouchMode on, the undoing too.
  const struct {
    std::size_t refused;
    bool freqMeanwhile;
    const char* text;
  } cases[] = {
      {0, false, "nothing imported"},
      {1, false, "nothing imported"},
      {1, true, "nothing imported; left as another writer set them meanwhile: Freq"},
      {SIZE_MAX, false,
       "imported in part: Beep, ZeltraTouch, Freq could not be put back and keep the file's "
       "values"},
  };
  for (const auto& each : cases) {
    FakeRegistry key = Key();
    key.Put(kBeep, 0);
    key.Put(kWindowTitle, std::string(1500, 'T'), true);
    key.Put(kTouchMode, 1);
    auto expected = key.Values();
    if (each.freqMeanwhile) {
      key.otherWriterBefore = kTouchMode;
      key.otherWriter = [&key] { key.Put(kFreq, 500); };
      expected[kFreq] = {reg::kRegDword, FakeRegistry::DwordBytes(500)};
    }
    key.SetKey(true, each.refused == 0);
    key.FailWrites(3, each.refused);
    const ApplyOutcome outcome = ApplySettingsFile(key, file);
    EXPECT_FALSE(outcome.stored);
    EXPECT_EQ(ApplyFailureText(outcome), each.text);
    EXPECT_TRUE(each.refused == SIZE_MAX || key.Values() == expected) << each.text;
    // As a running program answers it to the instance that handed it over.
    EXPECT_EQ(AnsweredOutcome(file, ImportAnswer(file, outcome)).notRestored, outcome.notRestored);
  }
}

}  // namespace
}  // namespace zt::settings
