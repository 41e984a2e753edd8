#include "platform/linux/posix_file_replacer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace zt {

namespace {

// Writes all of text to fd, again after an interrupted write.
bool WriteAll(int fd, const std::string& text) {
  for (std::size_t done = 0; done < text.size();) {
    const ssize_t count = ::write(fd, text.data() + done, text.size() - done);
    if (count < 0 && errno == EINTR) {
      continue;
    }
    if (count <= 0) {
      return false;
    }
    done += static_cast<std::size_t>(count);
  }
  return true;
}

}  // namespace

std::string ReplaceBeside(const std::string& path, const std::string& text, mode_t mode,
                          const FileOwner* owner) {
  const std::string beside = path + ".new";
  ::unlink(beside.c_str());
  const int fd = ::open(beside.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
  if (fd < 0) {
    return std::strerror(errno);
  }
  const bool written = WriteAll(fd, text) && ::fchmod(fd, mode) == 0 &&
                       (owner == nullptr || ::fchown(fd, owner->uid, owner->gid) == 0) &&
                       ::fsync(fd) == 0;
  const int writeError = errno;
  ::close(fd);
  if (!written) {
    ::unlink(beside.c_str());
    return std::strerror(writeError);
  }
  if (std::rename(beside.c_str(), path.c_str()) != 0) {
    const int renameError = errno;
    ::unlink(beside.c_str());
    return std::strerror(renameError);
  }
  return "";
}

std::string PosixFileReplacer::Replace(const std::string& path, const std::string& text) {
  return ReplaceBeside(path, text, 0644);
}

}  // namespace zt
