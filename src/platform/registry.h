#pragma once

#include <cstdint>

namespace zt {

// Opaque registry key handle; kNoRegKey means none. The predefined root keys
// carry the platform's own values, so they pass through unchanged.
using RegKeyHandle = std::uintptr_t;
inline constexpr RegKeyHandle kNoRegKey = 0;

namespace reg {
// The platform defines its root keys as sign-extended 32-bit values.
inline constexpr RegKeyHandle RootKey(std::int32_t value) {
  return static_cast<RegKeyHandle>(static_cast<std::intptr_t>(value));
}
inline constexpr RegKeyHandle kHkeyCurrentUser = RootKey(-2147483647);   // 0x80000001
inline constexpr RegKeyHandle kHkeyLocalMachine = RootKey(-2147483646);  // 0x80000002

// Access rights.
inline constexpr std::uint32_t kKeyQueryValue = 0x0001;
inline constexpr std::uint32_t kKeySetValue = 0x0002;

// Value types.
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegQword = 11;

// Status codes of the registry calls.
inline constexpr std::int32_t kErrorSuccess = 0;
inline constexpr std::int32_t kErrorFileNotFound = 2;
inline constexpr std::int32_t kErrorAccessDenied = 5;
inline constexpr std::int32_t kErrorInvalidHandle = 6;
inline constexpr std::int32_t kErrorInvalidParameter = 87;
inline constexpr std::int32_t kErrorMoreData = 234;
inline constexpr std::int32_t kErrorNoMoreItems = 259;
}  // namespace reg

// The platform's registry calls, one method per call. Each returns the
// call's status code, reg::kErrorSuccess on success.
class IRegistry {
public:
  virtual ~IRegistry() = default;

  // RegOpenKeyExA(root, subKey, 0, access, &key): opens an existing key,
  // never creates one. key is set only on success.
  virtual std::int32_t OpenKey(RegKeyHandle root, const char* subKey, std::uint32_t access,
                               RegKeyHandle& key) = 0;
  // RegQueryValueExA(key, name, nullptr, &type, data, &size). On entry size
  // is the capacity of data; on success it holds the bytes stored and type
  // the stored type. A value larger than the capacity gives kErrorMoreData.
  virtual std::int32_t QueryValue(RegKeyHandle key, const char* name, std::uint32_t& type,
                                  void* data, std::uint32_t& size) = 0;
  // RegSetValueExA(key, name, 0, type, data, size).
  virtual std::int32_t SetValue(RegKeyHandle key, const char* name, std::uint32_t type,
                                const void* data, std::uint32_t size) = 0;
  // RegDeleteValueA(key, name): needs a key opened with kKeySetValue; a
  // value that is not there gives kErrorFileNotFound.
  virtual std::int32_t DeleteValue(RegKeyHandle key, const char* name) = 0;
  // RegEnumValueA(key, index, name, &nameSize, nullptr, &type, data,
  // &size): the value at index, kErrorNoMoreItems past the last. On entry
  // nameSize and size are the capacities (nameSize counts the NUL).
  virtual std::int32_t EnumValue(RegKeyHandle key, std::uint32_t index, char* name,
                                 std::uint32_t& nameSize, std::uint32_t& type, void* data,
                                 std::uint32_t& size) = 0;
  // RegCloseKey(key).
  virtual std::int32_t CloseKey(RegKeyHandle key) = 0;
};

}  // namespace zt
