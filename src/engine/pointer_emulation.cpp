#include "engine/pointer_emulation.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <new>
#include <utility>

#include "engine/controller_protocol.h"
#include "engine/window_messages.h"
#include "mapping/desktop_mapping.h"

namespace zt {
namespace {

constexpr std::int32_t kAbsoluteUnitsPerStep = 16;

// What each touch mode does, for the mouse and for touch output alike.
struct TouchModeRule {
  bool pressAtTouch;
  bool releaseAtTouch;  // else at the lift
  bool pressAtLift;
};
constexpr TouchModeRule kNormalRule{true, false, false};
constexpr TouchModeRule kClickOnTouchRule{true, true, false};
constexpr TouchModeRule kClickOnReleaseRule{false, false, true};

const TouchModeRule& RuleOf(std::int32_t mode) {
  return mode == kTouchModeClickOnTouch     ? kClickOnTouchRule
         : mode == kTouchModeClickOnRelease ? kClickOnReleaseRule
                                            : kNormalRule;
}

void BeepThread(void* argument) {
  // The thread owns one reference to the tone, so the engine may go first.
  std::unique_ptr<std::shared_ptr<BeepTone>> tone(
      static_cast<std::shared_ptr<BeepTone>*>(argument));
  const BeepTone& current = **tone;
  current.input->Beep(static_cast<std::uint32_t>(current.freq.load(std::memory_order_relaxed)),
                      static_cast<std::uint32_t>(current.duration.load(std::memory_order_relaxed)));
}

}  // namespace

CPointerEmulation::CPointerEmulation(IInput& input, IMessages& messages, IThreads& threads,
                                     ITouchInjection* touchInjection, ILog* log)
    : m_input(input),
      m_messages(messages),
      m_beepThreads(threads),
      m_tone(std::make_shared<BeepTone>()),
      m_dwLastTouchDown(input.GetTickCount()),
      m_pTouchInjection(touchInjection),
      m_pLog(log) {
  m_tone->input = &input;
  m_nDTime.store(static_cast<std::int32_t>(input.GetDoubleClickTime()));
  m_hTimer = m_beepThreads.CreateThread(&CPointerEmulation::TimerThread, this);
}

CPointerEmulation::~CPointerEmulation() {
  {
    const std::lock_guard<std::mutex> lock(m_touchLock);
    m_timerStopping = true;
  }
  m_timerWake.notify_all();
  if (m_hTimer != kNoThread) {
    m_beepThreads.WaitForThread(m_hTimer);
    m_beepThreads.CloseThread(m_hTimer);
  }
}

void CPointerEmulation::TimerThread(void* emulation) {
  static_cast<CPointerEmulation*>(emulation)->RunTimers();
}

// Asleep while no touch waits for anything; while one does, until the next
// thing is due, measured again on waking since a report may have come
// meanwhile.
void CPointerEmulation::RunTimers() {
  std::unique_lock<std::mutex> lock(m_touchLock);
  while (!m_timerStopping) {
    const std::optional<std::uint32_t> due = CheckTimersLocked(m_input.GetTickCount());
    if (!due) {
      m_timerWake.wait(lock);
    } else {
      m_timerWake.wait_for(lock, std::chrono::milliseconds(std::max<std::uint32_t>(*due, 1)));
    }
  }
}

void CPointerEmulation::CheckTimers() {
  const std::lock_guard<std::mutex> lock(m_touchLock);
  CheckTimersLocked(m_input.GetTickCount());
}

// A held touch is armed at its hold time, report or not; a touch the
// controller has left silent too long lost its lift, and ends as if it had
// been stopped, before anything else presses it; a touch-down that waited
// in vain for its readings to agree is pressed.
std::optional<std::uint32_t> CPointerEmulation::CheckTimersLocked(std::uint32_t now) {
  const CPressAndHold::State before = m_hold.GetState();
  m_hold.Tick(now);
  RingAfter(before);
  const std::optional<std::uint32_t> silence = m_liftWatch.Remaining(now);
  if (silence == 0U) {
    if (m_pLog != nullptr) {
      m_pLog->Write(
          "The controller went silent with a finger down: its lift was lost; the "
          "touch ends there");
    }
    EndTouchHere();
    m_liftToSwallow = true;
    return std::nullopt;
  }
  PressWaitingTouchDown(now);
  std::optional<std::uint32_t> soonest;
  for (const std::optional<std::uint32_t> due :
       {silence, m_hold.Remaining(now), StartWaitRemaining(now)}) {
    if (due && (!soonest || *due < *soonest)) {
      soonest = due;
    }
  }
  return soonest;
}

// A controller that reports only changes sends a single reading for a
// finger that lands and stays still: the press cannot wait for a second.
// One seen to report while a finger rests sends a next reading however late
// it comes, unless the link broke (a lost lift then ends the touch): its
// touch-down waits for readings that agree, so that a wild first one is
// never pressed on. Until a controller has shown which it is (the first
// touches after a start), a touch-down is pressed on what there is, so that
// a finger that lands and stays still is pressed on either kind.
std::optional<std::uint32_t> CPointerEmulation::StartWaitRemaining(std::uint32_t now) const {
  if (!m_touchDown || m_liftWatch.ReportsAtRest()) {
    return std::nullopt;
  }
  return m_smoother.StartWaitRemaining(now);
}

void CPointerEmulation::PressWaitingTouchDown(std::uint32_t now) {
  if (StartWaitRemaining(now) == 0U) {
    DispatchAll(m_smoother.Expire(m_shape.smoothing, m_shape.holdZone, now));
  }
}

void CPointerEmulation::DispatchAll(const SmoothedReports& reports) {
  for (const FilteredReport& report : reports) {
    Dispatch(report.status, report.point.x, report.point.y);
  }
}

void CPointerEmulation::ApplyEmulationSettings(const EngineSettings& settings) {
  m_nDTime.store(settings.dTime, std::memory_order_relaxed);
  m_nDZone.store(settings.dZone, std::memory_order_relaxed);
  m_nDZoneX.store(settings.dZoneX, std::memory_order_relaxed);
  m_nDZoneY.store(settings.dZoneY, std::memory_order_relaxed);
  m_bBeep.store(settings.beep, std::memory_order_relaxed);
  m_tone->freq.store(settings.freq, std::memory_order_relaxed);
  m_tone->duration.store(settings.duration, std::memory_order_relaxed);
  m_nTouchMode.store(settings.touchMode, std::memory_order_relaxed);
  m_nHoldRight.store(settings.holdRight, std::memory_order_relaxed);
  m_nHoldZone.store(settings.holdZone, std::memory_order_relaxed);
  m_nSmoothing.store(settings.smoothing, std::memory_order_relaxed);
  m_nOutput.store(settings.output, std::memory_order_relaxed);
  UseTouchOutput(settings.output == kOutputTouch);
}

// The contact and its refresher exist only while touch output is chosen and
// the system gives it.
void CPointerEmulation::UseTouchOutput(bool wanted) {
  const std::lock_guard<std::mutex> lock(m_touchLock);
  m_bContactWanted = wanted;
  if (!wanted) {
    if (!(m_touchDown && m_shape.touchOutput)) {
      m_pContact.reset();  // else at the touch's end
    }
  } else if (!m_pContact && m_pTouchInjection != nullptr && m_pTouchInjection->Initialize()) {
    auto contact =
        std::make_unique<CTouchContact>(*m_pTouchInjection, m_beepThreads, m_input, m_pLog);
    contact->SetDesktop(m_desk);
    if (contact->Start()) {
      m_pContact = std::move(contact);
    }
  }
  m_bTouchMissing.store(wanted && !m_pContact ? 1 : 0);
}

void CPointerEmulation::ReadEmulationSettings(EngineSettings& settings) const {
  settings.dTime = m_nDTime.load(std::memory_order_relaxed);
  settings.dZone = m_nDZone.load(std::memory_order_relaxed);
  settings.dZoneX = m_nDZoneX.load(std::memory_order_relaxed);
  settings.dZoneY = m_nDZoneY.load(std::memory_order_relaxed);
  settings.beep = m_bBeep.load(std::memory_order_relaxed);
  settings.freq = m_tone->freq.load(std::memory_order_relaxed);
  settings.duration = m_tone->duration.load(std::memory_order_relaxed);
  settings.touchMode = m_nTouchMode.load(std::memory_order_relaxed);
  settings.holdRight = m_nHoldRight.load(std::memory_order_relaxed);
  settings.holdZone = m_nHoldZone.load(std::memory_order_relaxed);
  settings.smoothing = m_nSmoothing.load(std::memory_order_relaxed);
  settings.output = m_nOutput.load(std::memory_order_relaxed);
}

void CPointerEmulation::RestartDoubleTapClock() {
  m_dwLastTouchDown = m_input.GetTickCount();
}

// A touch-down, or a report with no touch in progress (its touch-down was
// lost, or the touch was ended on our side), starts a touch with the
// settings of the moment. A touch-down while a touch is in progress means
// that touch's lift never arrived: it ends first.
void CPointerEmulation::EmulatePointer(std::int32_t status, std::int32_t x, std::int32_t y,
                                       std::optional<IntPoint> reading) {
  if (status != kTouchBegins && status != kTouchContinues && status != kTouchEnds) {
    return;
  }
  {
    const std::lock_guard<std::mutex> lock(m_touchLock);
    // What is due is done as the timer would have, had it come first, so
    // that a report never races it: a waiting touch-down is pressed (the
    // report is then a move), a lost lift ends its touch.
    CheckTimersLocked(m_input.GetTickCount());
    // The lift of a touch ended on our side clicks nothing, whatever the
    // finger's moves did since; a touch-down means that lift was lost.
    if (status == kTouchBegins) {
      m_liftToSwallow = false;
    } else if (status == kTouchEnds && std::exchange(m_liftToSwallow, false)) {
      EndTouchHere();
      return;
    }
    if (status == kTouchBegins && m_touchDown) {
      ReleaseHeldButton();
      EndTouch();
    }
    if (!m_touchDown) {
      m_shape = CurrentShape();
      m_touchDown = true;
    }
    const IntPoint point{std::min(x, kScaleMax) * kAbsoluteUnitsPerStep,
                         std::min(y, kScaleMax) * kAbsoluteUnitsPerStep};
    m_liftWatch.Report(status, reading.value_or(point), m_input.GetTickCount());
    DispatchAll(m_smoother.Filter(status, point, m_shape.plain ? kSmoothingOff : m_shape.smoothing,
                                  m_shape.holdZone, m_input.GetTickCount()));
    if (status == kTouchEnds) {
      EndTouch();
    }
  }
  m_timerWake.notify_all();
}

TouchShape CPointerEmulation::CurrentShape() const {
  TouchShape shape;
  shape.mode = m_nTouchMode.load(std::memory_order_relaxed);
  if (shape.mode != kTouchModeClickOnTouch && shape.mode != kTouchModeClickOnRelease) {
    shape.mode = kTouchModeNormal;
  }
  shape.holdRight = m_nHoldRight.load(std::memory_order_relaxed);
  shape.holdZone = m_nHoldZone.load(std::memory_order_relaxed);
  shape.smoothing = m_nSmoothing.load(std::memory_order_relaxed);
  shape.touchOutput = m_nOutput.load(std::memory_order_relaxed) == kOutputTouch;
  shape.right = InRightState();
  shape.plain = m_bPlainTouches.load(std::memory_order_relaxed) != 0;
  return shape;
}

void CPointerEmulation::EndTouch() {
  m_touchDown = false;
  m_liftWatch.End();
  if (!m_bContactWanted) {
    m_pContact.reset();  // touch output was turned off during the touch
  }
}

void CPointerEmulation::Dispatch(std::int32_t status, std::int32_t ax, std::int32_t ay) {
  const std::int32_t mode = m_shape.mode;
  const bool right = m_shape.right;
  // A button still down or a contact still in progress means the last
  // touch's lift never arrived. Mouse or touch is chosen here for the whole
  // touch, as it was at the touch-down; the one-shot right button is a
  // mouse click also with touch output.
  if (status == kTouchBegins) {
    ReleaseHeldButton();
    m_bTouchAsContact = m_pContact && m_shape.touchOutput && !right && !m_shape.plain;
  }
  if (m_bTouchAsContact) {
    if (m_pContact) {
      EmulateTouch(status, ax, ay, mode);
    }
    return;
  }
  switch (status) {
    case kTouchContinues:
      OnTouchMoves(ax, ay, mode);
      m_nLastX = ax;
      m_nLastY = ay;
      break;
    case kTouchBegins:
      OnFirstTouch(ax, ay, mode, right);
      m_nLastX = ax;
      m_nLastY = ay;
      break;
    case kTouchEnds:
      if (!OnHeldTouchEnds(ax, ay, mode)) {
        OnTouchEnds(ax, ay, mode, right);
      }
      break;
    default:
      break;
  }
}

// The system makes clicks, double taps and press-and-hold of the contact
// itself, so neither the double-tap rule nor HoldRight applies here.
void CPointerEmulation::EmulateTouch(std::int32_t status, std::int32_t ax, std::int32_t ay,
                                     std::int32_t mode) {
  const IntPoint pixel = DesktopPixel(ax, ay);
  const TouchModeRule& rule = RuleOf(mode);
  if ((status == kTouchBegins && rule.pressAtTouch) || (status == kTouchEnds && rule.pressAtLift)) {
    m_pContact->Down(pixel);
    BeepAsync();
  } else if (status == kTouchContinues) {
    m_pContact->Move(pixel);  // nothing without a contact down
  }
  if ((status == kTouchBegins && rule.releaseAtTouch) || status == kTouchEnds) {
    m_pContact->Up(pixel);
  }
  m_nLastX = ax;
  m_nLastY = ay;
}

IntPoint CPointerEmulation::DesktopPixel(std::int32_t ax, std::int32_t ay) const {
  const std::lock_guard<std::mutex> lock(m_desktopLock);
  return MonitorPixel(m_monitor, ax, ay);
}

// Press-and-hold: Normal and Click On Release, the left button, not in a
// calibration run.
bool CPointerEmulation::HoldApplies(std::int32_t mode, bool right) const {
  return m_shape.holdRight > 0 && !right && mode != kTouchModeClickOnTouch && !m_shape.plain;
}

// A touch that may become a right click rests in Normal mode without a
// press.
void CPointerEmulation::OnFirstTouch(std::int32_t ax, std::int32_t ay, std::int32_t mode,
                                     bool right) {
  // The tick counter wraps every 2^32 ms: the unsigned difference is the
  // time elapsed across a wrap too, and is never taken for a negative one.
  const std::uint32_t now = m_input.GetTickCount();
  const std::uint32_t elapsed = now - m_dwLastTouchDown;
  m_dwLastTouchDown = now;
  const std::int32_t dTime = m_nDTime.load(std::memory_order_relaxed);
  if (dTime > 0 && elapsed < static_cast<std::uint32_t>(dTime) && InClickZone(ax, ay)) {
    // A double tap clicks where the pointer already is.
    PressButton(ax, ay, right, false);
    ReleaseButton(ax, ay, right, false);
    return;
  }
  SendMouse(mouse::kMove, ax, ay);
  const TouchModeRule& rule = RuleOf(mode);
  const bool hold = HoldApplies(mode, right);
  if (hold) {
    m_hold.Begin({ax, ay}, now, static_cast<std::uint32_t>(m_shape.holdRight), m_shape.holdZone);
    PostRing(RingFilling(static_cast<std::uint32_t>(m_shape.holdRight)));
  }
  if (rule.pressAtTouch) {
    if (!hold) {
      PressButton(ax, ay, right);
    }
    BeepAsync();
  }
  if (rule.releaseAtTouch) {
    ReleaseButton(ax, ay, right);
    NotifyRightClickDone(right);
  }
}

// A held touch that leaves the tolerance (armed or not: the ring goes) is
// a left touch from where it went down: in Normal mode a drag from there.
void CPointerEmulation::OnTouchMoves(std::int32_t ax, std::int32_t ay, std::int32_t mode) {
  const CPressAndHold::State before = m_hold.GetState();
  if (m_hold.Holding() &&
      m_hold.Move({ax, ay}, m_input.GetTickCount()) == CPressAndHold::State::kLeft) {
    PostRing(kRingHidden);
    if (mode == kTouchModeNormal) {
      PressButton(m_hold.Origin().x, m_hold.Origin().y, false);
    }
  }
  RingAfter(before);
  SendMouse(mouse::kMove, ax, ay);
}

// The lift of a held touch: armed, a right click where it went down;
// before the hold time, a left click (Normal mode: pressed where it went
// down and let go there too while the lift lies within the tolerance; Click
// On Release clicks at the lift as always).
bool CPointerEmulation::OnHeldTouchEnds(std::int32_t ax, std::int32_t ay, std::int32_t mode) {
  if (!m_hold.Holding()) {
    return false;
  }
  const IntPoint origin = m_hold.Origin();
  const CPressAndHold::State found = m_hold.Lift();
  PostRing(kRingHidden);
  if (found == CPressAndHold::State::kArmed) {
    PressButton(origin.x, origin.y, true);
    ReleaseButton(origin.x, origin.y, true);
    return true;
  }
  if (mode != kTouchModeNormal) {
    return false;
  }
  const IntPoint release = m_hold.InTolerance({ax, ay}) ? origin : IntPoint{ax, ay};
  PressButton(origin.x, origin.y, false);
  ReleaseButton(release.x, release.y, false);
  return true;
}

void CPointerEmulation::PostRing(std::intptr_t ring) {
  const IntPoint at = m_hold.Origin();
  const std::uintptr_t packed =
      ring != kRingHidden
          ? (static_cast<std::uint32_t>(at.x) | (static_cast<std::uint32_t>(at.y) << 16))
          : 0U;
  m_messages.Post(m_hNotifyWnd.load(), kWmHoldRing, packed, ring);
}

void CPointerEmulation::RingAfter(CPressAndHold::State before) {
  if (before == CPressAndHold::State::kResting &&
      m_hold.GetState() == CPressAndHold::State::kArmed) {
    PostRing(kRingArmed);
  }
}

void CPointerEmulation::OnTouchEnds(std::int32_t ax, std::int32_t ay, std::int32_t mode,
                                    bool right) {
  const TouchModeRule& rule = RuleOf(mode);
  if (rule.pressAtLift) {
    SendMouse(mouse::kMove, ax, ay);
    PressButton(ax, ay, right);
    BeepAsync();
  }
  if (!rule.releaseAtTouch) {
    // The lift lets go of the button its press pressed, whatever the
    // indicator says by now.
    const bool releaseRight = m_held == Button::kNone ? right : m_held == Button::kRight;
    if (m_held != Button::kNone) {  // none after a double tap, or with no touch-down seen
      ReleaseButton(ax, ay, releaseRight, false);
    }
    NotifyRightClickDone(releaseRight);
  }
}

bool CPointerEmulation::InClickZone(std::int32_t ax, std::int32_t ay) const {
  const std::int64_t dx = std::llabs(static_cast<std::int64_t>(ax) - m_nLastX);
  const std::int64_t dy = std::llabs(static_cast<std::int64_t>(ay) - m_nLastY);
  return dx <= m_nDZoneX.load(std::memory_order_relaxed) &&
         dy <= m_nDZoneY.load(std::memory_order_relaxed);
}

void CPointerEmulation::BeepAsync() {
  if (m_bBeep.load(std::memory_order_relaxed) == 0) {
    return;
  }
  auto* tone = new (std::nothrow) std::shared_ptr<BeepTone>(m_tone);
  if (tone == nullptr) {
    return;
  }
  const ThreadHandle thread = m_beepThreads.CreateThread(&BeepThread, tone);
  if (thread == kNoThread) {
    delete tone;
    return;
  }
  m_beepThreads.CloseThread(thread);
}

bool CPointerEmulation::InRightState() const {
  return m_bRightEnabled.load(std::memory_order_relaxed) != 0 &&
         m_bRightSelected.load(std::memory_order_relaxed) != 0;
}

void CPointerEmulation::SetDesktop(const PixelRect& monitor, const PixelRect& desk) {
  const std::lock_guard<std::mutex> touchLock(m_touchLock);
  SetDesktopLocked(monitor, desk);
}

void CPointerEmulation::SetDesktopLocked(const PixelRect& monitor, const PixelRect& desk) {
  if (m_pContact) {
    if (!(monitor == m_monitor && desk == m_desk)) {
      m_pContact->Restart();
    }
    m_pContact->SetDesktop(desk);
  }
  const std::lock_guard<std::mutex> lock(m_desktopLock);
  m_monitor = monitor;
  m_desk = desk;
}

// Our contact is dropped before the system's goes, so that the refresher
// sends it no frame the system would refuse.
void CPointerEmulation::ContactCancelledBySystem(const PixelRect& monitor, const PixelRect& desk,
                                                 const std::function<void()>& cancelContacts) {
  const std::lock_guard<std::mutex> lock(m_touchLock);
  if (m_pContact) {
    m_pContact->DropCancelledBySystem();
  }
  if (cancelContacts) {
    cancelContacts();
  }
  SetDesktopLocked(monitor, desk);
}

PixelRect CPointerEmulation::TouchMonitor() const {
  const std::lock_guard<std::mutex> lock(m_desktopLock);
  return m_monitor;
}

// Always over the whole virtual desktop: plain absolute input reaches the
// primary monitor on Windows but the whole desktop under Wine.
void CPointerEmulation::SendMouse(std::uint32_t flags, std::int32_t ax, std::int32_t ay) {
  IntPoint point;
  {
    const std::lock_guard<std::mutex> lock(m_desktopLock);
    point = ToVirtualDesk(m_monitor, m_desk, ax, ay);
  }
  m_input.MouseEvent(mouse::kAbsolute | mouse::kVirtualDesk | flags, point.x, point.y, 0,
                     m_input.GetMessageExtraInfo());
  if ((flags & mouse::kMove) != 0) {
    m_nPointerX = ax;
    m_nPointerY = ay;
  }
}

void CPointerEmulation::PressButton(std::int32_t ax, std::int32_t ay, bool right,
                                    bool movePointer) {
  if (movePointer && (ax != m_nPointerX || ay != m_nPointerY)) {
    SendMouse(mouse::kMove, ax, ay);
  }
  SendMouse(right ? mouse::kRightDown : mouse::kLeftDown, ax, ay);
  m_held = right ? Button::kRight : Button::kLeft;
}

void CPointerEmulation::ReleaseButton(std::int32_t ax, std::int32_t ay, bool right,
                                      bool movePointer) {
  if (movePointer && (ax != m_nPointerX || ay != m_nPointerY)) {
    SendMouse(mouse::kMove, ax, ay);
  }
  SendMouse(right ? mouse::kRightUp : mouse::kLeftUp, ax, ay);
  m_held = Button::kNone;
}

void CPointerEmulation::SetPlainTouches(bool plain) {
  if (m_bPlainTouches.exchange(plain ? 1 : 0) != (plain ? 1 : 0)) {
    ReleaseTouch();
  }
}

void CPointerEmulation::ReleaseTouch() {
  const std::lock_guard<std::mutex> lock(m_touchLock);
  m_liftToSwallow = m_liftToSwallow || m_touchDown;
  EndTouchHere();
}

bool CPointerEmulation::LiftToSwallow() {
  const std::lock_guard<std::mutex> lock(m_touchLock);
  return m_liftToSwallow;
}

// With touch output the rest of that touch stays off the mouse, as its
// cancelled contact would have kept it.
void CPointerEmulation::SwallowNextLift() {
  const std::lock_guard<std::mutex> lock(m_touchLock);
  m_liftToSwallow = true;
  m_bTouchAsContact = m_pContact != nullptr;
}

void CPointerEmulation::EndTouchHere() {
  ReleaseHeldButton();
  m_smoother.Reset();
  EndTouch();
}

void CPointerEmulation::ReleaseHeldButton() {
  if (m_hold.Holding()) {
    m_hold.Cancel();
    PostRing(kRingHidden);
  }
  if (m_pContact) {
    m_pContact->Cancel();  // the finger did not lift: no tap, no drop
  }
  if (m_held != Button::kNone) {
    ReleaseButton(m_nLastX, m_nLastY, m_held == Button::kRight, false);
  }
}

void CPointerEmulation::NotifyRightClickDone(bool right) {
  if (right) {
    PostToNotifyWindow(0, kNotifyRightClickDone);
  }
}

void CPointerEmulation::PostToNotifyWindow(std::uintptr_t wParam, std::intptr_t lParam) {
  m_messages.Post(m_hNotifyWnd.load(), kWmNotifyMain, wParam, lParam);
}

}  // namespace zt
