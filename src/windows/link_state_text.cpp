#include "windows/link_state_text.h"

namespace zt {
namespace {

constexpr char kEllipsis[] = "\xE2\x80\xA6";
// The names listed while Find looks, at most; the tray icon's tip holds 63
// characters, of which the words take 32.
constexpr std::size_t kListedNamesLength = 24;

}  // namespace

std::string FindingText(const std::vector<std::string>& ports) {
  std::string names;
  for (const std::string& port : ports) {
    names += (names.empty() ? "" : ", ") + port;
  }
  if (names.size() > kListedNamesLength) {
    names = std::to_string(ports.size()) + " ports";
  }
  return "Looking for the touch screen on " + names + kEllipsis;
}

}  // namespace zt
