#pragma once

#include "platform/touch_injection.h"

namespace zt {

// ITouchInjection over InitializeTouchInjection and InjectTouchInput, both
// looked up at run time: they exist from Windows 8 on (not under Wine).
class Win32TouchInjection final : public ITouchInjection {
public:
  bool Initialize() override;
  bool Inject(const TouchFrame& frame) override;

private:
  enum class State { kUntried, kReady, kMissing };
  State m_state = State::kUntried;
  void* m_inject = nullptr;
};

}  // namespace zt
