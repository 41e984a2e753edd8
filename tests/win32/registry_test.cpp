// The registry wrapper and the settings loads and saves over the real Win32
// registry. Each test works in a key of its own, which only the test setup
// creates and the teardown deletes again.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "calibration/calibration_record.h"
#include "platform/win32/win32_registry.h"
#include "settings/registry_key.h"
#include "settings/settings_schema.h"

namespace zt {
namespace {

constexpr char kTestPath[] = "Software\\Corvantic\\ZeltraTouchTest";
constexpr char kMissingPath[] = "Software\\Corvantic\\ZeltraTouchTestMissing";
constexpr settings::KeyLocation kTestKey{reg::kHkeyLocalMachine, kTestPath};
constexpr settings::KeyLocation kMissingKey{reg::kHkeyLocalMachine, kMissingPath};

bool KeyExists(const char* path) {
  HKEY key = nullptr;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
    return false;
  }
  ::RegCloseKey(key);
  return true;
}

struct RawValue {
  LONG status = ERROR_FILE_NOT_FOUND;
  DWORD type = 0;
  std::vector<std::uint8_t> data;
};

class Win32RegistryTest : public ::testing::Test {
protected:
  void SetUp() override {
    ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, kTestPath);
    ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, kMissingPath);
    ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kTestPath, 0, nullptr, 0, KEY_ALL_ACCESS,
                                nullptr, &m_key, nullptr),
              ERROR_SUCCESS);
  }

  void TearDown() override {
    if (m_key != nullptr) {
      ::RegCloseKey(m_key);
    }
    ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, kTestPath);
  }

  void PutRaw(const char* name, DWORD type, const void* data, DWORD size) {
    ASSERT_EQ(::RegSetValueExA(m_key, name, 0, type, static_cast<const BYTE*>(data), size),
              ERROR_SUCCESS);
  }

  void PutDword(const char* name, DWORD value) { PutRaw(name, REG_DWORD, &value, sizeof value); }

  // RegSetValueExA counts a NUL that follows the data in memory as part of a
  // string, so a text meant to be stored without one is followed by 'X'.
  void PutString(const char* name, const std::string& text, bool withNul) {
    const std::string buffer = withNul ? text : text + 'X';
    PutRaw(name, REG_SZ, buffer.c_str(), static_cast<DWORD>(text.size() + (withNul ? 1 : 0)));
  }

  RawValue GetRaw(const char* name) {
    RawValue value;
    DWORD size = 0;
    value.status = ::RegQueryValueExA(m_key, name, nullptr, &value.type, nullptr, &size);
    if (value.status != ERROR_SUCCESS) {
      return value;
    }
    value.data.resize(size);
    value.status = ::RegQueryValueExA(m_key, name, nullptr, &value.type, value.data.data(), &size);
    value.data.resize(size);
    return value;
  }

  std::int32_t GetDword(const char* name) {
    const RawValue value = GetRaw(name);
    EXPECT_EQ(value.status, ERROR_SUCCESS) << name;
    EXPECT_EQ(value.type, static_cast<DWORD>(REG_DWORD)) << name;
    EXPECT_EQ(value.data.size(), 4U) << name;
    std::uint32_t bits = 0;
    for (std::size_t i = 0; i < value.data.size() && i < 4; ++i) {
      bits |= std::uint32_t{value.data[i]} << (8 * i);
    }
    return static_cast<std::int32_t>(bits);
  }

  Win32Registry registry;
  HKEY m_key = nullptr;
};

TEST_F(Win32RegistryTest, RootKeyConstantIsThePlatformsOwn) {
  EXPECT_EQ(reg::kHkeyLocalMachine, reinterpret_cast<RegKeyHandle>(HKEY_LOCAL_MACHINE));
  EXPECT_EQ(reg::kHkeyCurrentUser, reinterpret_cast<RegKeyHandle>(HKEY_CURRENT_USER));
}

TEST_F(Win32RegistryTest, OpenFailsForAMissingKeyAndDoesNotCreateIt) {
  CRegistryKey key(registry);
  EXPECT_FALSE(key.Open(reg::kHkeyLocalMachine, kMissingPath, reg::kKeySetValue));
  EXPECT_FALSE(key.IsOpen());
  EXPECT_FALSE(KeyExists(kMissingPath));
}

