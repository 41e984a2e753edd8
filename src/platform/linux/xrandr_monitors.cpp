#include "platform/linux/xrandr_monitors.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <sys/stat.h>

#include <cstdint>
#include <cstdlib>
#include <memory>

namespace zt {
namespace {

Display* OpenWithRandr(const std::string& name, int& eventBase) {
  Display* display = ::XOpenDisplay(name.empty() ? nullptr : name.c_str());
  int errorBase = 0, major = 0, minor = 0;
  if (display != nullptr &&
      (::XRRQueryExtension(display, &eventBase, &errorBase) == 0 ||
       ::XRRQueryVersion(display, &major, &minor) == 0 || major * 100 + minor < 105)) {
    ::XCloseDisplay(display);
    display = nullptr;
  }
  return display;
}

int IgnoreLoss(Display*) {
  return 0;  // the connection's own handler says it (SurviveLoss)
}

void MarkLost(Display*, void* lost) {
  static_cast<std::atomic<bool>*>(lost)->store(true);
}

}  // namespace

void SurviveLoss(Display* display, std::atomic<bool>& lost) {
  ::XSetIOErrorHandler(&IgnoreLoss);
  ::XSetIOErrorExitHandler(display, &MarkLost, &lost);
}

std::string WhyNoDisplay(const std::string& name) {
  const char* given = name.empty() ? std::getenv("DISPLAY") : name.c_str();
  if (given == nullptr || given[0] == '\0') {
    return "DISPLAY is not set";
  }
  const std::string display = given;
  struct stat found {};
  if (display[0] == ':') {
    const std::string socket = "/tmp/.X11-unix/X" + display.substr(1, display.find('.') - 1);
    if (::stat(socket.c_str(), &found) != 0) {
      return "no X server on " + display + " yet";
    }
  }
  const char* authority = std::getenv("XAUTHORITY");
  return "the X server on " + display + " refuses the connection (its authority " +
         (authority != nullptr ? std::string("in ") + authority + " not readable or not valid"
                               : std::string("not given")) +
         "; the session can let this user in: xhost +si:localuser:USER)";
}

PixelRect ScreenRect(Display* display) {
  Window root = 0;
  int x = 0, y = 0;
  unsigned width = 0, height = 0, border = 0, depth = 0;
  ::XGetGeometry(display, DefaultRootWindow(display), &root, &x, &y, &width, &height, &border,
                 &depth);
  return {0, 0, static_cast<std::int32_t>(width), static_cast<std::int32_t>(height)};
}

XRandrMonitors::XRandrMonitors() : m_stop(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

XRandrMonitors::~XRandrMonitors() {
  Close();
  if (m_stop >= 0) {
    ::close(m_stop);
  }
}

bool XRandrMonitors::Open(const std::string& display) {
  ::XInitThreads();
  Close();
  m_lost.store(false);
  // Opened outside the lock: a server that never answers holds up this
  // call alone, not the engine asking for the layout.
  Display* queries = OpenWithRandr(display, m_eventBase);
  Display* events = queries != nullptr ? OpenWithRandr(display, m_eventBase) : nullptr;
  for (Display* opened : {queries, events}) {
    if (opened != nullptr) {
      SurviveLoss(opened, m_lost);
    }
  }
  const std::lock_guard<std::mutex> lock(m_lock);
  m_display = queries;
  m_events = events;
  if (m_events == nullptr || m_stop < 0) {
    return false;
  }
  ::XRRSelectInput(m_events, DefaultRootWindow(m_events),
                   RRScreenChangeNotifyMask | RRCrtcChangeNotifyMask | RROutputChangeNotifyMask);
  ::XFlush(m_events);
  return true;
}

void XRandrMonitors::Close() {
  const std::lock_guard<std::mutex> lock(m_lock);
  for (Display** display : {&m_display, &m_events}) {
    if (*display != nullptr) {
      ::XCloseDisplay(*display);
      *display = nullptr;
    }
  }
}

DesktopLayout XRandrMonitors::Layout() {
  const std::lock_guard<std::mutex> lock(m_lock);
  DesktopLayout layout;
  if (m_display == nullptr || m_lost.load()) {
    return layout;
  }
  layout.virtualDesk = ScreenRect(m_display);
  int count = 0;
  const std::unique_ptr<XRRMonitorInfo, decltype(&::XRRFreeMonitors)> monitors(
      ::XRRGetMonitors(m_display, DefaultRootWindow(m_display), True, &count), &::XRRFreeMonitors);
  for (int i = 0; monitors != nullptr && i < count; ++i) {
    const XRRMonitorInfo& found = monitors.get()[i];
    MonitorInfo monitor;
    if (char* name = ::XGetAtomName(m_display, found.name); name != nullptr) {
      monitor.deviceName = name;
      ::XFree(name);
    }
    monitor.rect = {found.x, found.y, found.x + found.width, found.y + found.height};
    monitor.work = monitor.rect;
    monitor.primary = found.primary != 0;
    layout.monitors.push_back(monitor);
  }
  return layout;
}

bool XRandrMonitors::WaitForChange() {
  while (m_events != nullptr && !m_lost.load()) {
    while (::XPending(m_events) > 0) {
      XEvent event;
      ::XNextEvent(m_events, &event);
      ::XRRUpdateConfiguration(&event);
      if (event.type == m_eventBase + RRScreenChangeNotify ||
          event.type == m_eventBase + RRNotify) {
        return true;
      }
    }
    pollfd waits[] = {{ConnectionNumber(m_events), POLLIN, 0}, {m_stop, POLLIN, 0}};
    if ((::poll(waits, 2, -1) < 0 && errno != EINTR) || (waits[1].revents & POLLIN) != 0) {
      return false;
    }
    if ((waits[0].revents & (POLLERR | POLLHUP)) != 0) {
      m_lost.store(true);
    }
  }
  return false;
}

bool XRandrMonitors::Pause(int ms) {
  pollfd wait{m_stop, POLLIN, 0};
  return ::poll(&wait, 1, ms) == 0;
}

void XRandrMonitors::Stop() {
  if (m_stop >= 0) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_stop, &one, sizeof one);
  }
}

}  // namespace zt
