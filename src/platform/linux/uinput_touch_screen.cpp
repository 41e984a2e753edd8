#include "platform/linux/uinput_touch_screen.h"

#include <linux/uinput.h>

#include <algorithm>
#include <vector>

namespace zt {
namespace {

constexpr char kDeviceName[] = "ZeltraTouch touch screen";
constexpr std::uint16_t kProduct = 0x0002;
// The error of a device that took no events (ERROR_GEN_FAILURE).
constexpr std::uint32_t kErrorNotWritten = 31;

}  // namespace

UinputTouchScreen::~UinputTouchScreen() {
  if (m_created) {
    m_node.Control(UI_DEV_DESTROY, 0);
  }
}

bool UinputTouchScreen::Initialize() {
  m_desk = m_monitors.Layout().virtualDesk;
  return !m_desk.IsEmpty() && (m_created || Create());
}

bool UinputTouchScreen::Create() {
  if (!m_node.Open()) {
    return false;
  }
  bool ok = m_node.Control(UI_SET_PROPBIT, INPUT_PROP_DIRECT);
  for (const int type : {EV_KEY, EV_ABS, EV_SYN}) {
    ok = ok && m_node.Control(UI_SET_EVBIT, type);
  }
  ok = ok && m_node.Control(UI_SET_KEYBIT, BTN_TOUCH);
  const struct {
    int code;
    std::int32_t maximum;
  } axes[] = {{ABS_X, kAxisMax},
              {ABS_Y, kAxisMax},
              {ABS_MT_SLOT, 0},
              {ABS_MT_TRACKING_ID, kAxisMax},
              {ABS_MT_TOOL_TYPE, MT_TOOL_PALM},
              {ABS_MT_POSITION_X, kAxisMax},
              {ABS_MT_POSITION_Y, kAxisMax}};
  for (const auto& axis : axes) {
    ok = ok && DeclareAxis(m_node, axis.code, axis.maximum);
  }
  m_created = ok && MakeDevice(m_node, kDeviceName, kProduct);
  return m_created;
}

// The pixel's place along an axis of length pixels, as a fraction of the
// device's axis (the last pixel on its maximum).
std::int32_t UinputTouchScreen::Axis(std::int32_t pixel, std::int32_t origin,
                                     std::int32_t length) const {
  const std::int64_t offset = std::clamp(pixel - origin, 0, std::max(length - 1, 0));
  return length > 1 ? static_cast<std::int32_t>(offset * kAxisMax / (length - 1)) : 0;
}

void UinputTouchScreen::AppendLift(std::vector<input_event>& events) {
  events.push_back(UinputEvent(EV_ABS, ABS_MT_TRACKING_ID, -1));
  events.push_back(UinputEvent(EV_KEY, BTN_TOUCH, 0));
}

// A cancelled contact turns into a palm for one report before it lifts:
// libinput ends such a touch as cancelled, not as a tap or a drop.
void UinputTouchScreen::AppendCancel(std::vector<input_event>& events) {
  events.push_back(UinputEvent(EV_ABS, ABS_MT_TOOL_TYPE, MT_TOOL_PALM));
  events.push_back(UinputEvent(EV_SYN, SYN_REPORT, 0));
  AppendLift(events);
}

void UinputTouchScreen::CancelContact() {
  const std::lock_guard<std::mutex> lock(m_lock);
  if (!m_inContact) {
    return;
  }
  std::vector<input_event> events = {UinputEvent(EV_ABS, ABS_MT_SLOT, 0)};
  AppendCancel(events);
  events.push_back(UinputEvent(EV_SYN, SYN_REPORT, 0));
  m_inContact = !m_node.Write(events.data(), events.size());
}

std::uint32_t UinputTouchScreen::Inject(const TouchFrame& frame) {
  const std::lock_guard<std::mutex> lock(m_lock);
  const bool down = (frame.flags & touch::kDown) != 0;
  const bool up = (frame.flags & touch::kUp) != 0;
  const bool cancelled = (frame.flags & touch::kCanceled) != 0;
  if (!m_created) {
    return touch::kStatusAccessDenied;
  }
  if (!down && !m_inContact) {
    return touch::kErrorInvalidParameter;
  }
  std::vector<input_event> events = {UinputEvent(EV_ABS, ABS_MT_SLOT, 0)};
  if (down && m_inContact) {
    AppendCancel(events);  // a contact the engine gave up ends here
    events.push_back(UinputEvent(EV_SYN, SYN_REPORT, 0));
  }
  if (down) {
    m_desk = m_monitors.Layout().virtualDesk;
  }
  if (up && cancelled) {
    AppendCancel(events);
  } else if (up) {
    AppendLift(events);
  } else {
    const std::int32_t x = Axis(frame.x, m_desk.left, m_desk.Width());
    const std::int32_t y = Axis(frame.y, m_desk.top, m_desk.Height());
    if (down) {
      m_trackingId = (m_trackingId + 1) % (kAxisMax + 1);
      events.push_back(UinputEvent(EV_ABS, ABS_MT_TRACKING_ID, m_trackingId));
      events.push_back(UinputEvent(EV_ABS, ABS_MT_TOOL_TYPE, MT_TOOL_FINGER));
    }
    for (const input_event& event :
         {UinputEvent(EV_ABS, ABS_MT_POSITION_X, x), UinputEvent(EV_ABS, ABS_MT_POSITION_Y, y),
          UinputEvent(EV_ABS, ABS_X, x), UinputEvent(EV_ABS, ABS_Y, y)}) {
      events.push_back(event);
    }
    if (down) {
      events.push_back(UinputEvent(EV_KEY, BTN_TOUCH, 1));
    }
  }
  events.push_back(UinputEvent(EV_SYN, SYN_REPORT, 0));
  if (!m_node.Write(events.data(), events.size())) {
    return kErrorNotWritten;
  }
  m_inContact = !up;
  return touch::kInjected;
}

}  // namespace zt