TEST_F(Win32RegistryTest, SetStringStoresTheTextWithoutANul) {
  CRegistryKey key(registry);
  ASSERT_TRUE(key.Open(reg::kHkeyLocalMachine, kTestPath, reg::kKeySetValue));
  EXPECT_TRUE(key.SetString("Port", "COM3"));
  key.Close();

  const RawValue stored = GetRaw("Port");
  ASSERT_EQ(stored.status, ERROR_SUCCESS);
  EXPECT_EQ(stored.type, static_cast<DWORD>(REG_SZ));
  // The platform keeps the NUL that follows the text in memory, so the
  // stored string may end with one although the size given did not count it.
  std::string text(stored.data.begin(), stored.data.end());
  if (!text.empty() && text.back() == '\0') {
    text.pop_back();
  }
  EXPECT_EQ(text, "COM3");
}

TEST_F(Win32RegistryTest, StringsWithAndWithoutNulReadTheSame) {
  settings::HostSettings host;
  PutString("Port", "COM2", true);
  EXPECT_TRUE(settings::LoadHostSettings(registry, host, kTestKey));
  EXPECT_STREQ(host.port, "COM2");

  PutString("Port", "COM4", false);
  EXPECT_EQ(GetRaw("Port").data, (std::vector<std::uint8_t>{'C', 'O', 'M', '4'}));
  EXPECT_TRUE(settings::LoadHostSettings(registry, host, kTestKey));
  EXPECT_STREQ(host.port, "COM4");

  ASSERT_TRUE(settings::SavePort(registry, "COM7", kTestKey));
  EXPECT_TRUE(settings::LoadHostSettings(registry, host, kTestKey));
  EXPECT_STREQ(host.port, "COM7");
}

TEST_F(Win32RegistryTest, PortOf1023CharactersIsReadWholeAnd1024IsAbsent) {
  const std::string longest(1023, 'P');
  PutString("Port", longest, false);
  settings::HostSettings host;
  EXPECT_TRUE(settings::LoadHostSettings(registry, host, kTestKey));
  EXPECT_EQ(std::string(host.port), longest);

  PutString("Port", std::string(1024, 'Q'), false);
  EXPECT_FALSE(settings::LoadHostSettings(registry, host, kTestKey));
  EXPECT_EQ(std::string(host.port), longest);

  PutString("Port", std::string(1024, 'Q'), true);
  EXPECT_FALSE(settings::LoadHostSettings(registry, host, kTestKey));
  EXPECT_EQ(std::string(host.port), longest);
}

TEST_F(Win32RegistryTest, QueryDwordAcceptsOnlyFourByteDwords) {
  PutDword("Dword", 600);
  const std::uint64_t eight = 5;
  PutRaw("Qword", REG_QWORD, &eight, sizeof eight);
  PutRaw("LongDword", REG_DWORD, &eight, sizeof eight);
  const std::uint32_t four = 5;
  PutRaw("Binary", REG_BINARY, &four, sizeof four);
  PutString("String", "5", true);

  CRegistryKey key(registry);
  ASSERT_TRUE(key.Open(reg::kHkeyLocalMachine, kTestPath, reg::kKeyQueryValue));
  std::int32_t value = -7;
  EXPECT_TRUE(key.QueryDword("Dword", value));
  EXPECT_EQ(value, 600);
  for (const char* name : {"Qword", "LongDword", "Binary", "String", "Missing"}) {
    value = -7;
    EXPECT_FALSE(key.QueryDword(name, value)) << name;
    EXPECT_EQ(value, -7) << name;
  }
}

