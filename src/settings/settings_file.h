// The settings file: the settings key as text, one "Name=Value" line per
// value with the registry values' names, "#" comments. The same text is the
// Linux config, so a file written on one platform is read on the other.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/registry.h"
#include "settings/settings_store.h"

namespace zt::settings {

enum class FilePlatform { kWindows, kLinux };

// A value as a file gives it: its name, its text, and whether it is stored
// as text (else a number).
struct FileValue {
  std::string name;
  std::string value;
  bool text = false;
};

// A file read and checked whole. values are those to store, in the file's
// order; errors name each bad line ("file:line: name: why"): a file with
// any is applied not at all. notes name lines passed over on purpose (a
// port or monitor of the other platform, a value the other platform alone
// uses, a unit's own record such as its last touch).
struct SettingsFile {
  std::vector<FileValue> values;
  std::vector<std::string> errors;
  std::vector<std::string> notes;
};

// Checks every line of text against the settings' names, types and ranges.
// A name stored twice, a UTF-16 text and a text of no settings are errors
// too; a UTF-8 byte order mark is skipped. Text values are kept as
// written, spaces included; numbers may have spaces around them.
SettingsFile ReadSettingsFile(const std::string& text, const std::string& path,
                              FilePlatform platform);

// The file's text for values (name and text of each), with comments.
std::string SettingsFileText(const std::vector<std::pair<std::string, std::string>>& values);

// The values the key holds, by the names this program knows, as a file's
// text; empty when the key cannot be opened.
std::string ExportSettings(IRegistry& registry, const KeyLocation& where = kSettingsKey);

// What storing a file left in the key.
struct ApplyOutcome {
  bool stored = false;  // every value was written: the file is in force
  // When not: the values that were written but could not be put back as
  // they were (the key refused the undoing too); they keep the file's.
  std::vector<std::string> notRestored;
  // When not: the values another writer (a second import, the running
  // program) changed after this import wrote them; theirs stays.
  std::vector<std::string> changedMeanwhile;
};

// Stores every value of file through one key opened for reading and
// writing, all or nothing: when a write fails, each value written before it
// is put back as the key held it, and one the key did not hold is deleted;
// one that no longer holds what was written is left to the writer that
// changed it.
// A value the key holds but that cannot be read is not written (it could
// not be put back). A file with errors stores nothing.
ApplyOutcome ApplySettingsFile(IRegistry& registry, const SettingsFile& file,
                               const KeyLocation& where = kSettingsKey);

// Why a file was not stored, after the key's own message: "nothing
// imported", or the values a failed undoing left changed; then the values
// left as another writer set them.
std::string ApplyFailureText(const ApplyOutcome& outcome);

// The running program's answer to an import handed to it, as one number:
// kImportStored, 0 when nothing changed (refused, or every value put
// back); stored in part: kImportInPart with bit 2 + i set for each value i
// of the file that could not be put back.
inline constexpr std::uint64_t kImportStored = 1;
inline constexpr std::uint64_t kImportInPart = 2;
std::uint64_t ImportAnswer(const SettingsFile& file, const ApplyOutcome& outcome);
// What an answer tells of the same file.
ApplyOutcome AnsweredOutcome(const SettingsFile& file, std::uint64_t answer);

}  // namespace zt::settings
