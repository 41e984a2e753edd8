#include "app/linux/calibration_window.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xrandr.h>
#include <X11/keysym.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <iostream>
#include <optional>
#include <vector>

#include "app/linux/control_protocol.h"
#include "mapping/calibration_layout.h"
#include "mapping/calibration_run.h"
#include "mapping/desktop_mapping.h"
#include "mapping/precise_mapper.h"
#include "platform/linux/xrandr_monitors.h"

namespace zt {
namespace {

using Clock = std::chrono::steady_clock;
using State = CCalibrationRun::State;

namespace layout = calibration_layout;
using layout::ReportItem;

constexpr auto kEvaluateDelay = std::chrono::milliseconds(CCalibrationRun::kEvaluateDelayMs);
constexpr auto kIdleTick = std::chrono::milliseconds(CCalibrationRun::kIdleTickMs);
// Where the finger is from the check on: a cross of this half length.
// How long the daemon may take to answer the outcome (it stores it).
constexpr int kAnswerMs = 30000;
constexpr int kFingerHalfLength = 12;
// Screen-scale steps (0..4095) to absolute units.
constexpr std::int32_t kUnitsPerStep = 16;
constexpr unsigned long kPaper = 0xFFFFFF;

// A colour on a true-colour visual.
unsigned long Pixel(layout::Colour colour) {
  return (static_cast<unsigned long>(colour.red) << 16) |
         (static_cast<unsigned long>(colour.green) << 8) | colour.blue;
}

// The report's items at 96 DPI.
PixelRect ItemRect(ReportItem item, int width, int height) {
  return layout::ReportItemRect(item, width, height, [](int pixels) { return pixels; });
}

bool Holds(const PixelRect& rect, IntPoint p) {
  return p.x >= rect.left && p.x < rect.right && p.y >= rect.top && p.y < rect.bottom;
}

// Where the calibration in use puts a raw point on a monitor of that size,
// in the monitor's pixels, as the engine maps it.
IntPoint MonitorPixelOf(const LiveCalibration& live, IntPoint raw, int width, int height) {
  CGridMapper grid;
  grid.ReplacePoints(live.points);
  CPreciseMapper precise;
  std::optional<IntPoint> mapped;
  if (live.mapping == kMappingPrecise && precise.ReplacePoints(live.points)) {
    mapped = precise.MapPoint(raw.x, raw.y);
  }
  const IntPoint screen = mapped ? *mapped : grid.MapPoint(raw.x, raw.y);
  return MonitorPixel({0, 0, width, height}, screen.x * kUnitsPerStep, screen.y * kUnitsPerStep);
}

class CCalibrationWindow {
public:
  CCalibrationWindow(Display* display, const PixelRect& monitor, const LiveCalibration& inForce)
      : m_display(display), m_run(inForce, 1, 1) {
    m_window = ::XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0,
                                     Pixel(layout::kInk), kPaper);
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;  // above every window, no frame
    ::XChangeWindowAttributes(display, m_window, CWOverrideRedirect, &attributes);
    ::XSelectInput(display, m_window, ExposureMask | KeyPressMask);
    m_gc = ::XCreateGC(display, m_window, 0, nullptr);
    for (const char* name : {"-*-helvetica-medium-r-normal--24-*-*-*-*-*-iso8859-1",
                             "-*-*-medium-r-normal--20-*-*-*-*-*-iso8859-1", "10x20", "fixed"}) {
      if (m_font == nullptr) {
        m_font = ::XLoadQueryFont(display, name);
      }
    }
    if (m_font != nullptr) {
      ::XSetFont(display, m_gc, m_font->fid);
    }
    Place(monitor);
    ::XMapRaised(display, m_window);
    ::XGrabKeyboard(display, m_window, False, GrabModeAsync, GrabModeAsync, CurrentTime);
    RestartIdle();
  }
  CCalibrationWindow(const CCalibrationWindow&) = delete;
  CCalibrationWindow& operator=(const CCalibrationWindow&) = delete;
  ~CCalibrationWindow() {
    if (m_font != nullptr) {
      ::XFreeFont(m_display, m_font);
    }
    ::XFreeGC(m_display, m_gc);
    ::XFreePixmap(m_display, m_canvas);
    ::XDestroyWindow(m_display, m_window);
    ::XFlush(m_display);
  }

