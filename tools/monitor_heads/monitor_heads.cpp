// A stand-in for libXinerama.so.1 that reports the monitors ("heads") named
// in ZT_MONITORS instead of the X server's, so that Wine on one wide virtual
// X screen (with its XRandR use turned off) sees several monitors.
// ZT_MONITORS is "x,y,width,height;x,y,width,height;...": the first head is
// Wine's primary monitor. Without it: 1024 x 768 with 800 x 600 to its right.
//
//   LD_LIBRARY_PATH=<this library's folder> ZT_MONITORS='0,0,1024,768;1024,0,800,600' wine ...
//
// The X types are declared here as Xlib has them, so nothing of X needs to
// be installed to build it.
#include <cstdio>
#include <cstdlib>

extern "C" {

using Bool = int;
using Status = int;
struct Display;

struct XineramaScreenInfo {
  int screen_number;
  short x_org;
  short y_org;
  short width;
  short height;
};

namespace {
constexpr int kMaxHeads = 16;
}

Bool XineramaQueryExtension(Display* /*display*/, int* eventBase, int* errorBase) {
  *eventBase = 0;
  *errorBase = 0;
  return 1;
}

Status XineramaQueryVersion(Display* /*display*/, int* major, int* minor) {
  *major = 1;
  *minor = 1;
  return 1;
}

Bool XineramaIsActive(Display* /*display*/) {
  return 1;
}

// The caller frees the array with XFree, which is free().
XineramaScreenInfo* XineramaQueryScreens(Display* /*display*/, int* count) {
  const char* layout = getenv("ZT_MONITORS");
  if (layout == nullptr || *layout == '\0') {
    layout = "0,0,1024,768;1024,0,800,600";
  }
  auto* heads =
      static_cast<XineramaScreenInfo*>(std::calloc(kMaxHeads, sizeof(XineramaScreenInfo)));
  int found = 0;
  while (heads != nullptr && found < kMaxHeads) {
    int x = 0, y = 0, width = 0, height = 0, used = 0;
    if (std::sscanf(layout, "%d,%d,%d,%d%n", &x, &y, &width, &height, &used) != 4) {
      break;
    }
    heads[found] = {found, static_cast<short>(x), static_cast<short>(y), static_cast<short>(width),
                    static_cast<short>(height)};
    ++found;
    layout += used;
    if (*layout != ';') {
      break;
    }
    ++layout;
  }
  *count = found;
  return heads;
}

}  // extern "C"
