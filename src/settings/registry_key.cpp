#include "settings/registry_key.h"

#include <cstring>
#include <limits>

namespace zt {
namespace {

constexpr std::uint32_t kDwordSize = 4;

}  // namespace

CRegistryKey::CRegistryKey(IRegistry& registry) : m_registry(registry) {}

CRegistryKey::~CRegistryKey() {
  Close();
}

bool CRegistryKey::Open(RegKeyHandle root, const char* subKey, std::uint32_t access) {
  if (IsOpen() || root == kNoRegKey || subKey == nullptr || subKey[0] == '\0') {
    return false;
  }
  RegKeyHandle opened = kNoRegKey;
  if (m_registry.OpenKey(root, subKey, access, opened) != reg::kErrorSuccess ||
      opened == kNoRegKey) {
    return false;
  }
  m_hRootKey = root;
  m_hKey = opened;
  m_samDesired = access;
  return true;
}

bool CRegistryKey::Close() {
  const bool closed = !IsOpen() || m_registry.CloseKey(m_hKey) == reg::kErrorSuccess;
  m_hKey = kNoRegKey;
  m_hRootKey = kNoRegKey;
  return closed;
}

bool CRegistryKey::QueryValue(const char* name, void* buffer, std::uint32_t& size) {
  if (!IsOpen()) {
    return false;
  }
  std::uint32_t type = 0;
  return m_registry.QueryValue(m_hKey, name, type, buffer, size) == reg::kErrorSuccess;
}

bool CRegistryKey::QueryDword(const char* name, std::int32_t& value) {
  if (!IsOpen()) {
    return false;
  }
  unsigned char bytes[kDwordSize] = {};
  std::uint32_t type = 0;
  std::uint32_t size = kDwordSize;
  if (m_registry.QueryValue(m_hKey, name, type, bytes, size) != reg::kErrorSuccess ||
      type != reg::kRegDword || size != kDwordSize) {
    return false;
  }
  const std::uint32_t bits = std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 |
                             std::uint32_t{bytes[2]} << 16 | std::uint32_t{bytes[3]} << 24;
  value = static_cast<std::int32_t>(bits);
  return true;
}

bool CRegistryKey::SetString(const char* name, const char* text) {
  if (!IsOpen() || text == nullptr) {
    return false;
  }
  const std::size_t length = std::strlen(text);
  if (length > std::numeric_limits<std::uint32_t>::max()) {
    return false;
  }
  return m_registry.SetValue(m_hKey, name, reg::kRegSz, text, static_cast<std::uint32_t>(length)) ==
         reg::kErrorSuccess;
}

bool CRegistryKey::SetDword(const char* name, std::int32_t value) {
  if (!IsOpen()) {
    return false;
  }
  const auto bits = static_cast<std::uint32_t>(value);
  const unsigned char bytes[kDwordSize] = {
      static_cast<unsigned char>(bits), static_cast<unsigned char>(bits >> 8),
      static_cast<unsigned char>(bits >> 16), static_cast<unsigned char>(bits >> 24)};
  return m_registry.SetValue(m_hKey, name, reg::kRegDword, bytes, kDwordSize) == reg::kErrorSuccess;
}

}  // namespace zt
