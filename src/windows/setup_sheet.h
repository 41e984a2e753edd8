#pragma once

#include <windows.h>

#include <functional>

#include "engine/touch_host.h"
#include "platform/input.h"
#include "settings/settings_store.h"

namespace zt {

// The Setting command with a running engine: the setup sheet, modal, with
// its mouse and sound page and its touch-mode page. onRightButtonChanged
// runs after "Right" has been switched and saved, to show or hide the
// button indicator.
void RunSetupSheet(HWND owner, CTouchHost& host, settings::CSettingsStore& store, IInput& input,
                   const std::function<void()>& onRightButtonChanged);

}  // namespace zt
