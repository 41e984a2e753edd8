#include "platform/linux/config_file_registry.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <utility>

namespace zt {
namespace {

constexpr char kSettingsPath[] = "Software\\Corvantic\\ZeltraTouch";
constexpr RegKeyHandle kTheKey = 1;
std::string Trimmed(const std::string& text) {
  const auto begin = text.find_first_not_of(" \t\r");
  const auto end = text.find_last_not_of(" \t\r");
  return begin == std::string::npos ? std::string() : text.substr(begin, end - begin + 1);
}

// A number of 32 bits, decimal or hexadecimal: its four bytes, low first.
bool ParseNumber(const std::string& text, std::string& bytes) {
  if (text.empty() || text[0] == '-' || text[0] == '+') {
    return false;
  }
  errno = 0;
  char* end = nullptr;
  const unsigned long long value = std::strtoull(text.c_str(), &end, 0);
  if (errno != 0 || *end != '\0' || value > 0xFFFFFFFFULL) {
    return false;
  }
  bytes.clear();
  for (int shift = 0; shift < 32; shift += 8) {
    bytes.push_back(static_cast<char>((value >> shift) & 0xFF));
  }
  return true;
}

std::string NumberText(const unsigned char* bytes) {
  const std::uint32_t value = std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 |
                              std::uint32_t{bytes[2]} << 16 | std::uint32_t{bytes[3]} << 24;
  return std::to_string(value);
}

}  // namespace

ConfigFileRegistry::ConfigFileRegistry(std::string path, std::set<std::string> textNames, ILog* log)
    : m_path(std::move(path)), m_textNames(std::move(textNames)), m_log(log) {}

std::int32_t ConfigFileRegistry::OpenKey(RegKeyHandle root, const char* subKey,
                                         std::uint32_t access, RegKeyHandle& key) {
  const std::lock_guard<std::mutex> lock(m_mutex);
  if (root != reg::kHkeyLocalMachine || subKey == nullptr ||
      std::strcmp(subKey, kSettingsPath) != 0 || !Load()) {
    return reg::kErrorFileNotFound;
  }
  if ((access & reg::kKeySetValue) != 0 && ::access(m_path.c_str(), W_OK) != 0) {
    return reg::kErrorAccessDenied;
  }
  key = kTheKey;
  ++m_openKeys;
  return reg::kErrorSuccess;
}

bool ConfigFileRegistry::Load() {
  std::ifstream file(m_path);
  if (!file) {
    return false;
  }
  m_lines.clear();
  std::size_t number = 0;
  for (std::string text; std::getline(file, text);) {
    m_lines.push_back(Parse(text, ++number));
  }
  return true;
}

ConfigFileRegistry::Line ConfigFileRegistry::Parse(const std::string& text, std::size_t number) {
  Line line{text, "", 0, ""};
  const std::string content = Trimmed(text);
  if (content.empty() || content[0] == '#') {
    return line;
  }
  const auto equals = content.find('=');
  const std::string name = equals == std::string::npos ? "" : Trimmed(content.substr(0, equals));
  const std::string value = equals == std::string::npos ? "" : Trimmed(content.substr(equals + 1));
  const char* why = equals == std::string::npos ? "no \"=\"" : name.empty() ? "no name" : nullptr;
  if (why == nullptr && m_textNames.count(name) != 0) {
    line = {text, name, reg::kRegSz, value};
  } else if (why == nullptr && ParseNumber(value, line.value)) {
    line = {text, name, reg::kRegDword, line.value};
  } else {
    why = why != nullptr ? why : "not a number from 0 to 4294967295; its default holds";
  }
  const std::string report =
      m_path + ":" + std::to_string(number) + ": " + name + ": " + (why == nullptr ? "" : why);
  if (why != nullptr && m_log != nullptr && m_reported.insert(report + text).second) {
    m_log->Write(report);
  }
  return line;
}

ConfigFileRegistry::Line* ConfigFileRegistry::Find(const std::string& name) {
  const auto found = std::find_if(m_lines.rbegin(), m_lines.rend(),
                                  [&](const Line& line) { return line.name == name; });
  return found == m_lines.rend() ? nullptr : &*found;
}

std::int32_t ConfigFileRegistry::QueryValue(RegKeyHandle key, const char* name, std::uint32_t& type,
                                            void* data, std::uint32_t& size) {
  const std::lock_guard<std::mutex> lock(m_mutex);
  const Line* line = key == kTheKey && name != nullptr ? Find(name) : nullptr;
  if (line == nullptr) {
    return reg::kErrorFileNotFound;
  }
  // A string is stored with its terminating NUL, as the registry does.
  const std::string bytes = line->type == reg::kRegSz ? line->value + '\0' : line->value;
  const std::uint32_t capacity = std::exchange(size, static_cast<std::uint32_t>(bytes.size()));
  type = line->type;
  if (data != nullptr && size > capacity) {
    return reg::kErrorMoreData;
  }
  if (data != nullptr) {
    std::memcpy(data, bytes.data(), bytes.size());
  }
  return reg::kErrorSuccess;
}

std::int32_t ConfigFileRegistry::SetValue(RegKeyHandle key, const char* name, std::uint32_t type,
                                          const void* data, std::uint32_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  std::string value;
  if (type == reg::kRegDword && size == 4) {
    value = NumberText(bytes);
  } else if (type == reg::kRegSz) {
    value.assign(reinterpret_cast<const char*>(bytes), size);
    value.erase(std::find(value.begin(), value.end(), '\0'), value.end());
  }
  const bool fits = type == reg::kRegDword ? size == 4 : type == reg::kRegSz;
  if (key != kTheKey || name == nullptr || !fits || value.find('\n') != std::string::npos) {
    return reg::kErrorInvalidParameter;
  }
  const std::lock_guard<std::mutex> lock(m_mutex);
  const std::string text = std::string(name) + "=" + value;
  Line* line = Find(name);
  if (line != nullptr) {
    *line = Parse(text, 0);
  } else {
    m_lines.push_back(Parse(text, 0));
  }
  return Save() ? reg::kErrorSuccess : reg::kErrorAccessDenied;
}

// Written beside the file and renamed over it: the rename is atomic.
bool ConfigFileRegistry::Save() const {
  const std::string temporary = m_path + ".new";
  {
    std::ofstream file(temporary, std::ios::trunc);
    for (const Line& line : m_lines) {
      file << line.text << '\n';
    }
    file.flush();
    if (!file) {
      ::unlink(temporary.c_str());
      return false;
    }
  }
  const int fd = ::open(temporary.c_str(), O_RDONLY | O_CLOEXEC);
  const bool synced = fd >= 0 && ::fsync(fd) == 0;
  if (fd >= 0) {
    ::close(fd);
  }
  if (!synced || std::rename(temporary.c_str(), m_path.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return false;
  }
  return true;
}

std::int32_t ConfigFileRegistry::EnumValue(RegKeyHandle, std::uint32_t, char*, std::uint32_t&,
                                           std::uint32_t&, void*, std::uint32_t&) {
  return reg::kErrorNoMoreItems;
}

std::int32_t ConfigFileRegistry::CloseKey(RegKeyHandle key) {
  const std::lock_guard<std::mutex> lock(m_mutex);
  if (key != kTheKey || m_openKeys == 0) {
    return reg::kErrorInvalidHandle;
  }
  --m_openKeys;
  return reg::kErrorSuccess;
}

}  // namespace zt
