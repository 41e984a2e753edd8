#pragma once

#include <cstdint>

#include "platform/registry.h"

namespace zt {

// One open registry key for the length of one load or save. Opens existing
// keys only; the destructor closes the key, also when a function returns
// early.
class CRegistryKey {
public:
  explicit CRegistryKey(IRegistry& registry);
  CRegistryKey(const CRegistryKey&) = delete;
  CRegistryKey& operator=(const CRegistryKey&) = delete;
  virtual ~CRegistryKey();

  // Fails without change when root is none, subKey is empty, the key cannot
  // be opened, or this object already holds an open key.
  bool Open(RegKeyHandle root, const char* subKey, std::uint32_t access);
  // Closes the key: false when the registry reports that the values set
  // through it could not be kept (a registry that stores them at the close).
  bool Close();
  bool IsOpen() const { return m_hKey != kNoRegKey; }

  // Reads the value's bytes, whatever its type, into buffer. size is the
  // capacity on entry and the bytes stored on success; a value larger than
  // the capacity fails.
  bool QueryValue(const char* name, void* buffer, std::uint32_t& size);
  // True only for a REG_DWORD of exactly four bytes; value is set only then.
  bool QueryDword(const char* name, std::int32_t& value);
  // Writes text as REG_SZ without its terminating NUL.
  bool SetString(const char* name, const char* text);
  // Writes a REG_DWORD of four little-endian bytes.
  bool SetDword(const char* name, std::int32_t value);

private:
  IRegistry& m_registry;
  RegKeyHandle m_hRootKey = kNoRegKey;
  RegKeyHandle m_hKey = kNoRegKey;
  std::uint32_t m_samDesired = 0;
};

}  // namespace zt