  // Covers monitor and starts the targets again on its size.
  void Place(const PixelRect& monitor) {
    m_width = std::max(monitor.Width(), 1);
    m_height = std::max(monitor.Height(), 1);
    ::XMoveResizeWindow(m_display, m_window, monitor.left, monitor.top,
                        static_cast<unsigned>(m_width), static_cast<unsigned>(m_height));
    if (m_canvas != 0) {
      ::XFreePixmap(m_display, m_canvas);
    }
    m_canvas = ::XCreatePixmap(
        m_display, m_window, static_cast<unsigned>(m_width), static_cast<unsigned>(m_height),
        static_cast<unsigned>(DefaultDepth(m_display, DefaultScreen(m_display))));
    m_evaluateAt.reset();
    m_run.Resize(m_width, m_height);
    RestartIdle();
  }

  // A line of the daemon's: a touch's press, move or release.
  void Touch(const std::string& line) {
    IntPoint raw;
    const TouchKind kind = ParseTouchLine(line, raw);
    if (kind == TouchKind::kDown || kind == TouchKind::kMove) {
      m_finger = MonitorPixelOf(m_run.Live(), raw, m_width, m_height);
    }
    if (kind == TouchKind::kDown) {
      Press(raw);
    } else if (kind == TouchKind::kMove && m_run.Move(raw)) {
      RestartIdle();
    } else if (kind == TouchKind::kUp) {
      Lift();
    }
    Follow();
  }

  void Key(XKeyEvent& event) {
    if (::XLookupKeysym(&event, 0) == XK_Escape) {
      m_run.Escape();
      Follow();
    }
  }

  // The timers that are due; returns how long until the next one.
  int Tick() {
    const auto now = Clock::now();
    if (m_evaluateAt && now >= *m_evaluateAt) {
      m_evaluateAt.reset();
      RestartIdle();
      m_run.Evaluate();
    } else if (now >= m_idleAt) {
      m_idleAt = now + kIdleTick;  // as a window timer: late ticks are not made up
      m_run.IdleTick();
    }
    Follow();
    const auto next = m_evaluateAt ? std::min(*m_evaluateAt, m_idleAt) : m_idleAt;
    return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(
                                std::max(next - Clock::now(), Clock::duration{}))
                                .count());
  }

  void Draw() {
    ::XSetForeground(m_display, m_gc, kPaper);
    ::XFillRectangle(m_display, m_canvas, m_gc, 0, 0, static_cast<unsigned>(m_width),
                     static_cast<unsigned>(m_height));
    const bool report = m_run.GetState() == State::kReport;
    if (report) {
      DrawReport();
    } else {
      DrawTarget();
      char step[32];
      std::snprintf(step, sizeof step, "%s%d", m_run.GetState() == State::kCheck ? "Check" : "Step",
                    m_run.Step());
      Text(m_width / 2, m_height / 2 + layout::kStepTextDown, step);
    }
    if (m_run.GetState() != State::kTargets && m_finger) {
      Cross(*m_finger, kFingerHalfLength);  // where the new points put the finger
    }
    char countdown[48];
    std::snprintf(countdown, sizeof countdown, "Timeout Count %d sec", m_run.SecondsLeft());
    Text(m_width / 2 - layout::kCountdownLeft,
         m_height / 2 + (report ? layout::kReportCountdownDown : layout::kCountdownDown),
         countdown);
    ::XCopyArea(m_display, m_canvas, m_window, m_gc, 0, 0, static_cast<unsigned>(m_width),
                static_cast<unsigned>(m_height), 0, 0);
    ::XFlush(m_display);
  }

  bool Ended() const { return m_run.GetState() == State::kEnded; }
  const CCalibrationRun& Run() const { return m_run; }

private:
  void RestartIdle() { m_idleAt = Clock::now() + kIdleTick; }

  void Press(IntPoint raw) {
    m_run.TouchOnReport();
    m_pressed = m_run.GetState() == State::kReport ? ItemAt(*m_finger) : std::nullopt;
    if (m_pressed == ReportItem::kStandard ||
        (m_pressed == ReportItem::kPrecise && m_run.Report().preciseUsable)) {
      m_ticked = m_pressed == ReportItem::kPrecise ? kMappingPrecise : kMappingGrid;
    }
    if (m_run.ButtonDown(raw)) {
      RestartIdle();
      m_evaluateAt = Clock::now() + kEvaluateDelay;
    }
  }

  // A button acts when the finger lifts on the one it pressed.
  void Lift() {
    if (m_run.Release()) {
      RestartIdle();
    }
    const std::optional<ReportItem> released = m_finger ? ItemAt(*m_finger) : std::nullopt;
    if (m_run.GetState() == State::kReport && released && released == m_pressed) {
      if (released == ReportItem::kKeep) {
        m_run.Keep(m_ticked);
      } else if (released == ReportItem::kRedo) {
        m_run.Redo();
      } else if (released == ReportItem::kCancel) {
        m_run.Cancel();
      }
    }
    m_pressed.reset();
  }

