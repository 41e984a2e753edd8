#pragma once

#include <string>

#include "platform/file_replacer.h"

namespace zt {

// The file beside is path + ".new": one left there (a link or a file) is
// removed, and the new one is made exclusively, never through a link. The
// file is readable by all, whatever the umask (a service's is often 027):
// the exporter that collects a metrics file runs as a user of its own, and
// what it holds is no secret.
class PosixFileReplacer final : public IFileReplacer {
public:
  std::string Replace(const std::string& path, const std::string& text) override;
};

// Writes all of text to fd, again after an interrupted write.
bool WriteAll(int fd, const std::string& text);

}  // namespace zt
