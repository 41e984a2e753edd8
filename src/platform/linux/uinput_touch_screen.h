// Touch output on Linux: a virtual touch screen made through uinput.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/linux/uinput_input.h"
#include "platform/monitors.h"
#include "platform/touch_injection.h"

namespace zt {

// The injected contact as a direct touch device with one slot of the
// multitouch protocol (and the single-touch BTN_TOUCH, ABS_X, ABS_Y beside
// it): the session stack maps its axes onto the whole screen, so a frame's
// desktop pixel becomes the same fraction of the axes. The desktop's size
// is taken anew at each contact's DOWN. A CANCELED contact becomes a palm
// before it lifts. Nothing expires on this side.
class UinputTouchScreen final : public ITouchInjection {
public:
  static constexpr std::int32_t kAxisMax = 65535;

  UinputTouchScreen(IUinputNode& node, IMonitors& monitors) : m_node(node), m_monitors(monitors) {}
  UinputTouchScreen(const UinputTouchScreen&) = delete;
  UinputTouchScreen& operator=(const UinputTouchScreen&) = delete;
  ~UinputTouchScreen() override;

  // Makes the device (once); false without uinput or a desktop to span.
  bool Initialize() override;
  // An UPDATE or UP without a contact is refused (kErrorInvalidParameter),
  // as the contract refuses it; a DOWN while in contact first ends the
  // contact the engine has given up (after a frame that failed).
  std::uint32_t Inject(const TouchFrame& frame) override;
  // A display change: the open contact ends, as the system cancels every
  // injected contact then (the engine drops its own without a frame).
  void CancelContact();

private:
  bool Create();
  std::int32_t Axis(std::int32_t pixel, std::int32_t origin, std::int32_t length) const;
  // The events that end the open contact: lifted, or cancelled (no tap,
  // no drop).
  static void AppendLift(std::vector<input_event>& events);
  static void AppendCancel(std::vector<input_event>& events);

  std::mutex m_lock;  // frames come from the engine, a cancel from a display change
  IUinputNode& m_node;
  IMonitors& m_monitors;
  PixelRect m_desk;
  bool m_created = false;
  bool m_inContact = false;
  std::int32_t m_trackingId = 0;
};

}  // namespace zt
