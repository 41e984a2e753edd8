#include "platform/linux/config_file_registry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <utility>

#include "platform/linux/posix_file_replacer.h"

namespace zt {
namespace {

constexpr char kSettingsPath[] = "Software\\Corvantic\\ZeltraTouch";
constexpr std::uint64_t kMaxDword = 0xFFFFFFFFULL;

std::string Trimmed(const std::string& text) {
  const auto begin = text.find_first_not_of(" \t\r");
  const auto end = text.find_last_not_of(" \t\r");
  return begin == std::string::npos ? std::string() : text.substr(begin, end - begin + 1);
}

// A number's four bytes, low first.
std::string DwordBytes(std::uint64_t value) {
  std::string bytes;
  for (int shift = 0; shift < 32; shift += 8) {
    bytes.push_back(static_cast<char>((value >> shift) & 0xFF));
  }
  return bytes;
}

std::string NumberText(const unsigned char* bytes) {
  const std::uint32_t value = std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 |
                              std::uint32_t{bytes[2]} << 16 | std::uint32_t{bytes[3]} << 24;
  return std::to_string(value);
}

// The drop-ins of folder, in name order.
std::vector<std::string> DropIns(const std::string& folder) {
  std::vector<std::string> paths;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    if (entry.path().extension() == ".conf" && entry.is_regular_file(error)) {
      paths.push_back(entry.path().string());
    }
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

bool SyncFolder(const std::string& path) {
  const std::string folder = std::filesystem::path(path).parent_path().string();
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  const bool synced = fd >= 0 && ::fsync(fd) == 0;
  if (fd >= 0) {
    ::close(fd);
  }
  return synced;
}

}  // namespace

bool ParseNumber(const std::string& text, std::uint64_t max, std::uint64_t& value) {
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const std::string digits = hex ? text.substr(2) : text;
  if (digits.empty() || !std::all_of(digits.begin(), digits.end(), [hex](char c) {
        return hex ? std::isxdigit(static_cast<unsigned char>(c)) != 0
                   : std::isdigit(static_cast<unsigned char>(c)) != 0;
      })) {
    return false;
  }
  errno = 0;
  const unsigned long long read = std::strtoull(digits.c_str(), nullptr, hex ? 16 : 10);
  if (errno != 0 || read > max) {
    return false;
  }
  value = read;
  return true;
}

ConfigFileRegistry::ConfigFileRegistry(ConfigFiles files, std::set<std::string> textNames,
                                       ILog* log)
    : m_files(std::move(files)), m_textNames(std::move(textNames)), m_log(log) {}

std::int32_t ConfigFileRegistry::OpenKey(RegKeyHandle root, const char* subKey,
                                         std::uint32_t access, RegKeyHandle& key) {
  const std::lock_guard<std::mutex> lock(m_mutex);
  if (root != reg::kHkeyLocalMachine || subKey == nullptr ||
      std::strcmp(subKey, kSettingsPath) != 0 || !Load()) {
    return reg::kErrorFileNotFound;
  }
  key = m_nextKey++;
  if ((access & reg::kKeySetValue) != 0) {
    m_writeKeys[key];
  } else {
    m_readKeys.insert(key);
  }
  return reg::kErrorSuccess;
}

bool ConfigFileRegistry::Load() {
  m_sources.clear();
  std::vector<std::string> paths = {m_files.config};
  if (!m_files.dropIns.empty()) {
    const std::vector<std::string> dropIns = DropIns(m_files.dropIns);
    paths.insert(paths.end(), dropIns.begin(), dropIns.end());
  }
  paths.push_back(m_files.state);
  bool found = false;
  for (const std::string& path : paths) {
    if (!path.empty() && !LoadFile(path, found)) {
      return false;
    }
  }
  if (m_sources.empty() || m_sources.back().path != m_files.state) {
    m_sources.push_back({m_files.state, {}});  // nothing stored yet
  }
  return found;
}

// A file that is not there adds nothing. One that cannot be read is said
// once and passed over, so that the others still count; only the state
// file fails, since a store would otherwise replace what it holds.
bool ConfigFileRegistry::LoadFile(const std::string& path, bool& found) {
  std::error_code error;
  if (!std::filesystem::exists(path, error) && !error) {
    return true;
  }
  std::ifstream file(path);
  if (!file) {
    const char* why = std::strerror(errno);
    const bool state = path == m_files.state;
    const std::string report =
        "cannot read " + path + ": " + why +
        (state ? "; no setting is read until it can be" : "; its values are not used");
    if (m_log != nullptr && m_reported.insert(report).second) {
      m_log->Write(report);
    }
    return !state;
  }
  found = true;
  Source source{path, {}};
  std::size_t number = 0;
  for (std::string text; std::getline(file, text);) {
    source.lines.push_back(Parse(text, path, ++number));
  }
  m_sources.push_back(std::move(source));
  return true;
}

ConfigFileRegistry::Line ConfigFileRegistry::Parse(const std::string& text, const std::string& path,
                                                   std::size_t number) {
  Line line{text, "", 0, ""};
  const std::string content = Trimmed(text);
  if (content.empty() || content[0] == '#') {
    return line;
  }
  const auto equals = content.find('=');
  const std::string name = equals == std::string::npos ? "" : Trimmed(content.substr(0, equals));
  const std::string value = equals == std::string::npos ? "" : Trimmed(content.substr(equals + 1));
  const char* why = equals == std::string::npos ? "no \"=\"" : name.empty() ? "no name" : nullptr;
  std::uint64_t number32 = 0;
  if (why == nullptr && m_textNames.count(name) != 0) {
    line = {text, name, reg::kRegSz, value};
  } else if (why == nullptr && ParseNumber(value, kMaxDword, number32)) {
    line = {text, name, reg::kRegDword, DwordBytes(number32)};
  } else {
    why = why != nullptr ? why : "not a number from 0 to 4294967295; its default holds";
  }
  const std::string report =
      path + ":" + std::to_string(number) + ": " + name + ": " + (why == nullptr ? "" : why);
  if (why != nullptr && m_log != nullptr && m_reported.insert(report + text).second) {
    m_log->Write(report);
  }
  return line;
}

const ConfigFileRegistry::Line* ConfigFileRegistry::Find(const std::string& name,
                                                         const std::string** path) const {
  for (auto source = m_sources.rbegin(); source != m_sources.rend(); ++source) {
    const auto found = std::find_if(source->lines.rbegin(), source->lines.rend(),
                                    [&](const Line& line) { return line.name == name; });
    if (found != source->lines.rend()) {
      if (path != nullptr) {
        *path = &source->path;
      }
      return &*found;
    }
  }
  return nullptr;
}

std::vector<ConfigValue> ConfigFileRegistry::Values() {
  const std::lock_guard<std::mutex> lock(m_mutex);
  std::vector<ConfigValue> values;
  if (!Load()) {
    return values;
  }
  std::set<std::string> names;
  for (const Source& source : m_sources) {
    for (const Line& line : source.lines) {
      if (!line.name.empty()) {
        names.insert(line.name);
      }
    }
  }
  for (const std::string& name : names) {
    const std::string* path = nullptr;
    const Line* line = Find(name, &path);
    values.push_back({name,
                      line->type == reg::kRegSz
                          ? line->value
                          : NumberText(reinterpret_cast<const unsigned char*>(line->value.data())),
                      *path});
  }
  return values;
}

bool ConfigFileRegistry::Has(const std::string& name) {
  const std::lock_guard<std::mutex> lock(m_mutex);
  return Load() && Find(name) != nullptr;
}

std::int32_t ConfigFileRegistry::QueryValue(RegKeyHandle key, const char* name, std::uint32_t& type,
                                            void* data, std::uint32_t& size) {
  const std::lock_guard<std::mutex> lock(m_mutex);
  const bool open = m_readKeys.count(key) != 0 || m_writeKeys.count(key) != 0;
  const Line* line = open && name != nullptr ? Find(name) : nullptr;
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
  const std::lock_guard<std::mutex> lock(m_mutex);
  const auto writing = m_writeKeys.find(key);
  if (m_readKeys.count(key) != 0) {
    return reg::kErrorAccessDenied;
  }
  if (writing == m_writeKeys.end() || name == nullptr || name[0] == '\0' || !fits ||
      value.find('\n') != std::string::npos || std::strchr(name, '=') != nullptr) {
    return reg::kErrorInvalidParameter;
  }
  auto& values = writing->second;
  const auto set = std::find_if(values.begin(), values.end(),
                                [&](const auto& named) { return named.first == name; });
  if (set != values.end()) {
    set->second = value;
  } else {
    values.emplace_back(name, value);
  }
  return reg::kErrorSuccess;
}

std::int32_t ConfigFileRegistry::CloseKey(RegKeyHandle key) {
  const std::lock_guard<std::mutex> lock(m_mutex);
  if (m_readKeys.erase(key) != 0) {
    return reg::kErrorSuccess;
  }
  const auto writing = m_writeKeys.find(key);
  if (writing == m_writeKeys.end()) {
    return reg::kErrorInvalidHandle;
  }
  const std::vector<std::pair<std::string, std::string>> values = std::move(writing->second);
  m_writeKeys.erase(writing);
  if (values.empty()) {
    return reg::kErrorSuccess;
  }
  // The state file as it is now, with the values set through this key.
  bool found = false;
  std::vector<Line> lines;
  if (!LoadFile(m_files.state, found)) {
    return reg::kErrorAccessDenied;
  }
  if (found) {
    lines = std::move(m_sources.back().lines);
    m_sources.pop_back();
  }
  for (const auto& value : values) {
    const std::string& name = value.first;
    const auto line = std::find_if(lines.rbegin(), lines.rend(),
                                   [&](const Line& old) { return old.name == name; });
    Line stored = Parse(name + "=" + value.second, m_files.state, 0);
    if (line != lines.rend()) {
      *line = std::move(stored);
    } else {
      lines.push_back(std::move(stored));
    }
  }
  return Save(lines) ? reg::kErrorSuccess : reg::kErrorAccessDenied;
}

std::int32_t ConfigFileRegistry::DeleteValue(RegKeyHandle, const char*) {
  return reg::kErrorAccessDenied;
}

std::int32_t ConfigFileRegistry::EnumValue(RegKeyHandle, std::uint32_t, char*, std::uint32_t&,
                                           std::uint32_t&, void*, std::uint32_t&) {
  return reg::kErrorNoMoreItems;
}

// Written beside the file and renamed over it: the rename is atomic. The
// file beside is made anew (a link or file someone left there is removed,
// never followed), and takes the old file's mode and owner.
bool ConfigFileRegistry::Save(const std::vector<Line>& lines) const {
  const std::string& path = m_files.state;
  std::string text;
  for (const Line& line : lines) {
    text += line.text + '\n';
  }
  struct stat old {};
  const bool hadFile = ::stat(path.c_str(), &old) == 0;
  // Only root may give a file away; the daemon's own file keeps its owner.
  const FileOwner owner{old.st_uid, old.st_gid};
  const bool givenAway = hadFile && (old.st_uid != ::geteuid() || old.st_gid != ::getegid());
  return ReplaceBeside(path, text, hadFile ? old.st_mode & 07777 : 0600,
                       givenAway ? &owner : nullptr)
             .empty() &&
         SyncFolder(path);
}

}  // namespace zt