  // The report has come up: its better mapping ticked, its countdown anew.
  void Follow() {
    const bool report = m_run.GetState() == State::kReport;
    if (report && !m_reportShown) {
      m_ticked = m_run.Report().better;
      RestartIdle();
    }
    m_reportShown = report;
  }

  std::optional<ReportItem> ItemAt(IntPoint pixel) const {
    for (const ReportItem item : {ReportItem::kStandard, ReportItem::kPrecise, ReportItem::kKeep,
                                  ReportItem::kRedo, ReportItem::kCancel}) {
      if (Holds(ItemRect(item, m_width, m_height), pixel)) {
        return item;
      }
    }
    return std::nullopt;
  }

  // A circle of 40 pixels, blue while a touch is held and green otherwise
  // (orange for a check target asked again), outlined, with a cross-hair
  // reaching 3 pixels beyond it.
  void DrawTarget() {
    const IntPoint centre = m_run.Target();
    const int radius = layout::kTargetRadius;
    ::XSetForeground(m_display, m_gc,
                     Pixel(m_run.Held()         ? layout::kHeld
                           : m_run.AskedAgain() ? layout::kAgain
                                                : layout::kWaiting));
    ::XFillArc(m_display, m_canvas, m_gc, centre.x - radius, centre.y - radius, 2 * radius,
               2 * radius, 0, 360 * 64);
    ::XSetForeground(m_display, m_gc, Pixel(layout::kInk));
    ::XDrawArc(m_display, m_canvas, m_gc, centre.x - radius, centre.y - radius, 2 * radius,
               2 * radius, 0, 360 * 64);
    Cross(centre, layout::kCrossHalfLength);
  }

  // The heading, a radio button for each mapping and the three buttons.
  void DrawReport() {
    const CheckReport report = m_run.Report();
    const PixelRect heading = ItemRect(ReportItem::kHeading, m_width, m_height);
    Text(heading.left, heading.top + (heading.Height() - TextHeight()) / 2,
         layout::ReportItemText(ReportItem::kHeading, report));
    for (const ReportItem choice : {ReportItem::kStandard, ReportItem::kPrecise}) {
      const PixelRect row = ItemRect(choice, m_width, m_height);
      const bool ticked = (choice == ReportItem::kPrecise) == (m_ticked == kMappingPrecise);
      const int middle = row.top + row.Height() / 2;
      ::XSetForeground(m_display, m_gc, Pixel(layout::kInk));
      ::XDrawArc(m_display, m_canvas, m_gc, row.left, middle - 8, 16, 16, 0, 360 * 64);
      if (ticked) {
        ::XFillArc(m_display, m_canvas, m_gc, row.left + 4, middle - 4, 8, 8, 0, 360 * 64);
      }
      Text(row.left + 28, middle - TextHeight() / 2, layout::ReportItemText(choice, report));
    }
    for (const ReportItem button : {ReportItem::kKeep, ReportItem::kRedo, ReportItem::kCancel}) {
      const PixelRect box = ItemRect(button, m_width, m_height);
      ::XDrawRectangle(m_display, m_canvas, m_gc, box.left, box.top,
                       static_cast<unsigned>(box.Width()), static_cast<unsigned>(box.Height()));
      const std::string name = layout::ReportItemText(button, report);
      Text(box.left + (box.Width() - TextWidth(name)) / 2,
           box.top + (box.Height() - TextHeight()) / 2, name);
    }
  }

  void Cross(IntPoint centre, int half) {
    ::XSetForeground(m_display, m_gc, Pixel(layout::kInk));
    ::XDrawLine(m_display, m_canvas, m_gc, centre.x - half, centre.y, centre.x + half, centre.y);
    ::XDrawLine(m_display, m_canvas, m_gc, centre.x, centre.y - half, centre.x, centre.y + half);
  }

  // Text whose top-left corner is at x, y.
  void Text(int x, int y, const std::string& text) {
    ::XSetForeground(m_display, m_gc, Pixel(layout::kInk));
    const int ascent = m_font != nullptr ? m_font->ascent : 0;
    ::XDrawString(m_display, m_canvas, m_gc, x, y + ascent, text.c_str(),
                  static_cast<int>(text.size()));
  }
  int TextWidth(const std::string& text) const {
    return m_font != nullptr ? ::XTextWidth(m_font, text.c_str(), static_cast<int>(text.size()))
                             : 0;
  }
  int TextHeight() const { return m_font != nullptr ? m_font->ascent + m_font->descent : 0; }