TEST_F(Win32RegistryTest, EngineLoadReadsTheStoredValuesAndIgnoresTheRest) {
  PutDword("PX3", 300);
  PutDword("DTime", 450);
  PutDword("DZONE", 7);
  PutString("TouchMode", "1", true);
  const std::uint64_t eight = 2000;
  PutRaw("Freq", REG_QWORD, &eight, sizeof eight);

  settings::EngineSettings engine;
  CGridMapper mapper;
  std::vector<std::int32_t> doubleClickTimes;
  ASSERT_TRUE(settings::LoadEngineSettings(
      registry, engine, mapper, [&](std::int32_t ms) { doubleClickTimes.push_back(ms); },
      kTestKey));
  EXPECT_EQ(engine.dTime, 450);
  EXPECT_EQ(doubleClickTimes, (std::vector<std::int32_t>{450}));
  EXPECT_EQ(engine.dZone, 7);
  EXPECT_EQ(engine.touchMode, 0);
  EXPECT_EQ(engine.freq, 600);
  CalibPoints expected = kDefaultCalibPoints;
  expected[3].x = 300;
  EXPECT_EQ(mapper.Points(), expected);
}

TEST_F(Win32RegistryTest, EngineLoadFailsWithoutTheKey) {
  settings::EngineSettings engine;
  CGridMapper mapper;
  EXPECT_FALSE(settings::LoadEngineSettings(registry, engine, mapper, nullptr, kMissingKey));
  EXPECT_EQ(mapper.Points(), kDefaultCalibPoints);
}

TEST_F(Win32RegistryTest, CompletedCalibrationIsStoredAsDwords) {
  CalibPoints measured{};
  for (std::size_t i = 0; i < measured.size(); ++i) {
    measured[i] = {static_cast<std::int32_t>(10 * i), static_cast<std::int32_t>(4000 - i)};
  }
  PutDword("First", 1);
  CGridMapper live;
  ASSERT_TRUE(ApplyAndStoreCalibration(registry, live, measured, kTestKey));
  for (std::size_t i = 0; i < measured.size(); ++i) {
    EXPECT_EQ(GetDword(("PX" + std::to_string(i)).c_str()), measured[i].x);
    EXPECT_EQ(GetDword(("PY" + std::to_string(i)).c_str()), measured[i].y);
  }
  EXPECT_EQ(GetDword("First"), 0);
}

TEST_F(Win32RegistryTest, MouseRightAndTouchModeSavesStoreDwords) {
  ASSERT_TRUE(settings::SaveMouseSettings(
      registry, settings::EngineSettings{500, 3, 400, 400, 1, 2000, 100, 2}, kTestKey));
  ASSERT_TRUE(settings::SaveRight(registry, 1, kTestKey));
  ASSERT_TRUE(settings::SaveTouchMode(registry, 2, kTestKey));
  EXPECT_EQ(GetDword("DTime"), 500);
  EXPECT_EQ(GetDword("DZONE"), 3);
  EXPECT_EQ(GetDword("DZoneX"), 400);
  EXPECT_EQ(GetDword("DZoneY"), 400);
  EXPECT_EQ(GetDword("Beep"), 1);
  EXPECT_EQ(GetDword("Freq"), 2000);
  EXPECT_EQ(GetDword("Duration"), 100);
  EXPECT_EQ(GetDword("Right"), 1);
  EXPECT_EQ(GetDword("TouchMode"), 2);
}

TEST_F(Win32RegistryTest, SavesWithoutTheKeyWriteNothing) {
  EXPECT_FALSE(settings::SavePort(registry, "COM1", kMissingKey));
  EXPECT_FALSE(settings::StoreCalibration(registry, kDefaultCalibPoints, kMissingKey));
  EXPECT_FALSE(settings::SaveRight(registry, 1, kMissingKey));
  EXPECT_FALSE(KeyExists(kMissingPath));
}

TEST_F(Win32RegistryTest, WindowTitle) {
  std::string title;
  EXPECT_FALSE(settings::ReadWindowTitle(registry, title, kMissingKey));
  EXPECT_EQ(title, "");

  EXPECT_TRUE(settings::ReadWindowTitle(registry, title, kTestKey));
  EXPECT_EQ(title, "TactivoV1.12 ");

  PutString("ZeltraTouch", "Touch Panel", false);
  EXPECT_TRUE(settings::ReadWindowTitle(registry, title, kTestKey));
  EXPECT_EQ(title, "Touch Panel");

  PutString("ZeltraTouch", std::string(1024, 'T'), true);
  EXPECT_TRUE(settings::ReadWindowTitle(registry, title, kTestKey));
  EXPECT_EQ(title, "TactivoV1.12 ");
}

}  // namespace
}  // namespace zt
