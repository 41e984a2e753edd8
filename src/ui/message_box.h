// The application's message box, captioned with the program's name.
#pragma once

#include <windows.h>

#include <string>

namespace zt::ui {

// The executable's file name without its directory and extension, e.g.
// "ZeltraTouch" for C:\Program Files\ZeltraTouch\ZeltraTouch.exe.
std::string ApplicationName();

// MessageBoxA with the application's name as caption; returns its result.
int AppMessageBox(HWND owner, const char* text, UINT type = MB_OK);

}  // namespace zt::ui
