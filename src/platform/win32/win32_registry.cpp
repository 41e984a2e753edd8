#include "platform/win32/win32_registry.h"

#include <windows.h>

namespace zt {
namespace {

HKEY ToHkey(RegKeyHandle key) {
  return reinterpret_cast<HKEY>(key);
}

}  // namespace

std::int32_t Win32Registry::OpenKey(RegKeyHandle root, const char* subKey, std::uint32_t access,
                                    RegKeyHandle& key) {
  HKEY opened = nullptr;
  const LONG status = ::RegOpenKeyExA(ToHkey(root), subKey, 0, access, &opened);
  if (status == ERROR_SUCCESS) {
    key = reinterpret_cast<RegKeyHandle>(opened);
  }
  return status;
}

std::int32_t Win32Registry::QueryValue(RegKeyHandle key, const char* name, std::uint32_t& type,
                                       void* data, std::uint32_t& size) {
  DWORD storedType = 0;
  DWORD byteCount = size;
  const LONG status = ::RegQueryValueExA(ToHkey(key), name, nullptr, &storedType,
                                         static_cast<BYTE*>(data), &byteCount);
  type = storedType;
  size = byteCount;
  return status;
}

std::int32_t Win32Registry::SetValue(RegKeyHandle key, const char* name, std::uint32_t type,
                                     const void* data, std::uint32_t size) {
  return ::RegSetValueExA(ToHkey(key), name, 0, type, static_cast<const BYTE*>(data), size);
}

std::int32_t Win32Registry::DeleteValue(RegKeyHandle key, const char* name) {
  return ::RegDeleteValueA(ToHkey(key), name);
}

std::int32_t Win32Registry::EnumValue(RegKeyHandle key, std::uint32_t index, char* name,
                                      std::uint32_t& nameSize, std::uint32_t& type, void* data,
                                      std::uint32_t& size) {
  DWORD nameCount = nameSize;
  DWORD storedType = 0;
  DWORD byteCount = size;
  const LONG status = ::RegEnumValueA(ToHkey(key), index, name, &nameCount, nullptr, &storedType,
                                      static_cast<BYTE*>(data), &byteCount);
  nameSize = nameCount;
  type = storedType;
  size = byteCount;
  return status;
}

std::int32_t Win32Registry::CloseKey(RegKeyHandle key) {
  return ::RegCloseKey(ToHkey(key));
}

}  // namespace zt
