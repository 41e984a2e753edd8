#pragma once

#include <windows.h>

#include <functional>

#include "engine/touch_host.h"
#include "platform/input.h"
#include "settings/settings_store.h"

namespace zt {

// The Setting command with a running engine: the setup sheet, modal, with
// its mouse and sound page and its touch-mode page. onIndicatorChanged
// runs after "Right" or "Monitor" has been changed and saved, to show, hide
// or move the button indicator.
void RunSetupSheet(HWND owner, CTouchHost& host, settings::CSettingsStore& store, IInput& input,
                   const std::function<void()>& onIndicatorChanged);

}  // namespace zt
