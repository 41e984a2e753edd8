#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace zt::test {

// A registry in memory: keys by root and path, each holding typed values
// with their bytes exactly as stored. A key can be missing or read-only
// (opening it for writing is refused), and every successful write is
// recorded in order.
class FakeRegistry final : public IRegistry {
public:
  struct Value {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
  };

  struct Write {
    std::string name;
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
  };

  void CreateKey(RegKeyHandle root, const std::string& path);
  void DeleteKey(RegKeyHandle root, const std::string& path);
  void SetReadOnly(RegKeyHandle root, const std::string& path, bool readOnly);

  // Stores a value directly, as another program would; not recorded as a
  // write. The key is created when missing.
  void Put(RegKeyHandle root, const std::string& path, const std::string& name, std::uint32_t type,
           std::vector<std::uint8_t> data);
  void PutDword(RegKeyHandle root, const std::string& path, const std::string& name,
                std::uint32_t value);
  void PutQword(RegKeyHandle root, const std::string& path, const std::string& name,
                std::uint64_t value);
  // withNul adds the terminating NUL to the stored bytes.
  void PutString(RegKeyHandle root, const std::string& path, const std::string& name,
                 const std::string& text, bool withNul);

  std::optional<Value> Get(RegKeyHandle root, const std::string& path,
                           const std::string& name) const;
  std::vector<Write> Writes() const;
  // Names of every value queried, in order, whatever the outcome.
  std::vector<std::string> Queries() const;
  int OpenHandleCount() const;

  std::int32_t OpenKey(RegKeyHandle root, const char* subKey, std::uint32_t access,
                       RegKeyHandle& key) override;
  std::int32_t QueryValue(RegKeyHandle key, const char* name, std::uint32_t& type, void* data,
                          std::uint32_t& size) override;
  std::int32_t SetValue(RegKeyHandle key, const char* name, std::uint32_t type, const void* data,
                        std::uint32_t size) override;
  std::int32_t CloseKey(RegKeyHandle key) override;

private:
  using KeyId = std::pair<RegKeyHandle, std::string>;

  struct Key {
    bool readOnly = false;
    std::map<std::string, Value> values;
  };

  struct OpenHandle {
    KeyId key;
    std::uint32_t access = 0;
  };

  mutable std::mutex m_mutex;
  std::map<KeyId, Key> m_keys;
  std::map<RegKeyHandle, OpenHandle> m_handles;
  RegKeyHandle m_nextHandle = 0x1000;
  std::vector<Write> m_writes;
  std::vector<std::string> m_queries;
};

// The four bytes of a REG_DWORD, little-endian.
std::vector<std::uint8_t> DwordBytes(std::uint32_t value);

}  // namespace zt::test
