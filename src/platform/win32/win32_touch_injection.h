#pragma once

#include "platform/touch_injection.h"

struct tagPOINTER_TOUCH_INFO;

namespace zt {

// The system's description of a frame of the one contact: a touch pointer
// (PT_TOUCH, pointer 0) at the frame's point in physical pixels of the
// virtual desktop, with the frame's contact area.
void FillTouchInfo(const TouchFrame& frame, tagPOINTER_TOUCH_INFO& info);

// ITouchInjection over InitializeTouchInjection and InjectTouchInput, both
// looked up at run time: they exist from Windows 8 on (not under Wine).
class Win32TouchInjection final : public ITouchInjection {
public:
  bool Initialize() override;
  std::uint32_t Inject(const TouchFrame& frame) override;

private:
  enum class State { kUntried, kReady, kMissing };
  State m_state = State::kUntried;
  void* m_inject = nullptr;
};

}  // namespace zt
