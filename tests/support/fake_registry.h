#pragma once

#include <cstdint>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/registry.h"

namespace zt::test {

// A registry in memory: keys by root and path, each holding typed values
// with their bytes exactly as stored. A key can be missing or read-only
// (opening it for writing is refused); every successful write is recorded
// in order.
class FakeRegistry final : public IRegistry {
public:
  struct Value {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    bool operator==(const Value&) const = default;
  };
  using Write = std::pair<std::string, Value>;

  void CreateKey(RegKeyHandle root, const std::string& path) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_keys[{root, path}];
  }
  void DeleteKey(RegKeyHandle root, const std::string& path) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_keys.erase({root, path});
  }
  void SetReadOnly(RegKeyHandle root, const std::string& path, bool readOnly) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_keys[{root, path}].readOnly = readOnly;
  }
  // Stores a value as another program would (not recorded as a write).
  void Put(RegKeyHandle root, const std::string& path, const std::string& name, std::uint32_t type,
           std::vector<std::uint8_t> data) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_keys[{root, path}].values[name] = Value{type, std::move(data)};
  }
  void PutDword(RegKeyHandle root, const std::string& path, const std::string& name,
                std::uint32_t value) {
    Put(root, path, name, reg::kRegDword, DwordBytes(value));
  }
  // withNul adds the terminating NUL to the stored bytes.
  void PutString(RegKeyHandle root, const std::string& path, const std::string& name,
                 const std::string& text, bool withNul) {
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    if (withNul) {
      bytes.push_back(0);
    }
    Put(root, path, name, reg::kRegSz, std::move(bytes));
  }
  std::optional<Value> Get(RegKeyHandle root, const std::string& path,
                           const std::string& name) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto key = m_keys.find({root, path});
    if (key == m_keys.end() || key->second.values.count(name) == 0) {
      return std::nullopt;
    }
    return key->second.values.at(name);
  }
  std::vector<Write> Writes() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_writes;
  }
  int OpenHandleCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<int>(m_handles.size());
  }

  std::int32_t OpenKey(RegKeyHandle root, const char* subKey, std::uint32_t access,
                       RegKeyHandle& key) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_keys.find({root, subKey == nullptr ? "" : subKey});
    if (found == m_keys.end()) {
      return reg::kErrorFileNotFound;
    }
    if (found->second.readOnly && (access & reg::kKeySetValue) != 0) {
      return reg::kErrorAccessDenied;
    }
    key = m_nextHandle++;
    m_handles[key] = {found->first, access};
    return reg::kErrorSuccess;
  }
  std::int32_t QueryValue(RegKeyHandle key, const char* name, std::uint32_t& type, void* data,
                          std::uint32_t& size) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    const Key* open = Opened(key, reg::kKeyQueryValue);
    if (open == nullptr || open->values.count(name) == 0) {
      return open == nullptr ? reg::kErrorAccessDenied : reg::kErrorFileNotFound;
    }
    const Value& value = open->values.at(name);
    const auto capacity = std::exchange(size, static_cast<std::uint32_t>(value.data.size()));
    type = value.type;
    if (data == nullptr || size == 0) {
      return reg::kErrorSuccess;
    }
    if (size > capacity) {
      return reg::kErrorMoreData;
    }
    std::memcpy(data, value.data.data(), size);
    return reg::kErrorSuccess;
  }
  std::int32_t SetValue(RegKeyHandle key, const char* name, std::uint32_t type, const void* data,
                        std::uint32_t size) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    Key* open = Opened(key, reg::kKeySetValue);
    if (open == nullptr || open->readOnly) {
      return reg::kErrorAccessDenied;
    }
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    const Value value{type, std::vector<std::uint8_t>(bytes, bytes + size)};
    open->values[name] = value;
    m_writes.emplace_back(name, value);
    return reg::kErrorSuccess;
  }
  std::int32_t CloseKey(RegKeyHandle key) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_handles.erase(key) == 1 ? reg::kErrorSuccess : reg::kErrorInvalidHandle;
  }

  static std::vector<std::uint8_t> DwordBytes(std::uint32_t value) {
    return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
            static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
  }

private:
  using KeyId = std::pair<RegKeyHandle, std::string>;
  struct Key {
    bool readOnly = false;
    std::map<std::string, Value> values;
  };

  // The key behind an open handle with the given access, or nullptr.
  Key* Opened(RegKeyHandle handle, std::uint32_t access) {
    const auto open = m_handles.find(handle);
    if (open == m_handles.end() || (open->second.second & access) == 0) {
      return nullptr;
    }
    const auto key = m_keys.find(open->second.first);
    return key == m_keys.end() ? nullptr : &key->second;
  }

  mutable std::mutex m_mutex;
  std::map<KeyId, Key> m_keys;
  std::map<RegKeyHandle, std::pair<KeyId, std::uint32_t>> m_handles;
  RegKeyHandle m_nextHandle = 0x1000;
  std::vector<Write> m_writes;
};

}  // namespace zt::test
