#include "settings/serial_ports.h"

#include <algorithm>
#include <cctype>
#include <cstdint>

#include "platform/comm_device.h"

namespace zt::settings {
namespace {

bool IsDigit(char c) {
  return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

char Folded(char c) {
  return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

// The digits of name from at on, without leading zeros; at ends past them.
std::string NumberAt(const std::string& name, std::size_t& at) {
  while (at < name.size() && name[at] == '0' && at + 1 < name.size() && IsDigit(name[at + 1])) {
    ++at;
  }
  const std::size_t begin = at;
  while (at < name.size() && IsDigit(name[at])) {
    ++at;
  }
  return name.substr(begin, at - begin);
}

// The string data of one REG_SZ value, without the NULs it may end with.
std::string StringData(const char* data, std::uint32_t size) {
  std::string text(data, size);
  text.erase(std::find(text.begin(), text.end(), '\0'), text.end());
  return text;
}

}  // namespace

bool NaturalLess(const std::string& a, const std::string& b) {
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < a.size() && j < b.size()) {
    if (IsDigit(a[i]) && IsDigit(b[j])) {
      const std::string x = NumberAt(a, i);
      const std::string y = NumberAt(b, j);
      if (x != y) {
        return x.size() != y.size() ? x.size() < y.size() : x < y;
      }
      continue;
    }
    if (Folded(a[i]) != Folded(b[j])) {
      return Folded(a[i]) < Folded(b[j]);
    }
    ++i;
    ++j;
  }
  return a.size() - i != b.size() - j ? a.size() - i < b.size() - j : a < b;
}

std::vector<std::string> ListSerialPorts(IRegistry& registry, const std::string& storedPort) {
  std::vector<std::string> ports;
  RegKeyHandle key = kNoRegKey;
  if (registry.OpenKey(reg::kHkeyLocalMachine, kSerialDeviceMap, reg::kKeyQueryValue, key) ==
      reg::kErrorSuccess) {
    for (std::uint32_t index = 0;; ++index) {
      char name[256] = {};
      char data[256] = {};
      std::uint32_t nameSize = sizeof name;
      std::uint32_t size = sizeof data;
      std::uint32_t type = 0;
      const std::int32_t status = registry.EnumValue(key, index, name, nameSize, type, data, size);
      if (status == reg::kErrorNoMoreItems) {
        break;
      }
      if (status == reg::kErrorSuccess && type == reg::kRegSz && size <= sizeof data) {
        ports.push_back(StringData(data, size));
      } else if (status != reg::kErrorSuccess && status != reg::kErrorMoreData) {
        break;
      }
    }
    registry.CloseKey(key);
  }
  ports.push_back(storedPort);
  std::sort(ports.begin(), ports.end(), NaturalLess);
  std::vector<std::string> listed;
  for (const std::string& port : ports) {
    const auto same = [&](const std::string& other) { return IsSamePort(port, other); };
    if (!port.empty() && std::none_of(listed.begin(), listed.end(), same)) {
      listed.push_back(port);
    }
  }
  return listed;
}

}  // namespace zt::settings
