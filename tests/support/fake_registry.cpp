#include "fake_registry.h"

#include <cstring>
#include <utility>

namespace zt::test {

using Lock = std::lock_guard<std::mutex>;

std::vector<std::uint8_t> DwordBytes(std::uint32_t value) {
  return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
          static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
}

void FakeRegistry::CreateKey(RegKeyHandle root, const std::string& path) {
  Lock lock(m_mutex);
  m_keys[{root, path}];
}

void FakeRegistry::DeleteKey(RegKeyHandle root, const std::string& path) {
  Lock lock(m_mutex);
  m_keys.erase({root, path});
}

void FakeRegistry::SetReadOnly(RegKeyHandle root, const std::string& path, bool readOnly) {
  Lock lock(m_mutex);
  m_keys[{root, path}].readOnly = readOnly;
}

void FakeRegistry::Put(RegKeyHandle root, const std::string& path, const std::string& name,
                       std::uint32_t type, std::vector<std::uint8_t> data) {
  Lock lock(m_mutex);
  m_keys[{root, path}].values[name] = Value{type, std::move(data)};
}

void FakeRegistry::PutDword(RegKeyHandle root, const std::string& path, const std::string& name,
                            std::uint32_t value) {
  Put(root, path, name, reg::kRegDword, DwordBytes(value));
}

void FakeRegistry::PutQword(RegKeyHandle root, const std::string& path, const std::string& name,
                            std::uint64_t value) {
  std::vector<std::uint8_t> bytes = DwordBytes(static_cast<std::uint32_t>(value));
  const std::vector<std::uint8_t> high = DwordBytes(static_cast<std::uint32_t>(value >> 32));
  bytes.insert(bytes.end(), high.begin(), high.end());
  Put(root, path, name, reg::kRegQword, std::move(bytes));
}

void FakeRegistry::PutString(RegKeyHandle root, const std::string& path, const std::string& name,
                             const std::string& text, bool withNul) {
  std::vector<std::uint8_t> bytes(text.begin(), text.end());
  if (withNul) {
    bytes.push_back(0);
  }
  Put(root, path, name, reg::kRegSz, std::move(bytes));
}

std::optional<FakeRegistry::Value> FakeRegistry::Get(RegKeyHandle root, const std::string& path,
                                                     const std::string& name) const {
  Lock lock(m_mutex);
  const auto key = m_keys.find({root, path});
  if (key == m_keys.end()) {
    return std::nullopt;
  }
  const auto value = key->second.values.find(name);
  if (value == key->second.values.end()) {
    return std::nullopt;
  }
  return value->second;
}

std::vector<FakeRegistry::Write> FakeRegistry::Writes() const {
  Lock lock(m_mutex);
  return m_writes;
}

std::vector<std::string> FakeRegistry::Queries() const {
  Lock lock(m_mutex);
  return m_queries;
}

int FakeRegistry::OpenHandleCount() const {
  Lock lock(m_mutex);
  return static_cast<int>(m_handles.size());
}

std::int32_t FakeRegistry::OpenKey(RegKeyHandle root, const char* subKey, std::uint32_t access,
                                   RegKeyHandle& key) {
  Lock lock(m_mutex);
  const auto found = m_keys.find({root, subKey == nullptr ? "" : subKey});
  if (found == m_keys.end()) {
    return reg::kErrorFileNotFound;
  }
  if (found->second.readOnly && (access & reg::kKeySetValue) != 0) {
    return reg::kErrorAccessDenied;
  }
  key = m_nextHandle++;
  m_handles[key] = OpenHandle{found->first, access};
  return reg::kErrorSuccess;
}

std::int32_t FakeRegistry::QueryValue(RegKeyHandle key, const char* name, std::uint32_t& type,
                                      void* data, std::uint32_t& size) {
  Lock lock(m_mutex);
  m_queries.emplace_back(name == nullptr ? "" : name);
  const auto handle = m_handles.find(key);
  if (handle == m_handles.end()) {
    return reg::kErrorInvalidHandle;
  }
  if ((handle->second.access & reg::kKeyQueryValue) == 0) {
    return reg::kErrorAccessDenied;
  }
  const auto keyFound = m_keys.find(handle->second.key);
  if (keyFound == m_keys.end()) {
    return reg::kErrorFileNotFound;
  }
  const auto value = keyFound->second.values.find(name == nullptr ? "" : name);
  if (value == keyFound->second.values.end()) {
    return reg::kErrorFileNotFound;
  }
  const auto stored = static_cast<std::uint32_t>(value->second.data.size());
  type = value->second.type;
  const std::uint32_t capacity = size;
  size = stored;
  if (data == nullptr) {
    return reg::kErrorSuccess;
  }
  if (stored > capacity) {
    return reg::kErrorMoreData;
  }
  if (stored > 0) {
    std::memcpy(data, value->second.data.data(), stored);
  }
  return reg::kErrorSuccess;
}

std::int32_t FakeRegistry::SetValue(RegKeyHandle key, const char* name, std::uint32_t type,
                                    const void* data, std::uint32_t size) {
  Lock lock(m_mutex);
  const auto handle = m_handles.find(key);
  if (handle == m_handles.end()) {
    return reg::kErrorInvalidHandle;
  }
  if ((handle->second.access & reg::kKeySetValue) == 0) {
    return reg::kErrorAccessDenied;
  }
  const auto keyFound = m_keys.find(handle->second.key);
  if (keyFound == m_keys.end() || keyFound->second.readOnly) {
    return reg::kErrorAccessDenied;
  }
  if (data == nullptr && size > 0) {
    return reg::kErrorInvalidParameter;
  }
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  std::vector<std::uint8_t> stored(bytes, bytes + size);
  const std::string valueName = name == nullptr ? "" : name;
  keyFound->second.values[valueName] = Value{type, stored};
  m_writes.push_back(Write{valueName, type, std::move(stored)});
  return reg::kErrorSuccess;
}

std::int32_t FakeRegistry::CloseKey(RegKeyHandle key) {
  Lock lock(m_mutex);
  return m_handles.erase(key) == 1 ? reg::kErrorSuccess : reg::kErrorInvalidHandle;
}

}  // namespace zt::test
