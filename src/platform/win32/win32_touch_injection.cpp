// The touch-injection declarations come with Windows 8; the functions are
// looked up at run time, so the program itself still runs on Windows 7.
#undef WINVER
#undef _WIN32_WINNT
#define WINVER 0x0602
#define _WIN32_WINNT 0x0602

#include "platform/win32/win32_touch_injection.h"

#include <windows.h>

namespace zt {
namespace {

using InitializeCall = BOOL(WINAPI*)(UINT32, DWORD);
using InjectCall = BOOL(WINAPI*)(UINT32, const POINTER_TOUCH_INFO*);

constexpr UINT32 kContacts = 1;
constexpr LONG kContactRadius = 4;  // pixels round the point, as a fingertip

template <typename Call>
Call Lookup(const char* name) {
  return reinterpret_cast<Call>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("user32.dll"), name)));
}

}  // namespace

// Tried once: a system without touch injection stays without it.
bool Win32TouchInjection::Initialize() {
  if (m_state == State::kUntried) {
    const auto initialize = Lookup<InitializeCall>("InitializeTouchInjection");
    const auto inject = Lookup<InjectCall>("InjectTouchInput");
    const bool ready = initialize != nullptr && inject != nullptr &&
                       initialize(kContacts, TOUCH_FEEDBACK_DEFAULT) != FALSE;
    m_inject = ready ? reinterpret_cast<void*>(inject) : nullptr;
    m_state = ready ? State::kReady : State::kMissing;
  }
  return m_state == State::kReady;
}

bool Win32TouchInjection::Inject(const TouchFrame& frame) {
  if (m_state != State::kReady) {
    return false;
  }
  POINTER_TOUCH_INFO contact{};
  contact.pointerInfo.pointerType = PT_TOUCH;
  contact.pointerInfo.pointerId = 0;
  contact.pointerInfo.pointerFlags = frame.flags;
  contact.pointerInfo.ptPixelLocation = {frame.x, frame.y};
  contact.touchFlags = TOUCH_FLAG_NONE;
  contact.touchMask = TOUCH_MASK_CONTACTAREA;
  contact.rcContact = {frame.x - kContactRadius, frame.y - kContactRadius, frame.x + kContactRadius,
                       frame.y + kContactRadius};
  return reinterpret_cast<InjectCall>(m_inject)(1, &contact) != FALSE;
}

}  // namespace zt