  Display* m_display;
  Window m_window = 0;
  Pixmap m_canvas = 0;
  GC m_gc = nullptr;
  XFontStruct* m_font = nullptr;
  int m_width = 1;
  int m_height = 1;
  CCalibrationRun m_run;
  std::optional<Clock::time_point> m_evaluateAt;
  Clock::time_point m_idleAt;
  std::optional<IntPoint> m_finger;
  std::optional<ReportItem> m_pressed;
  std::int32_t m_ticked = kMappingGrid;
  bool m_reportShown = false;
};

std::string MonitorNames(const DesktopLayout& layout) {
  std::string names;
  for (const MonitorInfo& monitor : layout.monitors) {
    names += (names.empty() ? "" : ", ") + monitor.deviceName;
  }
  return names;
}

// Runs the window until the run ends or the daemon goes; false when it went.
// place: where the window goes, asked again when the screen changes.
bool RunUntilEnded(Display* display, CControlPeer& peer, const std::function<PixelRect()>& place,
                   CCalibrationWindow& window) {
  int eventBase = 0, errorBase = 0;
  ::XRRQueryExtension(display, &eventBase, &errorBase);
  ::XRRSelectInput(display, DefaultRootWindow(display), RRScreenChangeNotifyMask);
  window.Draw();
  for (int wait = window.Tick(); !window.Ended(); wait = window.Tick()) {
    pollfd waits[] = {{ConnectionNumber(display), POLLIN, 0}, {peer.Fd(), POLLIN, 0}};
    ::poll(waits, 2, wait);
    std::vector<std::string> lines;
    const bool open = (waits[1].revents == 0 || peer.Receive(lines));
    for (const std::string& line : lines) {
      window.Touch(line);
    }
    while (::XPending(display) > 0) {
      XEvent event;
      ::XNextEvent(display, &event);
      if (event.type == KeyPress) {
        window.Key(event.xkey);
      } else if (event.type == eventBase + RRScreenChangeNotify) {
        ::XRRUpdateConfiguration(&event);
        window.Place(place());
      }
    }
    if (!open) {
      return false;
    }
    window.Draw();
  }
  return true;
}

}  // namespace

int RunCalibrationWindow(CControlPeer& peer, const std::string& monitor,
                         const std::optional<std::string>& daemonMonitor,
                         const LiveCalibration& inForce) {
  if (!daemonMonitor && !monitor.empty()) {
    std::cerr << "zeltratouch: the daemon has no X display and maps touches over the whole "
                 "screen; give it DISPLAY to calibrate on one monitor\n";
    return 1;
  }
  Display* display = ::XOpenDisplay(nullptr);
  XRandrMonitors monitors;
  if (display == nullptr || !monitors.Open("")) {
    std::cerr << "zeltratouch: calibrate needs an X display with RandR (DISPLAY)\n";
    if (display != nullptr) {
      ::XCloseDisplay(display);
    }
    return 1;
  }
  const std::string name = monitor.empty() ? daemonMonitor.value_or("") : monitor;
  const DesktopLayout layout = monitors.Layout();
  if (!monitor.empty() && !ChooseMonitor(layout, name).named) {
    std::cerr << "zeltratouch: no monitor " << monitor << " on this display (there are "
              << MonitorNames(layout) << ")\n";
    ::XCloseDisplay(display);
    return 1;
  }
  const auto place = [&] {
    return daemonMonitor ? ChooseMonitor(monitors.Layout(), name).monitor.rect
                         : ScreenRect(display);
  };
  std::optional<CCalibrationWindow> window(std::in_place, display, place(), inForce);
  const bool ended = RunUntilEnded(display, peer, place, *window);
  const CCalibrationRun::Ending ending = window->Run().GetEnding();
  const std::string outcome = OutcomeLine(window->Run().GetOutcome());
  window.reset();
  ::XCloseDisplay(display);
  std::string answer;
  if (!ended || (!monitor.empty() && !peer.Send("monitor " + monitor)) || !peer.Send(outcome) ||
      !peer.WaitForLine(kAnswerMs) || !peer.ReadLine(answer)) {
    std::cerr << "zeltratouch: the daemon ended the calibration\n";
    return 1;
  }
  if (answer.rfind("OK", 0) != 0) {
    std::cerr << "zeltratouch: " << answer.substr(answer.rfind("ERR ", 0) == 0 ? 4 : 0) << "\n";
    return 1;
  }
  if (ending == CCalibrationRun::Ending::kCancelled) {
    std::cerr << "zeltratouch: calibration cancelled; the calibration before stays\n";
    return 1;
  }
  std::cout << (ending == CCalibrationRun::Ending::kKept
                    ? "calibration kept and stored"
                    : "new points stored; the mapping stays as it was")
            << "\n";
  return 0;
}

}  // namespace zt
