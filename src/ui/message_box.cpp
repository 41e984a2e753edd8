#include "ui/message_box.h"

#include <vector>

namespace zt::ui {
namespace {

// The executable's full path, however long.
std::string ModulePath() {
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) {
      return {};
    }
    if (length < buffer.size()) {
      return std::string(buffer.data(), length);
    }
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace

std::string ApplicationName() {
  std::string name = ModulePath();
  const size_t slash = name.find_last_of("\\/");
  if (slash != std::string::npos) {
    name.erase(0, slash + 1);
  }
  const size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) {
    name.erase(dot);
  }
  return name;
}

int AppMessageBox(HWND owner, const char* text, UINT type) {
  const std::string caption = ApplicationName();
  return ::MessageBoxA(owner, text, caption.c_str(), type);
}

}  // namespace zt::ui
