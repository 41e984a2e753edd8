#pragma once

#include <cstdint>

namespace zt {

// Pointer flags of an injected touch frame.
namespace touch {
inline constexpr std::uint32_t kInRange = 0x00000002;
inline constexpr std::uint32_t kInContact = 0x00000004;
inline constexpr std::uint32_t kDown = 0x00010000;
inline constexpr std::uint32_t kUpdate = 0x00020000;
inline constexpr std::uint32_t kUp = 0x00040000;
}  // namespace touch

// One frame of the one contact the program injects, at a point in pixels of
// the virtual desktop.
struct TouchFrame {
  std::uint32_t flags = 0;
  std::int32_t x = 0;
  std::int32_t y = 0;

  bool operator==(const TouchFrame&) const = default;
};

// The system's touch injection: a contact goes DOWN (in range, in
// contact), moves by UPDATE frames and ends with an UP at the last UPDATE's
// place; a held contact needs a frame at least every 100 ms.
class ITouchInjection {
public:
  virtual ~ITouchInjection() = default;

  // InitializeTouchInjection for one contact with the system's feedback;
  // false where the system has no touch injection or refuses it.
  virtual bool Initialize() = 0;
  // InjectTouchInput with the one contact; false when it was refused.
  virtual bool Inject(const TouchFrame& frame) = 0;
};

}  // namespace zt
