#pragma once

#include <string>

#include "platform/file_replacer.h"

namespace zt {

// The file beside has a name of its own for each write (the process and a
// count), made with CREATE_NEW: nothing that exists there is opened, a
// link included. It is then moved over the file.
class Win32FileReplacer final : public IFileReplacer {
public:
  std::string Replace(const std::string& path, const std::string& text) override;

private:
  unsigned m_count = 0;
};

}  // namespace zt
