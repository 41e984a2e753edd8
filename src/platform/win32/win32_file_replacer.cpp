#include "platform/win32/win32_file_replacer.h"

#include <windows.h>

namespace zt {
namespace {

std::string SystemReason(DWORD error) {
  char text[256] = {};
  const DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, error, 0, text, sizeof text, nullptr);
  std::string reason(text, length);
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r')) {
    reason.pop_back();
  }
  return reason.empty() ? "system error " + std::to_string(error) : reason;
}

bool WriteAll(HANDLE file, const std::string& text) {
  DWORD written = 0;
  return ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
         written == text.size() && ::FlushFileBuffers(file);
}

}  // namespace

std::string Win32FileReplacer::Replace(const std::string& path, const std::string& text) {
  const std::string beside = path + "." + std::to_string(::GetCurrentProcessId()) + "." +
                             std::to_string(++m_count) + ".new";
  HANDLE file = ::CreateFileA(beside.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return SystemReason(::GetLastError());
  }
  const bool written = WriteAll(file, text);
  const DWORD writeError = ::GetLastError();
  ::CloseHandle(file);
  if (written && ::MoveFileExA(beside.c_str(), path.c_str(),
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return "";
  }
  const DWORD error = written ? ::GetLastError() : writeError;
  ::DeleteFileA(beside.c_str());
  return SystemReason(error);
}

}  // namespace zt
