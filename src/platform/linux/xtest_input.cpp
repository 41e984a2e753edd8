#include "platform/linux/xtest_input.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <algorithm>

#include "platform/linux/xrandr_monitors.h"

namespace zt {
namespace {

constexpr std::int64_t kUnits = 65536;

// The pixel of absolute units along an axis of length pixels.
int Pixel(std::int32_t units, int length) {
  const std::int64_t clamped = std::clamp<std::int64_t>(units, 0, kUnits - 1);
  return static_cast<int>(clamped * length / kUnits);
}

}  // namespace

XTestInput::~XTestInput() {
  Close();
}

bool XTestInput::Open(const std::string& display) {
  ::XInitThreads();
  Close();
  m_lost.store(false);
  // Opened outside the lock: a server that never answers holds up this
  // call alone, not the engine's moves.
  Display* opened = ::XOpenDisplay(display.empty() ? nullptr : display.c_str());
  int event = 0, error = 0, major = 0, minor = 0;
  if (opened != nullptr && ::XTestQueryExtension(opened, &event, &error, &major, &minor) == 0) {
    ::XCloseDisplay(opened);
    opened = nullptr;
  }
  if (opened != nullptr) {
    SurviveLoss(opened, m_lost);
  }
  const std::lock_guard<std::mutex> lock(m_lock);
  m_display = opened;
  return m_display != nullptr;
}

void XTestInput::Close() {
  const std::lock_guard<std::mutex> lock(m_lock);
  if (m_display != nullptr) {
    ::XCloseDisplay(m_display);
    m_display = nullptr;
  }
}

void XTestInput::MouseEvent(std::uint32_t flags, std::int32_t dx, std::int32_t dy, std::uint32_t,
                            std::uintptr_t) {
  const std::lock_guard<std::mutex> lock(m_lock);
  if (m_display == nullptr || m_lost.load()) {
    return;
  }
  if ((flags & mouse::kMove) != 0) {
    const PixelRect screen = ScreenRect(m_display);
    ::XTestFakeMotionEvent(m_display, DefaultScreen(m_display), Pixel(dx, screen.Width()),
                           Pixel(dy, screen.Height()), CurrentTime);
  }
  const struct {
    std::uint32_t flag;
    unsigned button;
    Bool press;
  } buttons[] = {{mouse::kLeftDown, Button1, True},
                 {mouse::kLeftUp, Button1, False},
                 {mouse::kRightDown, Button3, True},
                 {mouse::kRightUp, Button3, False}};
  for (const auto& button : buttons) {
    if ((flags & button.flag) != 0) {
      ::XTestFakeButtonEvent(m_display, button.button, button.press, CurrentTime);
    }
  }
  ::XFlush(m_display);
}

}  // namespace zt
