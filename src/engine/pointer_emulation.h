// How decoded, mapped touches become mouse input: smoothing, the three touch
// modes, the double-tap rule, one-shot right-button emulation, the
// press-and-hold right click and the beep.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "engine/engine_settings.h"
#include "engine/lost_lift_watch.h"
#include "engine/press_and_hold.h"
#include "engine/touch_contact.h"
#include "engine/touch_smoothing.h"
#include "platform/input.h"
#include "platform/log.h"
#include "platform/messages.h"
#include "platform/monitors.h"
#include "platform/threads.h"
#include "platform/touch_injection.h"

namespace zt {

// Frequency and duration of the beep, shared with beep threads that may
// outlive the engine; each beep reads them when its thread runs.
struct BeepTone {
  std::atomic<std::int32_t> freq{600};
  std::atomic<std::int32_t> duration{600};
  IInput* input = nullptr;
};

// What shapes one touch: taken at its touch-down and kept until it ends, so
// that a setting changed meanwhile applies from the next touch.
struct TouchShape {
  std::int32_t mode = kTouchModeNormal;
  std::int32_t holdRight = 0;
  std::int32_t holdZone = kDefaultHoldZone;
  std::int32_t smoothing = kSmoothingOff;
  bool touchOutput = false;  // else the mouse
  bool right = false;        // the one-shot right button selected
  bool plain = false;        // a calibration run's touch
};

// Runs on the reader thread, beside its own timer thread, which presses a
// touch-down the smoother waited on in vain, arms a held touch at its hold
// time and ends a touch whose lift was lost. Its settings are written by
// the user-interface thread at any time (each a single atomic value); each
// touch takes them at its touch-down.
class CPointerEmulation {
public:
  // touchInjection: the system's touch input, for "Output" 1; none: the
  // mouse only. log: where refused touch output is noted; none: nowhere.
  CPointerEmulation(IInput& input, IMessages& messages, IThreads& threads,
                    ITouchInjection* touchInjection = nullptr, ILog* log = nullptr);
  CPointerEmulation(const CPointerEmulation&) = delete;
  CPointerEmulation& operator=(const CPointerEmulation&) = delete;
  // Ends the timer thread.
  virtual ~CPointerEmulation();

  // One touch report at a screen-scale point (0..4095). reading: the
  // controller's own report, which tells a report repeated while a finger
  // rests (two readings may map to one point); none: the point.
  void EmulatePointer(std::int32_t status, std::int32_t x, std::int32_t y,
                      std::optional<IntPoint> reading = std::nullopt);
  // Acts on what is due by the input's tick count (a held touch armed, a
  // lost lift ended); the timer thread calls it as time passes, and a
  // caller that moves that clock may call it at once.
  void CheckTimers();
  // Whether a point in absolute units lies within the double-tap zone of
  // the last touch.
  bool InClickZone(std::int32_t ax, std::int32_t ay) const;

  // Takes the emulation's part of settings (everything but the points).
  // Touch output that the system cannot give falls back to the mouse.
  void ApplyEmulationSettings(const EngineSettings& settings);
  // Touch output was chosen but the system has none: the mouse is used.
  bool TouchOutputMissing() const { return m_bTouchMissing.load() != 0; }
  // The emulation's part of the settings in effect; points are left as given.
  void ReadEmulationSettings(EngineSettings& settings) const;
  // The next first touch counts its double-tap time from now.
  void RestartDoubleTapClock();
  // While set (a calibration run), touches are plain mouse touches as they
  // are read: no smoothing, no press-and-hold, no touch output. A touch in
  // progress when it changes ends there (as ReleaseTouch), so that the
  // finger's next report is a touch of the new kind.
  void SetPlainTouches(bool plain);

  void SetNotifyWindow(WindowHandle window) { m_hNotifyWnd.store(window); }
  // Where touches go: the monitor's rectangle within the virtual desktop.
  // Until it is set, absolute units pass through unchanged. A touch contact
  // in progress is cancelled when they change, and the finger's next report
  // starts a new one.
  void SetDesktop(const PixelRect& monitor, const PixelRect& desk);
  // A display change: the system has cancelled every touch contact (or
  // cancelContacts does, where no system does), and the monitors are now
  // these. One step between two reports: the contact in progress gets no
  // further frame, and the finger's next report starts a new one in the new
  // geometry.
  void ContactCancelledBySystem(const PixelRect& monitor, const PixelRect& desk,
                                const std::function<void()>& cancelContacts = nullptr);
  PixelRect TouchMonitor() const;
  // Lets go of a button that a touch pressed and no lift has released yet,
  // at the last position, and ends a touch contact; the touch is over, and
  // the finger's next report starts a new one, though its lift clicks
  // nothing; from any thread.
  void ReleaseTouch();
  // Whether a touch ended on our side still awaits its lift, which is to
  // click nothing; an engine that takes over from this one is told so.
  bool LiftToSwallow();
  // The finger's next lift, unless a touch-down comes first, clicks
  // nothing: its touch was ended by the engine this one replaces.
  void SwallowNextLift();

  // Right-button emulation: enabled by the stored "Right", selected for
  // one click from the indicator.
  std::atomic<std::int32_t> m_bRightEnabled{0};
  std::atomic<std::int32_t> m_bRightSelected{0};

protected:
  void PostToNotifyWindow(std::uintptr_t wParam, std::intptr_t lParam);

private:
  enum class Button : std::uint8_t { kNone, kLeft, kRight };

