#pragma once

#include "platform/registry.h"

namespace zt {

// IRegistry over RegOpenKeyExA, RegQueryValueExA, RegSetValueExA,
// RegDeleteValueA, RegEnumValueA and RegCloseKey.
class Win32Registry final : public IRegistry {
public:
  std::int32_t OpenKey(RegKeyHandle root, const char* subKey, std::uint32_t access,
                       RegKeyHandle& key) override;
  std::int32_t QueryValue(RegKeyHandle key, const char* name, std::uint32_t& type, void* data,
                          std::uint32_t& size) override;
  std::int32_t SetValue(RegKeyHandle key, const char* name, std::uint32_t type, const void* data,
                        std::uint32_t size) override;
  std::int32_t DeleteValue(RegKeyHandle key, const char* name) override;
  std::int32_t EnumValue(RegKeyHandle key, std::uint32_t index, char* name, std::uint32_t& nameSize,
                         std::uint32_t& type, void* data, std::uint32_t& size) override;
  std::int32_t CloseKey(RegKeyHandle key) override;
};

}  // namespace zt
