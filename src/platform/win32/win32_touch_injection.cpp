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

void FillTouchInfo(const TouchFrame& frame, POINTER_TOUCH_INFO& info) {
  info = POINTER_TOUCH_INFO{};
  info.pointerInfo.pointerType = PT_TOUCH;
  info.pointerInfo.pointerId = 0;
  info.pointerInfo.pointerFlags = frame.flags;
  info.pointerInfo.ptPixelLocation = {frame.x, frame.y};
  info.touchFlags = TOUCH_FLAG_NONE;
  info.touchMask = TOUCH_MASK_CONTACTAREA;
  info.rcContact = {frame.area.left, frame.area.top, frame.area.right, frame.area.bottom};
}

std::uint32_t Win32TouchInjection::Inject(const TouchFrame& frame) {
  if (m_state != State::kReady) {
    return touch::kStatusAccessDenied;
  }
  POINTER_TOUCH_INFO contact;
  FillTouchInfo(frame, contact);
  if (reinterpret_cast<InjectCall>(m_inject)(1, &contact) != FALSE) {
    return touch::kInjected;
  }
  const DWORD error = ::GetLastError();
  return error != 0 ? error : ERROR_INVALID_PARAMETER;
}

}  // namespace zt
