#pragma once

#include <cstdint>

#include "platform/monitors.h"

namespace zt {

// Pointer flags of an injected touch frame, and the system's answers.
namespace touch {
inline constexpr std::uint32_t kInRange = 0x00000002;
inline constexpr std::uint32_t kInContact = 0x00000004;
inline constexpr std::uint32_t kCanceled = 0x00008000;
inline constexpr std::uint32_t kDown = 0x00010000;
inline constexpr std::uint32_t kUpdate = 0x00020000;
inline constexpr std::uint32_t kUp = 0x00040000;

inline constexpr std::uint32_t kInjected = 0;
// Not ready for another frame yet: the same frame is to be sent again.
inline constexpr std::uint32_t kErrorNotReady = 21;
// A frame against the rules (flags, order, an UP away from the last
// UPDATE, coordinates); the system cancels every injected contact.
inline constexpr std::uint32_t kErrorInvalidParameter = 87;
// More than 100 ms since the contact's previous frame: it has expired.
inline constexpr std::uint32_t kErrorTimeout = 1460;
// A frame without a successful initialization.
inline constexpr std::uint32_t kStatusAccessDenied = 0xC0000022;
}  // namespace touch

// One frame of the one contact the program injects: a point and the
// contact's area round it, in pixels of the virtual desktop.
struct TouchFrame {
  std::uint32_t flags = 0;
  std::int32_t x = 0;
  std::int32_t y = 0;
  PixelRect area;

  bool operator==(const TouchFrame&) const = default;
};

// The system's touch injection: a contact goes DOWN (in range, in
// contact), moves by UPDATE frames and ends with an UP at the last UPDATE's
// place (CANCELED with it when the finger did not really lift); a held
// contact needs a frame at least every 100 ms.
class ITouchInjection {
public:
  virtual ~ITouchInjection() = default;

  // InitializeTouchInjection for one contact with the system's feedback;
  // false where the system has no touch injection or refuses it.
  virtual bool Initialize() = 0;
  // InjectTouchInput with the one contact: touch::kInjected, or the error
  // the system refused it with.
  virtual std::uint32_t Inject(const TouchFrame& frame) = 0;
};

}  // namespace zt
