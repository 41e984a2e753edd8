#include "settings/registry_key.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "fake_registry.h"

namespace zt {
namespace {

using test::FakeRegistry;

constexpr RegKeyHandle kRoot = reg::kHkeyLocalMachine;
constexpr char kPath[] = "Software\\Test";

class RegistryKeyTest : public ::testing::Test {
protected:
  RegistryKeyTest() { registry.CreateKey(kRoot, kPath); }

  FakeRegistry registry;
};

TEST_F(RegistryKeyTest, NewKeyIsClosed) {
  const CRegistryKey key(registry);
  EXPECT_FALSE(key.IsOpen());
}

TEST_F(RegistryKeyTest, OpenRefusesBadArgumentsAndMissingKeys) {
  struct OpenCase {
    const char* what;
    RegKeyHandle root;
    const char* subKey;
  };
  const OpenCase cases[] = {
      {"no root", kNoRegKey, kPath},
      {"null subkey", kRoot, nullptr},
      {"empty subkey", kRoot, ""},
      {"missing key", kRoot, "Software\\Missing"},
      {"other root", reg::kHkeyCurrentUser, kPath},
  };
  for (const OpenCase& c : cases) {
    CRegistryKey key(registry);
    EXPECT_FALSE(key.Open(c.root, c.subKey, reg::kKeyQueryValue)) << c.what;
    EXPECT_FALSE(key.IsOpen()) << c.what;
  }
  EXPECT_EQ(registry.OpenHandleCount(), 0);
}

TEST_F(RegistryKeyTest, OpenNeverCreatesTheKey) {
  CRegistryKey key(registry);
  EXPECT_FALSE(key.Open(kRoot, "Software\\Missing", reg::kKeySetValue));
  EXPECT_FALSE(key.SetDword("Value", 1));
  EXPECT_FALSE(registry.Get(kRoot, "Software\\Missing", "Value").has_value());
  EXPECT_TRUE(registry.Writes().empty());
}

TEST_F(RegistryKeyTest, DestructorClosesTheKey) {
  {
    CRegistryKey key(registry);
    ASSERT_TRUE(key.Open(kRoot, kPath, reg::kKeyQueryValue));
    EXPECT_TRUE(key.IsOpen());
    EXPECT_EQ(registry.OpenHandleCount(), 1);
  }
  EXPECT_EQ(registry.OpenHandleCount(), 0);
}

TEST_F(RegistryKeyTest, CloseIsAlwaysTrueAndCanBeRepeated) {
  CRegistryKey key(registry);
  EXPECT_TRUE(key.Close());
  ASSERT_TRUE(key.Open(kRoot, kPath, reg::kKeyQueryValue));
  EXPECT_TRUE(key.Close());
  EXPECT_FALSE(key.IsOpen());
  EXPECT_TRUE(key.Close());
  EXPECT_EQ(registry.OpenHandleCount(), 0);
}

TEST_F(RegistryKeyTest, SecondOpenIsRefusedAndLeaksNothing) {
  CRegistryKey key(registry);
  ASSERT_TRUE(key.Open(kRoot, kPath, reg::kKeyQueryValue));
  EXPECT_FALSE(key.Open(kRoot, kPath, reg::kKeyQueryValue));
  EXPECT_TRUE(key.IsOpen());
  EXPECT_EQ(registry.OpenHandleCount(), 1);
}

TEST_F(RegistryKeyTest, QueryValueReadsAnyTypeWithItsStoredSize) {
  registry.PutDword(kRoot, kPath, "Number", 0x31323334);
  registry.PutString(kRoot, kPath, "Text", "COM1", false);
  CRegistryKey key(registry);
  ASSERT_TRUE(key.Open(kRoot, kPath, reg::kKeyQueryValue));

  char buffer[16] = {};
  std::uint32_t size = sizeof buffer;
  ASSERT_TRUE(key.QueryValue("Text", buffer, size));
  EXPECT_EQ(size, 4U);
  EXPECT_EQ(std::string(buffer, size), "COM1");

  size = sizeof buffer;
  ASSERT_TRUE(key.QueryValue("Number", buffer, size));
  EXPECT_EQ(size, 4U);
  EXPECT_EQ(std::string(buffer, size), "4321");
}

TEST_F(RegistryKeyTest, QueryValueLargerThanTheBufferFails) {
  registry.PutString(kRoot, kPath, "Text", "COM10", true);
  CRegistryKey key(registry);
  ASSERT_TRUE(key.Open(kRoot, kPath, reg::kKeyQueryValue));
  char buffer[5] = {};
  std::uint32_t size = sizeof buffer;
  EXPECT_FALSE(key.QueryValue("Text", buffer, size));
  size = sizeof buffer;
  EXPECT_FALSE(key.QueryValue("Missing", buffer, size));
}

TEST_F(RegistryKeyTest, QueryOnAClosedKeyFails) {
  registry.PutDword(kRoot, kPath, "Number", 5);
  CRegistryKey key(registry);
  std::int32_t value = 9;
  EXPECT_FALSE(key.QueryDword("Number", value));
  EXPECT_EQ(value, 9);
  char buffer[8];
  std::uint32_t size = sizeof buffer;
  EXPECT_FALSE(key.QueryValue("Number", buffer, size));
}

TEST_F(RegistryKeyTest, QueryDwordAcceptsOnlyFourByteDwords) {
  struct DwordCase {
    const char* name;
    std::uint32_t type;
    std::vector<std::uint8_t> data;
    bool read;
    std::int32_t expected;
  };
  const DwordCase cases[] = {
      {"Dword", reg::kRegDword, {0x58, 0x02, 0x00, 0x00}, true, 600},
      {"Negative", reg::kRegDword, {0xFF, 0xFF, 0xFF, 0xFF}, true, -1},
      {"ShortDword", reg::kRegDword, {0x07, 0x00}, false, 0},
      {"String", reg::kRegSz, {'1', '2', '3', 0}, false, 0},
      {"Binary", reg::kRegBinary, {0x07, 0x00, 0x00, 0x00}, false, 0},
      {"Qword", reg::kRegQword, {0x07, 0, 0, 0, 0, 0, 0, 0}, false, 0},
      {"LongDword", reg::kRegDword, {0x07, 0, 0, 0, 0, 0, 0, 0}, false, 0},
  };
  for (const DwordCase& c : cases) {
    registry.Put(kRoot, kPath, c.name, c.type, c.data);
  }
  CRegistryKey key(registry);
  ASSERT_TRUE(key.Open(kRoot, kPath, reg::kKeyQueryValue));
  for (const DwordCase& c : cases) {
    constexpr std::int32_t kUntouched = 12345;
    std::int32_t value = kUntouched;
    EXPECT_EQ(key.QueryDword(c.name, value), c.read) << c.name;
    EXPECT_EQ(value, c.read ? c.expected : kUntouched) << c.name;
  }
  std::int32_t value = 7;
  EXPECT_FALSE(key.QueryDword("Missing", value));
  EXPECT_EQ(value, 7);
}

TEST_F(RegistryKeyTest, SetStringWritesTheTextWithoutItsNul) {
  CRegistryKey key(registry);
  ASSERT_TRUE(key.Open(kRoot, kPath, reg::kKeySetValue));
  EXPECT_TRUE(key.SetString("Port", "COM3"));
  EXPECT_TRUE(key.SetString("Empty", ""));

  const auto port = registry.Get(kRoot, kPath, "Port");
  ASSERT_TRUE(port.has_value());
  EXPECT_EQ(port->type, reg::kRegSz);
  EXPECT_EQ(port->data, (std::vector<std::uint8_t>{'C', 'O', 'M', '3'}));
  const auto empty = registry.Get(kRoot, kPath, "Empty");
  ASSERT_TRUE(empty.has_value());
  EXPECT_TRUE(empty->data.empty());
}

TEST_F(RegistryKeyTest, SetDwordWritesFourLittleEndianBytes) {
  CRegistryKey key(registry);
  ASSERT_TRUE(key.Open(kRoot, kPath, reg::kKeySetValue));
  EXPECT_TRUE(key.SetDword("Freq", 0x01020304));
  EXPECT_TRUE(key.SetDword("Minus", -2));

  const auto freq = registry.Get(kRoot, kPath, "Freq");
  ASSERT_TRUE(freq.has_value());
  EXPECT_EQ(freq->type, reg::kRegDword);
  EXPECT_EQ(freq->data, (std::vector<std::uint8_t>{0x04, 0x03, 0x02, 0x01}));
  EXPECT_EQ(registry.Get(kRoot, kPath, "Minus")->data,
            (std::vector<std::uint8_t>{0xFE, 0xFF, 0xFF, 0xFF}));
}

TEST_F(RegistryKeyTest, WritesFailOnAClosedOrReadOnlyKey) {
  CRegistryKey closed(registry);
  EXPECT_FALSE(closed.SetDword("Value", 1));
  EXPECT_FALSE(closed.SetString("Text", "x"));

  CRegistryKey forReading(registry);
  ASSERT_TRUE(forReading.Open(kRoot, kPath, reg::kKeyQueryValue));
  EXPECT_FALSE(forReading.SetDword("Value", 1));

  registry.SetReadOnly(kRoot, kPath, true);
  CRegistryKey forWriting(registry);
  EXPECT_FALSE(forWriting.Open(kRoot, kPath, reg::kKeySetValue));
  EXPECT_FALSE(forWriting.SetDword("Value", 1));
  EXPECT_TRUE(registry.Writes().empty());
}

TEST_F(RegistryKeyTest, SetStringRefusesANullText) {
  CRegistryKey key(registry);
  ASSERT_TRUE(key.Open(kRoot, kPath, reg::kKeySetValue));
  EXPECT_FALSE(key.SetString("Port", nullptr));
  EXPECT_TRUE(registry.Writes().empty());
}

}  // namespace
}  // namespace zt