  bool InRightState() const;
  void SetDesktopLocked(const PixelRect& monitor, const PixelRect& desk);
  TouchShape CurrentShape() const;
  // The touch in progress is over: lifted, or ended on our side.
  void EndTouch();
  // Ends the touch on our side: what it pressed is let go of, its contact
  // cancelled and the smoother starts afresh.
  void EndTouchHere();
  static void TimerThread(void* emulation);
  void RunTimers();
  // Acts on what is due at now; the milliseconds until the next thing due,
  // none while nothing is.
  std::optional<std::uint32_t> CheckTimersLocked(std::uint32_t now);
  // Milliseconds from now until a touch-down the smoother holds back is
  // pressed without its next reading (0: it is due); none while none will be.
  std::optional<std::uint32_t> StartWaitRemaining(std::uint32_t now) const;
  // Presses a touch-down that the smoother has held back longer than it
  // waits for a next reading.
  void PressWaitingTouchDown(std::uint32_t now);
  void DispatchAll(const SmoothedReports& reports);
  void PostRing(std::intptr_t ring);
  // Tells the ring when a step of the hold armed it.
  void RingAfter(CPressAndHold::State before);
  // One filtered report, through the touch mode, the double-tap rule and
  // press-and-hold to the mouse, or to the touch contact.
  void Dispatch(std::int32_t status, std::int32_t ax, std::int32_t ay);
  void ReleaseHeldButton();
  bool HoldApplies(std::int32_t mode, bool right) const;
  void OnTouchMoves(std::int32_t ax, std::int32_t ay, std::int32_t mode);
  // Touch output: a contact per finger in Normal mode, one tap at the
  // touch-down or the lift in the click modes.
  void EmulateTouch(std::int32_t status, std::int32_t ax, std::int32_t ay, std::int32_t mode);
  IntPoint DesktopPixel(std::int32_t ax, std::int32_t ay) const;
  void UseTouchOutput(bool wanted);
  // The lift of a touch that was held: false when it was not.
  bool OnHeldTouchEnds(std::int32_t ax, std::int32_t ay, std::int32_t mode);
  void OnFirstTouch(std::int32_t ax, std::int32_t ay, std::int32_t mode, bool right);
  void OnTouchEnds(std::int32_t ax, std::int32_t ay, std::int32_t mode, bool right);
  void SendMouse(std::uint32_t flags, std::int32_t ax, std::int32_t ay);
  // The one way a button goes down or up: the event carries the point, and
  // with movePointer a move goes there first where the pointer is elsewhere
  // (a double tap clicks where the pointer is; a lift lets go where it is).
  void PressButton(std::int32_t ax, std::int32_t ay, bool right, bool movePointer = true);
  void ReleaseButton(std::int32_t ax, std::int32_t ay, bool right, bool movePointer = true);
  void NotifyRightClickDone(bool right);
  void BeepAsync();

  IInput& m_input;
  IMessages& m_messages;
  IThreads& m_beepThreads;
  std::shared_ptr<BeepTone> m_tone;
  std::atomic<WindowHandle> m_hNotifyWnd{0};
  mutable std::mutex m_desktopLock;
  PixelRect m_monitor;
  PixelRect m_desk;

  std::atomic<std::int32_t> m_nDTime{0};
  std::atomic<std::int32_t> m_nDZone{1};
  std::atomic<std::int32_t> m_nDZoneX{1};
  std::atomic<std::int32_t> m_nDZoneY{1};
  std::atomic<std::int32_t> m_bBeep{0};
  std::atomic<std::int32_t> m_nTouchMode{kTouchModeNormal};
  std::atomic<std::int32_t> m_nHoldRight{0};
  std::atomic<std::int32_t> m_nHoldZone{kDefaultHoldZone};
  std::atomic<std::int32_t> m_nSmoothing{0};
  std::atomic<std::int32_t> m_bPlainTouches{0};

  // The state of the touch, kept by the reader thread; the lock lets
  // another thread (a stop, the timer) end the touch between two reports.
  std::mutex m_touchLock;
  bool m_touchDown = false;
  TouchShape m_shape;
  CLostLiftWatch m_liftWatch;
  // The finger's touch was ended on our side (a stop, a lost link, a lost
  // lift) and neither its lift nor a new touch-down has come since: that
  // lift is swallowed, also after moves that went on as a touch.
  bool m_liftToSwallow = false;
  std::condition_variable m_timerWake;
  bool m_timerStopping = false;
  ThreadHandle m_hTimer = kNoThread;
  std::int32_t m_nLastX = 0;
  std::int32_t m_nLastY = 0;
  std::uint32_t m_dwLastTouchDown = 0;
  Button m_held = Button::kNone;
  // Where the last move put the pointer, in absolute units.
  std::int32_t m_nPointerX = -1;
  std::int32_t m_nPointerY = -1;
  CPressAndHold m_hold;
  CTouchSmoother m_smoother;
  ITouchInjection* m_pTouchInjection;
  ILog* m_pLog;
  // While touch output is chosen, and until the lift of a touch that went
  // out as a contact.
  std::unique_ptr<CTouchContact> m_pContact;
  bool m_bContactWanted = false;
  // Whether the touch in progress goes out as a contact, chosen at its
  // press and kept until the next one.
  bool m_bTouchAsContact = false;
  std::atomic<std::int32_t> m_nOutput{kOutputMouse};
  std::atomic<std::int32_t> m_bTouchMissing{0};
};

}  // namespace zt
