// How decoded, mapped touches become mouse input: the three touch modes, the
// double-tap rule, one-shot right-button emulation and the beep.
#include <algorithm>
#include <cstdlib>

#include "engine/touch_driver.h"

namespace zt {
namespace {

constexpr std::int32_t kScreenScaleLimit = 4095;
constexpr std::int32_t kAbsoluteUnitsPerStep = 16;

void BeepThread(void* argument) {
  // The thread owns one reference to the tone, so the engine may go first.
  std::unique_ptr<std::shared_ptr<BeepTone>> tone(
      static_cast<std::shared_ptr<BeepTone>*>(argument));
  const BeepTone& current = **tone;
  current.input->Beep(static_cast<std::uint32_t>(current.freq.load(std::memory_order_relaxed)),
                      static_cast<std::uint32_t>(current.duration.load(std::memory_order_relaxed)));
}

}  // namespace

void CTouchDriver::EmulatePointer(std::int32_t status, std::int32_t x, std::int32_t y) {
  const std::int32_t ax = std::min(x, kScreenScaleLimit) * kAbsoluteUnitsPerStep;
  const std::int32_t ay = std::min(y, kScreenScaleLimit) * kAbsoluteUnitsPerStep;
  std::int32_t mode = m_nTouchMode.load(std::memory_order_relaxed);
  if (mode != kTouchModeClickOnTouch && mode != kTouchModeClickOnRelease) {
    mode = kTouchModeNormal;
  }
  // One reading of the right state serves the whole report.
  const bool right = InRightState();

  switch (status) {
    case kTouchContinues:
      SendMouse(mouse::kMove, ax, ay);
      m_nLastX = ax;
      m_nLastY = ay;
      break;
    case kTouchBegins:
      OnFirstTouch(ax, ay, mode, right);
      m_nLastX = ax;
      m_nLastY = ay;
      break;
    case kTouchEnds:
      OnTouchEnds(ax, ay, mode, right);
      break;
    default:
      break;
  }
}

void CTouchDriver::OnFirstTouch(std::int32_t ax, std::int32_t ay, std::int32_t mode, bool right) {
  const std::uint32_t elapsed = m_input.GetTickCount() - m_dwLastTouchDown;
  m_dwLastTouchDown = m_input.GetTickCount();
  // The wrapped difference, compared as a signed number: elapsed < DTime.
  const auto sinceDoubleClickTime = static_cast<std::int32_t>(
      elapsed - static_cast<std::uint32_t>(m_nDTime.load(std::memory_order_relaxed)));
  if (sinceDoubleClickTime < 0 && InClickZone(ax, ay)) {
    // A double tap clicks where the pointer already is.
    PressButton(ax, ay, right);
    ReleaseButton(ax, ay, right);
    return;
  }
  SendMouse(mouse::kMove, ax, ay);
  if (mode != kTouchModeClickOnRelease) {
    PressButton(ax, ay, right);
    BeepAsync();
  }
  if (mode == kTouchModeClickOnTouch) {
    ReleaseButton(ax, ay, right);
    NotifyRightClickDone(right);
  }
}

void CTouchDriver::OnTouchEnds(std::int32_t ax, std::int32_t ay, std::int32_t mode, bool right) {
  if (mode == kTouchModeClickOnRelease) {
    SendMouse(mouse::kMove, ax, ay);
    PressButton(ax, ay, right);
    BeepAsync();
  }
  if (mode != kTouchModeClickOnTouch) {
    ReleaseButton(ax, ay, right);
    NotifyRightClickDone(right);
  }
}

bool CTouchDriver::InClickZone(std::int32_t ax, std::int32_t ay) const {
  const std::int64_t dx = std::llabs(static_cast<std::int64_t>(ax) - m_nLastX);
  const std::int64_t dy = std::llabs(static_cast<std::int64_t>(ay) - m_nLastY);
  return dx <= m_nDZoneX.load(std::memory_order_relaxed) &&
         dy <= m_nDZoneY.load(std::memory_order_relaxed);
}

void CTouchDriver::BeepAsync() {
  if (m_bBeep.load(std::memory_order_relaxed) == 0) {
    return;
  }
  auto* tone = new std::shared_ptr<BeepTone>(m_tone);
  const ThreadHandle thread = m_threads.CreateThread(&BeepThread, tone);
  if (thread == kNoThread) {
    delete tone;
    return;
  }
  m_threads.CloseThread(thread);
}

bool CTouchDriver::InRightState() const {
  return m_bRightEnabled.load(std::memory_order_relaxed) != 0 &&
         m_bRightSelected.load(std::memory_order_relaxed) != 0;
}

void CTouchDriver::SendMouse(std::uint32_t flags, std::int32_t ax, std::int32_t ay) {
  m_input.MouseEvent(mouse::kAbsolute | flags, ax, ay, 0, m_input.GetMessageExtraInfo());
}

void CTouchDriver::PressButton(std::int32_t ax, std::int32_t ay, bool right) {
  SendMouse(right ? mouse::kRightDown : mouse::kLeftDown, ax, ay);
}

void CTouchDriver::ReleaseButton(std::int32_t ax, std::int32_t ay, bool right) {
  SendMouse(right ? mouse::kRightUp : mouse::kLeftUp, ax, ay);
}

void CTouchDriver::NotifyRightClickDone(bool right) {
  if (right) {
    m_messages.Post(m_hNotifyWnd.load(), kWmRightClickDone, 0, 1);
  }
}

}  // namespace zt
