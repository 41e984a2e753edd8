#include "app/linux/calibration_window.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xrandr.h>
#include <X11/keysym.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <optional>
#include <vector>

#include "app/linux/control_protocol.h"
#include "mapping/calibration_run.h"
#include "mapping/desktop_mapping.h"
#include "mapping/precise_mapper.h"
#include "platform/linux/xrandr_monitors.h"

namespace zt {
namespace {

using Clock = std::chrono::steady_clock;
using State = CCalibrationRun::State;

constexpr auto kEvaluateDelay = std::chrono::milliseconds(1500);
constexpr auto kIdleTick = std::chrono::seconds(1);
// Pixels, as the Windows window draws them at 96 DPI.
constexpr int kTargetRadius = 20;
constexpr int kCrossHalfLength = 23;
constexpr int kStepTextDown = 22;
constexpr int kCountdownLeft = 60;
constexpr int kCountdownDown = 40;
constexpr int kFingerHalfLength = 12;
constexpr int kLineWidth = 560;
constexpr int kLineHeight = 48;
constexpr int kButtonWidth = 170;
constexpr int kButtonHeight = 70;
constexpr int kGap = 30;
constexpr int kReportCountdownDown = 130;
// Screen-scale steps (0..4095) to absolute units.
constexpr std::int32_t kUnitsPerStep = 16;

constexpr unsigned long kHeld = 0x0000FF;
constexpr unsigned long kWaiting = 0x00FF00;
constexpr unsigned long kAgain = 0xFFA000;  // a check target missed once
constexpr unsigned long kInk = 0x000000;
constexpr unsigned long kPaper = 0xFFFFFF;

struct Box {
  int left, top, width, height;
  bool Holds(IntPoint p) const {
    return p.x >= left && p.x < left + width && p.y >= top && p.y < top + height;
  }
};

// The report's controls, in the middle of the window.
enum Control { kStandard, kPrecise, kKeep, kRedo, kCancel, kControlCount, kNoControl };

Box ControlBox(Control control, int width, int height) {
  const int left = (width - kLineWidth) / 2;
  const int top = height / 2 - 2 * kLineHeight - kGap;
  if (control == kStandard || control == kPrecise) {
    return {left, top + control * kLineHeight, kLineWidth, kLineHeight};
  }
  const int buttonsLeft = (width - 3 * kButtonWidth - 2 * kGap) / 2;
  const int index = control - kKeep;
  return {buttonsLeft + index * (kButtonWidth + kGap), height / 2 + kGap, kButtonWidth,
          kButtonHeight};
}

std::string ErrorsText(const char* name, const CheckErrors& errors) {
  char text[96];
  std::snprintf(text, sizeof text, "%s: largest %.1f px, average %.1f px", name, errors.largest,
                errors.average);
  return text;
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
  CCalibrationWindow(Display* display, const PixelRect& monitor)
      : m_display(display), m_run({kDefaultCalibPoints, kMappingGrid}, 1, 1) {
    m_window =
        ::XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, kInk, kPaper);
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
    m_canvas = ::XCreatePixmap(m_display, m_window, static_cast<unsigned>(m_width),
                               static_cast<unsigned>(m_height),
                               static_cast<unsigned>(DefaultDepth(m_display, 0)));
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
      m_idleAt += kIdleTick;
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
      Text(m_width / 2, m_height / 2 + kStepTextDown, step);
    }
    if (m_run.GetState() != State::kTargets && m_finger) {
      Cross(*m_finger, kFingerHalfLength);  // where the new points put the finger
    }
    char countdown[48];
    std::snprintf(countdown, sizeof countdown, "Timeout Count %d sec", m_run.SecondsLeft());
    Text(m_width / 2 - kCountdownLeft,
         m_height / 2 + (report ? kReportCountdownDown : kCountdownDown), countdown);
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
    m_pressed = m_run.GetState() == State::kReport ? ControlAt(*m_finger) : kNoControl;
    if (m_pressed == kStandard || (m_pressed == kPrecise && m_run.Report().preciseUsable)) {
      m_ticked = m_pressed == kPrecise ? kMappingPrecise : kMappingGrid;
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
    const Control released = m_finger ? ControlAt(*m_finger) : kNoControl;
    if (m_run.GetState() == State::kReport && released == m_pressed) {
      if (released == kKeep) {
        m_run.Keep(m_ticked);
      } else if (released == kRedo) {
        m_run.Redo();
      } else if (released == kCancel) {
        m_run.Cancel();
      }
    }
    m_pressed = kNoControl;
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

  Control ControlAt(IntPoint pixel) const {
    for (int control = 0; control < kControlCount; ++control) {
      if (ControlBox(static_cast<Control>(control), m_width, m_height).Holds(pixel)) {
        return static_cast<Control>(control);
      }
    }
    return kNoControl;
  }

  // A circle of 40 pixels, blue while a touch is held and green otherwise
  // (orange for a check target asked again), outlined in black, with a
  // cross-hair reaching 3 pixels beyond it.
  void DrawTarget() {
    const IntPoint centre = m_run.Target();
    ::XSetForeground(m_display, m_gc,
                     m_run.Held()         ? kHeld
                     : m_run.AskedAgain() ? kAgain
                                          : kWaiting);
    ::XFillArc(m_display, m_canvas, m_gc, centre.x - kTargetRadius, centre.y - kTargetRadius,
               2 * kTargetRadius, 2 * kTargetRadius, 0, 360 * 64);
    ::XSetForeground(m_display, m_gc, kInk);
    ::XDrawArc(m_display, m_canvas, m_gc, centre.x - kTargetRadius, centre.y - kTargetRadius,
               2 * kTargetRadius, 2 * kTargetRadius, 0, 360 * 64);
    Cross(centre, kCrossHalfLength);
  }

  void DrawReport() {
    const CheckReport report = m_run.Report();
    const Box heading = ControlBox(kStandard, m_width, m_height);
    Text(heading.left, heading.top - kLineHeight / 2, "How far the check touches landed:");
    const std::string lines[] = {ErrorsText("Standard", report.grid),
                                 report.preciseUsable ? ErrorsText("Precise", report.precise)
                                                      : "Precise: not possible with these points"};
    for (const Control choice : {kStandard, kPrecise}) {
      const Box box = ControlBox(choice, m_width, m_height);
      const bool ticked = (choice == kPrecise) == (m_ticked == kMappingPrecise);
      const int middle = box.top + box.height / 2;
      ::XSetForeground(m_display, m_gc, kInk);
      ::XDrawArc(m_display, m_canvas, m_gc, box.left, middle - 8, 16, 16, 0, 360 * 64);
      if (ticked) {
        ::XFillArc(m_display, m_canvas, m_gc, box.left + 4, middle - 4, 8, 8, 0, 360 * 64);
      }
      Text(box.left + 28, middle - TextHeight() / 2, lines[choice]);
    }
    const char* names[] = {"Keep", "Redo", "Cancel"};
    for (const Control button : {kKeep, kRedo, kCancel}) {
      const Box box = ControlBox(button, m_width, m_height);
      ::XDrawRectangle(m_display, m_canvas, m_gc, box.left, box.top,
                       static_cast<unsigned>(box.width), static_cast<unsigned>(box.height));
      const std::string name = names[button - kKeep];
      Text(box.left + (box.width - TextWidth(name)) / 2, box.top + (box.height - TextHeight()) / 2,
           name);
    }
  }

  void Cross(IntPoint centre, int half) {
    ::XSetForeground(m_display, m_gc, kInk);
    ::XDrawLine(m_display, m_canvas, m_gc, centre.x - half, centre.y, centre.x + half, centre.y);
    ::XDrawLine(m_display, m_canvas, m_gc, centre.x, centre.y - half, centre.x, centre.y + half);
  }

  // Text whose top-left corner is at x, y.
  void Text(int x, int y, const std::string& text) {
    ::XSetForeground(m_display, m_gc, kInk);
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
  Control m_pressed = kNoControl;
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
bool RunUntilEnded(Display* display, CControlPeer& peer, XRandrMonitors& monitors,
                   const std::string& name, CCalibrationWindow& window) {
  int eventBase = 0, errorBase = 0;
  ::XRRQueryExtension(display, &eventBase, &errorBase);
  ::XRRSelectInput(display, DefaultRootWindow(display), RRScreenChangeNotifyMask);
  window.Draw();
  while (!window.Ended()) {
    pollfd waits[] = {{ConnectionNumber(display), POLLIN, 0}, {peer.Fd(), POLLIN, 0}};
    ::poll(waits, 2, window.Tick());
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
        window.Place(ChooseMonitor(monitors.Layout(), name).monitor.rect);
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
                         const std::string& configuredMonitor) {
  Display* display = ::XOpenDisplay(nullptr);
  XRandrMonitors monitors;
  if (display == nullptr || !monitors.Open("")) {
    std::cerr << "zeltratouch: calibrate needs an X display with RandR (DISPLAY)\n";
    if (display != nullptr) {
      ::XCloseDisplay(display);
    }
    return 1;
  }
  const std::string name = monitor.empty() ? configuredMonitor : monitor;
  const DesktopLayout layout = monitors.Layout();
  const MonitorChoice choice = ChooseMonitor(layout, name);
  if (!monitor.empty() && !choice.named) {
    std::cerr << "zeltratouch: no monitor " << monitor << " on this display (there are "
              << MonitorNames(layout) << ")\n";
    ::XCloseDisplay(display);
    return 1;
  }
  std::optional<CCalibrationWindow> window(std::in_place, display, choice.monitor.rect);
  const bool ended = RunUntilEnded(display, peer, monitors, name, *window);
  const CCalibrationRun::Ending ending = window->Run().GetEnding();
  const std::string outcome = OutcomeLine(window->Run().GetOutcome());
  window.reset();
  ::XCloseDisplay(display);
  std::string answer;
  if (!ended || (!monitor.empty() && !peer.Send("monitor " + monitor)) || !peer.Send(outcome) ||
      !peer.ReadLine(answer)) {
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
