#include "platform/linux/uinput_input.h"

#include <fcntl.h>
#include <linux/uinput.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace zt {
namespace {

// The pointer's name as the session stacks list it.
constexpr char kDeviceName[] = "ZeltraTouch pointer";
constexpr std::uint16_t kVendor = 0x5A54;  // "ZT", no vendor of ours
constexpr std::uint16_t kProduct = 0x0001;

}  // namespace

input_event UinputEvent(std::uint16_t type, std::uint16_t code, std::int32_t value) {
  input_event event{};
  event.type = type;
  event.code = code;
  event.value = value;
  return event;
}

bool DeclareAxis(IUinputNode& node, int code, std::int32_t maximum) {
  uinput_abs_setup abs{};
  abs.code = static_cast<std::uint16_t>(code);
  abs.absinfo.maximum = maximum;
  return node.Control(UI_SET_ABSBIT, code) && node.Control(UI_ABS_SETUP, &abs);
}

bool MakeDevice(IUinputNode& node, const char* name, std::uint16_t product) {
  uinput_setup setup{};
  setup.id.bustype = BUS_VIRTUAL;
  setup.id.vendor = kVendor;
  setup.id.product = product;
  std::strncpy(setup.name, name, sizeof setup.name - 1);
  return node.Control(UI_DEV_SETUP, &setup) && node.Control(UI_DEV_CREATE, 0);
}

UinputNode::~UinputNode() {
  if (m_fd >= 0) {
    ::close(m_fd);
  }
}

bool UinputNode::Open() {
  m_fd = m_fd >= 0 ? m_fd : ::open(m_path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  return m_fd >= 0;
}

bool UinputNode::Control(unsigned long request, int value) {
  return ::ioctl(m_fd, request, value) == 0;
}

bool UinputNode::Control(unsigned long request, const void* structure) {
  return ::ioctl(m_fd, request, structure) == 0;
}

bool UinputNode::Write(const void* events, std::size_t count) {
  const std::size_t bytes = count * sizeof(input_event);
  return ::write(m_fd, events, bytes) == static_cast<ssize_t>(bytes);
}

UinputInput::~UinputInput() {
  if (m_created) {
    m_node.Control(UI_DEV_DESTROY, 0);
  }
}

bool UinputInput::Create() {
  if (!m_node.Open()) {
    return false;
  }
  bool ok = m_node.Control(UI_SET_EVBIT, EV_KEY) && m_node.Control(UI_SET_EVBIT, EV_ABS) &&
            m_node.Control(UI_SET_EVBIT, EV_SYN);
  for (const int button : {BTN_LEFT, BTN_RIGHT, BTN_MIDDLE}) {
    ok = ok && m_node.Control(UI_SET_KEYBIT, button);
  }
  for (const int axis : {ABS_X, ABS_Y}) {
    ok = ok && DeclareAxis(m_node, axis, kAbsoluteMax);
  }
  m_created = ok && MakeDevice(m_node, kDeviceName, kProduct);
  return m_created;
}

// One report a call: the move (clamped to the axes), then the buttons, then
// the end of the report.
void UinputInput::MouseEvent(std::uint32_t flags, std::int32_t dx, std::int32_t dy, std::uint32_t,
                             std::uintptr_t) {
  if (!m_created) {
    return;
  }
  input_event events[7];
  std::size_t count = 0;
  if ((flags & mouse::kMove) != 0) {
    events[count++] = UinputEvent(EV_ABS, ABS_X, std::clamp(dx, 0, kAbsoluteMax));
    events[count++] = UinputEvent(EV_ABS, ABS_Y, std::clamp(dy, 0, kAbsoluteMax));
  }
  const struct {
    std::uint32_t flag;
    std::uint16_t button;
    std::int32_t value;
  } buttons[] = {{mouse::kLeftDown, BTN_LEFT, 1},
                 {mouse::kLeftUp, BTN_LEFT, 0},
                 {mouse::kRightDown, BTN_RIGHT, 1},
                 {mouse::kRightUp, BTN_RIGHT, 0}};
  for (const auto& button : buttons) {
    if ((flags & button.flag) != 0) {
      events[count++] = UinputEvent(EV_KEY, button.button, button.value);
    }
  }
  events[count++] = UinputEvent(EV_SYN, SYN_REPORT, 0);
  m_node.Write(events, count);
}

}  // namespace zt
