#pragma once

#include <sys/types.h>

#include <string>

#include "platform/file_replacer.h"

namespace zt {

// Replaces a file as ReplaceBeside does. The
// file is readable by all, whatever the umask (a service's is often 027):
// the exporter that collects a metrics file runs as a user of its own, and
// what it holds is no secret.
class PosixFileReplacer final : public IFileReplacer {
public:
  std::string Replace(const std::string& path, const std::string& text) override;
};

struct FileOwner {
  uid_t uid = 0;
  gid_t gid = 0;
};
// Replaces the file at path with text: written to path + ".new" (one left
// there, a link or a file, is removed; the new one is made exclusively,
// never through a link) with mode, given the owner where one is given
// (root only), synced, and renamed over path. "" when done, else the
// system's reason.
std::string ReplaceBeside(const std::string& path, const std::string& text, mode_t mode,
                          const FileOwner* owner = nullptr);

}  // namespace zt
