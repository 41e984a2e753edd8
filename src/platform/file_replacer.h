#pragma once

#include <string>

namespace zt {

// Replaces a file whole, so that a reader sees the old file or the new one,
// never part of one: the text goes into a file made anew beside it, which
// is then renamed over it. Whatever someone left where the file beside is
// made (a link to another file, say) is never written through.
class IFileReplacer {
public:
  virtual ~IFileReplacer() = default;
  // Empty when the file was replaced, else the system's reason.
  virtual std::string Replace(const std::string& path, const std::string& text) = 0;
};

}  // namespace zt
