#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <iterator>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/registry.h"

namespace zt::test {

// A registry in memory that holds one key, the settings key of the given
// root and path: typed values with their bytes exactly as stored. The key
// can be missing or read-only (opening it for writing is refused), or refuse
// writes from some point on; every successful write is recorded in order.
class FakeRegistry final : public IRegistry {
public:
  struct Value {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    bool operator==(const Value&) const = default;
  };
  using Write = std::pair<std::string, Value>;

  FakeRegistry(RegKeyHandle root, std::string path) : m_root(root), m_path(std::move(path)) {}

  void SetKey(bool exists, bool readOnly = false) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_exists = exists;
    m_readOnly = readOnly;
    if (!exists) {
      m_values.clear();
    }
  }
  // Stores a value as another program would (not recorded as a write); the
  // key exists from then on.
  void Put(const std::string& name, std::uint32_t type, std::vector<std::uint8_t> data) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_exists = true;
    m_values[name] = Value{type, std::move(data)};
  }
  void Put(const std::string& name, std::uint32_t value) {
    Put(name, reg::kRegDword, DwordBytes(value));
  }
  // withNul adds the terminating NUL to the stored bytes.
  void Put(const std::string& name, const std::string& text, bool withNul = false) {
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    if (withNul) {
      bytes.push_back(0);
    }
    Put(name, reg::kRegSz, std::move(bytes));
  }
  // The next `done` writes (sets and deletes) are done, then `refused` more
  // are refused, as when another program takes the key's rights midway.
  void FailWrites(std::size_t done, std::size_t refused) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_writesDone = done;
    m_writesRefused = refused;
  }
  // Another program's work, run once, whole, just before the value
  // otherWriterBefore is first read: a second writer of the key meanwhile.
  std::function<void()> otherWriter;
  std::string otherWriterBefore;

  std::map<std::string, Value> Values() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_values;
  }
  std::optional<Value> Get(const std::string& name) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_values.find(name);
    return found == m_values.end() ? std::nullopt : std::optional<Value>(found->second);
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
    if (!m_exists || root != m_root || m_path != subKey) {
      return reg::kErrorFileNotFound;
    }
    if (m_readOnly && (access & reg::kKeySetValue) != 0) {
      return reg::kErrorAccessDenied;
    }
    key = m_nextHandle++;
    m_handles[key] = access;
    return reg::kErrorSuccess;
  }
  std::int32_t QueryValue(RegKeyHandle key, const char* name, std::uint32_t& type, void* data,
                          std::uint32_t& size) override {
    if (otherWriter && otherWriterBefore == name) {
      std::exchange(otherWriter, nullptr)();
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!Opened(key, reg::kKeyQueryValue) || m_values.count(name) == 0) {
      return reg::kErrorFileNotFound;
    }
    const Value& value = m_values.at(name);
    const auto capacity = std::exchange(size, static_cast<std::uint32_t>(value.data.size()));
    type = value.type;
    if (data != nullptr && size > capacity) {
      return reg::kErrorMoreData;
    }
    if (data != nullptr && size > 0) {
      std::memcpy(data, value.data.data(), size);
    }
    return reg::kErrorSuccess;
  }
  std::int32_t SetValue(RegKeyHandle key, const char* name, std::uint32_t type, const void* data,
                        std::uint32_t size) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!Opened(key, reg::kKeySetValue) || m_readOnly || WriteRefused()) {
      return reg::kErrorAccessDenied;
    }
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    m_values[name] = Value{type, std::vector<std::uint8_t>(bytes, bytes + size)};
    m_writes.emplace_back(name, m_values[name]);
    return reg::kErrorSuccess;
  }
  std::int32_t DeleteValue(RegKeyHandle key, const char* name) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!Opened(key, reg::kKeySetValue) || m_readOnly || WriteRefused()) {
      return reg::kErrorAccessDenied;
    }
    return m_values.erase(name) == 1 ? reg::kErrorSuccess : reg::kErrorFileNotFound;
  }
  std::int32_t EnumValue(RegKeyHandle key, std::uint32_t index, char* name, std::uint32_t& nameSize,
                         std::uint32_t& type, void* data, std::uint32_t& size) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!Opened(key, reg::kKeyQueryValue)) {
      return reg::kErrorInvalidHandle;
    }
    if (index >= m_values.size()) {
      return reg::kErrorNoMoreItems;
    }
    // Large enough buffers are the caller's business here.
    const auto& [valueName, value] = *std::next(m_values.begin(), index);
    std::memcpy(name, valueName.c_str(), valueName.size() + 1);
    std::memcpy(data, value.data.data(), value.data.size());
    nameSize = static_cast<std::uint32_t>(valueName.size());
    size = static_cast<std::uint32_t>(value.data.size());
    type = value.type;
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
  // Counts a write against FailWrites: whether it is refused.
  bool WriteRefused() {
    const bool refused = m_writesDone == 0 && m_writesRefused > 0;
    m_writesRefused -= refused ? 1 : 0;
    m_writesDone -= m_writesDone > 0 ? 1 : 0;
    return refused;
  }
  bool Opened(RegKeyHandle handle, std::uint32_t access) const {
    const auto open = m_handles.find(handle);
    return m_exists && open != m_handles.end() && (open->second & access) != 0;
  }

  mutable std::mutex m_mutex;
  const RegKeyHandle m_root;
  const std::string m_path;
  bool m_exists = true;
  bool m_readOnly = false;
  std::map<std::string, Value> m_values;
  std::map<RegKeyHandle, std::uint32_t> m_handles;
  RegKeyHandle m_nextHandle = 0x1000;
  std::vector<Write> m_writes;
  std::size_t m_writesDone = SIZE_MAX;
  std::size_t m_writesRefused = 0;
};

}  // namespace zt::test
