#pragma once

#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/log.h"
#include "platform/registry.h"

namespace zt {

// The settings key as a text file of Name=Value lines with the registry
// values' names, "#" comments and lines it does not know, so that the
// settings store reads and writes it unchanged. Opening the key
// (HKLM\Software\Corvantic\ZeltraTouch; no other) reads the file afresh.
// The values named as text are strings; every other value is a number
// (decimal, or hexadecimal after 0x) up to 4 294 967 295. A line that
// cannot be read (no "=", an empty name, a number that is not one) is
// named in the log once, with its number, key and why, and the value keeps
// its default; a name given twice takes its last line. A
// stored value replaces the text of its line, or comes as a new line at
// the end; the file is written anew beside itself and renamed over the
// old one, so a reader never sees half of it, and comments, order and
// unknown lines stay as they were. There is no value list (EnumValue).
class ConfigFileRegistry final : public IRegistry {
public:
  ConfigFileRegistry(std::string path, std::set<std::string> textNames, ILog* log);

  std::int32_t OpenKey(RegKeyHandle root, const char* subKey, std::uint32_t access,
                       RegKeyHandle& key) override;
  std::int32_t QueryValue(RegKeyHandle key, const char* name, std::uint32_t& type, void* data,
                          std::uint32_t& size) override;
  std::int32_t SetValue(RegKeyHandle key, const char* name, std::uint32_t type, const void* data,
                        std::uint32_t size) override;
  std::int32_t EnumValue(RegKeyHandle key, std::uint32_t index, char* name, std::uint32_t& nameSize,
                         std::uint32_t& type, void* data, std::uint32_t& size) override;
  std::int32_t CloseKey(RegKeyHandle key) override;
  const std::string& Path() const { return m_path; }

private:
  struct Line {
    std::string text;  // as read, without its newline
    std::string name;  // empty: a comment, a blank or a bad line
    std::uint32_t type = 0;
    std::string value;  // the string, or the number's bytes
  };

  bool Load();
  Line Parse(const std::string& text, std::size_t number);
  // The last line that gives name, or nullptr.
  Line* Find(const std::string& name);
  bool Save() const;

  const std::string m_path;
  const std::set<std::string> m_textNames;
  ILog* m_log;
  std::mutex m_mutex;  // the settings may be read and stored from several threads
  std::vector<Line> m_lines;
  std::set<std::string> m_reported;  // bad lines already in the log
  int m_openKeys = 0;
};

}  // namespace zt
