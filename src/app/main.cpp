// The program's entry. The application and the host have static lifetime,
// made in this order and destroyed in the reverse order at exit, so the
// host ends a running engine before the application's services go.
#include <windows.h>

#include <cstdlib>

#include "app/command_line.h"
#include "app/touch_app.h"
#include "engine/touch_host.h"

namespace {

zt::CTouchApp theApp;
zt::CTouchHost theHost(theApp.m_platform.Engine(), theApp.m_settings);

}  // namespace

// A reader or probe left running inside a driver call that does not return
// may still use the platform's objects: the program then ends without
// destroying them (the system ends that thread with the process).
int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPSTR /*commandLine*/,
                   int /*show*/) {
  int exitCode = 0;
  if (zt::RunCommand(theApp, __argc, __argv, exitCode)) {
    return exitCode;
  }
  theApp.InitInstance(theHost);
  theHost.StopDriver();
  if (theApp.m_platform.threads.AnyLeftRunning()) {
    ::ExitProcess(0);
  }
  return 0;
}
