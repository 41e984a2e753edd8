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
      {"Beep=yes", "f.conf:2: Beep: not a number"},
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
      {"", "f.conf: no settings"},
      {"# Beep=1\r\n\r\n", "f.conf: no settings"},
      {"LastTouch=1700000000\nControl=/run/x\nPort=/dev/ttyS0\n", "f.conf: no settings"},
      {"LastTouch=yesterday\n", "f.conf:1: LastTouch: not a number"},
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
  // After three writes: none refused (a read-only key), TouchMode refused,
  // or every write from TouchMode on, the undoing too.
  for (const std::size_t refused : {std::size_t{0}, std::size_t{1}, SIZE_MAX}) {
    FakeRegistry key = Key();
    key.Put(kBeep, 0);
    key.Put(kWindowTitle, std::string(1500, 'T'), true);
    key.Put(kTouchMode, 1);
    const auto before = key.Values();
    key.SetKey(true, refused == 0);
    key.FailWrites(3, refused);
    const ApplyOutcome outcome = ApplySettingsFile(key, file);
    EXPECT_FALSE(outcome.stored);
    EXPECT_EQ(ApplyFailureText(outcome), refused == SIZE_MAX
                                             ? "imported in part: Beep, ZeltraTouch, "
                                               "Freq could not be put back and keep "
                                               "the file's values"
                                             : "nothing imported");
    EXPECT_TRUE(refused == SIZE_MAX || key.Values() == before) << refused;
    // As a running program answers it to the instance that handed it over.
    EXPECT_EQ(AnsweredOutcome(file, ImportAnswer(file, outcome)).notRestored, outcome.notRestored);
  }
}

// A second import (a setup's beside a logon script's) runs whole between
// the first one's writes; the first then fails and must not undo it.
TEST(SettingsFile, AFailedImportLeavesWhatAnotherStoredMeanwhile) {
  FakeRegistry key = Key();
  key.Put(kFreq, 100);
  key.Put(kTouchMode, 0);
  const SettingsFile first =
      ReadSettingsFile("Freq=200\nTouchMode=1\nPX0=100\n", "a", Platform::kWindows);
  const SettingsFile second = ReadSettingsFile("Freq=300\nTouchMode=2\n", "b", Platform::kWindows);
  key.AfterSet(0, [&] {
    EXPECT_TRUE(ApplySettingsFile(key, second).stored);
    key.FailWrites(1, 1);  // the first's PX0
  });
  const ApplyOutcome outcome = ApplySettingsFile(key, first);
  EXPECT_EQ(ApplyFailureText(outcome),
            "nothing imported; left as another writer set them meanwhile: Freq");
  EXPECT_EQ(key.Get(kFreq)->data, FakeRegistry::DwordBytes(300));
  EXPECT_EQ(key.Get(kTouchMode)->data, FakeRegistry::DwordBytes(2));
}

}  // namespace
}  // namespace zt::settings
