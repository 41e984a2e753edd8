#include "windows/state_line_text.h"

namespace zt {
namespace {

constexpr char kEllipsis[] = "\xE2\x80\xA6";
// The names listed while Find looks, at most; the tray icon's tip holds 63
// characters, of which the words take 32.
constexpr std::size_t kListedNamesLength = 24;

bool IsContinuationByte(char c) {
  return (static_cast<unsigned char>(c) & 0xC0U) == 0x80U;
}

// Where each character of UTF-8 text begins.
std::vector<std::size_t> CharacterStarts(const std::string& text) {
  std::vector<std::size_t> starts;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (!IsContinuationByte(text[i])) {
      starts.push_back(i);
    }
  }
  return starts;
}

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

std::string CutAtWord(const std::string& text, std::size_t maxCharacters) {
  const std::vector<std::size_t> starts = CharacterStarts(text);
  constexpr char kCut[] = "...";
  constexpr std::size_t kCutLength = sizeof kCut - 1;
  if (starts.size() <= maxCharacters) {
    return text;
  }
  if (maxCharacters <= kCutLength) {
    return std::string(kCut, maxCharacters);
  }
  // The first character that no longer fits beside the "...".
  const std::size_t end = starts[maxCharacters - kCutLength];
  std::size_t cut = text.rfind(' ', end);
  cut = cut == std::string::npos || cut == 0 ? end : cut;
  while (cut > 0 && (text[cut - 1] == ' ' || text[cut - 1] == ',' || text[cut - 1] == ';')) {
    --cut;
  }
  return text.substr(0, cut) + kCut;
}

}  // namespace zt
