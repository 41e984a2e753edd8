#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/log.h"
#include "platform/registry.h"

namespace zt {

// A whole number up to max, decimal or hexadecimal after "0x" (a leading
// zero is still decimal), and nothing else.
bool ParseNumber(const std::string& text, std::uint64_t max, std::uint64_t& value);

// Where the settings come from, in the order they are read (a later file's
// line wins): the admin's config, the drop-ins of a directory (its *.conf
// in name order; none when empty), then the state file, the only one
// written.
struct ConfigFiles {
  std::string config;
  std::string dropIns;
  std::string state;
};

// A value in force, as its file's line gives it, and that file.
struct ConfigValue {
  std::string name;
  std::string value;
  std::string path;
};

// The settings key as text files of Name=Value lines with the registry
// values' names, "#" comments and lines it does not know. Opening the key
// (HKLM\Software\Corvantic\ZeltraTouch; no other) reads the files afresh;
// the key is there when one of them is. The values named as text are
// strings; every other value is a number up to 4 294 967 295. A line that
// cannot be read (no "=", an empty name, a number that is not one) is
// named in the log once, with its file, number, key and why, and the value
// keeps its default; a name given twice takes its last line.
// The values set through one key opened for writing are stored when it is
// closed, all in one write of the state file (CloseKey fails when that
// write does): each replaces the text of its line, or comes as a new line
// at the end, keeping comments, order and unknown lines. The file is
// written anew beside itself (a new file, never one found there, with the
// old one's mode and owner), synced, and renamed over the old one, and the
// directory synced: a reader or a power cut sees the old set or the new
// one. There is no value list (EnumValue).
class ConfigFileRegistry final : public IRegistry {
public:
  ConfigFileRegistry(ConfigFiles files, std::set<std::string> textNames, ILog* log);

  std::int32_t OpenKey(RegKeyHandle root, const char* subKey, std::uint32_t access,
                       RegKeyHandle& key) override;
  std::int32_t QueryValue(RegKeyHandle key, const char* name, std::uint32_t& type, void* data,
                          std::uint32_t& size) override;
  std::int32_t SetValue(RegKeyHandle key, const char* name, std::uint32_t type, const void* data,
                        std::uint32_t size) override;
  // Refused (kErrorAccessDenied): a value is removed by editing the file
  // that sets it, since another file may still set it.
  std::int32_t DeleteValue(RegKeyHandle key, const char* name) override;
  std::int32_t EnumValue(RegKeyHandle key, std::uint32_t index, char* name, std::uint32_t& nameSize,
                         std::uint32_t& type, void* data, std::uint32_t& size) override;
  std::int32_t CloseKey(RegKeyHandle key) override;

  // The file stores go to.
  const std::string& Path() const { return m_files.state; }
  // Every value the files set, by name, read afresh.
  std::vector<ConfigValue> Values();
  // Whether a file names the value (with a readable line), read afresh.
  bool Has(const std::string& name);

private:
  struct Line {
    std::string text;  // as read, without its newline
    std::string name;  // empty: a comment, a blank or a bad line
    std::uint32_t type = 0;
    std::string value;  // the string, or the number's bytes
  };
  struct Source {
    std::string path;
    std::vector<Line> lines;
  };

  bool Load();
  bool LoadFile(const std::string& path, bool& found);
  Line Parse(const std::string& text, const std::string& path, std::size_t number);
  // The line in force for name (the last of the last file that gives it).
  const Line* Find(const std::string& name, const std::string** path = nullptr) const;
  bool Save(const std::vector<Line>& lines) const;

  const ConfigFiles m_files;
  const std::set<std::string> m_textNames;
  ILog* m_log;
  std::mutex m_mutex;                // the settings may be read and stored from several threads
  std::vector<Source> m_sources;     // in reading order; the last is the state file
  std::set<std::string> m_reported;  // bad lines already in the log
  std::set<RegKeyHandle> m_readKeys;
  // Each key opened for writing: its values set so far, name and value, in
  // the order they were first set.
  std::map<RegKeyHandle, std::vector<std::pair<std::string, std::string>>> m_writeKeys;
  RegKeyHandle m_nextKey = 1;
};

}  // namespace zt
