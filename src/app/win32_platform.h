#pragma once

#include "engine/touch_driver.h"
#include "platform/win32/win32_comm_device.h"
#include "platform/win32/win32_event_log.h"
#include "platform/win32/win32_file_replacer.h"
#include "platform/win32/win32_input.h"
#include "platform/win32/win32_log.h"
#include "platform/win32/win32_messages.h"
#include "platform/win32/win32_monitors.h"
#include "platform/win32/win32_registry.h"
#include "platform/win32/win32_threads.h"
#include "platform/win32/win32_touch_injection.h"

namespace zt {

// The Win32 implementations of every seam, made once for the program.
struct Win32Platform {
  Win32CommDevice comm;
  Win32Threads threads;
  Win32Input input;
  Win32Messages messages;
  Win32Registry registry;
  Win32Monitors monitors;
  Win32TouchInjection touchInjection;
  Win32Log log;
  CHealth health;
  Win32EventLog eventLog;
  CEventReporter events{eventLog};
  Win32FileReplacer files;

  EnginePlatform Engine() {
    return {comm, threads, input,   messages, monitors, &touchInjection,
            &log, &health, &events, &files};
  }
};

}  // namespace zt
