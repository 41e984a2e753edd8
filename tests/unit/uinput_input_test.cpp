// The uinput pointer and touch screen against a node that holds to the
// kernel's order: bits declared and axes set up before the device is made,
// events only for a made device and only of the types and codes it
// declared.
#include "platform/linux/uinput_input.h"

#include <gtest/gtest.h>
#include <linux/uinput.h>

#include <array>
#include <cstring>
#include <set>
#include <utility>
#include <vector>

#include "engine/pointer_emulation.h"
#include "platform/linux/uinput_touch_screen.h"
#include "platform_fakes.h"

namespace zt {
namespace {

class StrictUinputNode final : public IUinputNode {
public:
  bool Open() override { return opened = openable; }
  bool Control(unsigned long request, int value) override {
    if (!opened || (created && request != UI_DEV_DESTROY)) {
      return false;  // EINVAL: set up once, before the device is made
    }
    if (request == UI_SET_EVBIT || request == UI_SET_KEYBIT || request == UI_SET_ABSBIT ||
        request == UI_SET_PROPBIT) {
      declared.emplace(request, value);
    } else if (request == UI_DEV_CREATE) {
      created = named;
    } else if (request == UI_DEV_DESTROY) {
      destroyed = created;
    }
    return request != UI_DEV_CREATE || created;
  }
  bool Control(unsigned long request, const void* structure) override {
    if (!opened || created) {
      return false;
    }
    if (request == UI_ABS_SETUP) {
      const auto* abs = static_cast<const uinput_abs_setup*>(structure);
      axes.push_back({abs->code, abs->absinfo.maximum});
    }
    named = named || (request == UI_DEV_SETUP &&
                      static_cast<const uinput_setup*>(structure)->id.bustype == BUS_VIRTUAL);
    return true;
  }
  bool Write(const void* data, std::size_t count) override {
    if (!writable) {
      return false;  // the kernel's queue refused them
    }
    const auto* events = static_cast<const input_event*>(data);
    for (std::size_t i = 0; i < count; ++i) {
      const input_event& e = events[i];
      const unsigned long bit = e.type == EV_KEY ? UI_SET_KEYBIT : UI_SET_ABSBIT;
      const bool known = e.type == EV_SYN || declared.count({bit, e.code}) != 0;
      EXPECT_TRUE(created && declared.count({UI_SET_EVBIT, e.type}) != 0 && known)
          << e.type << " " << e.code;
      written.push_back({e.type, e.code, e.value});
    }
    return created;
  }

  bool openable = true, writable = true, opened = false, named = false, created = false,
       destroyed = false;
  std::set<std::pair<unsigned long, int>> declared;
  std::vector<std::pair<int, int>> axes;
  std::vector<std::array<int, 3>> written;
};

TEST(UinputInputTest, AnAbsolutePointerWithThreeButtons) {
  StrictUinputNode node;
  {
    UinputInput pointer(node);
    ASSERT_TRUE(pointer.Create());
    for (const int key : {BTN_LEFT, BTN_RIGHT, BTN_MIDDLE}) {
      EXPECT_EQ(node.declared.count({UI_SET_KEYBIT, key}), 1U) << key;
    }
    EXPECT_EQ(node.axes, (std::vector<std::pair<int, int>>{{ABS_X, 65535}, {ABS_Y, 65535}}));
    pointer.MouseEvent(mouse::kAbsolute | mouse::kMove | mouse::kLeftDown, 70000, -5, 0, 0);
    pointer.MouseEvent(mouse::kAbsolute | mouse::kRightUp, 1, 2, 0, 0);
    EXPECT_EQ(node.written, (std::vector<std::array<int, 3>>{{EV_ABS, ABS_X, 65535},
                                                             {EV_ABS, ABS_Y, 0},
                                                             {EV_KEY, BTN_LEFT, 1},
                                                             {EV_SYN, SYN_REPORT, 0},
                                                             {EV_KEY, BTN_RIGHT, 0},
                                                             {EV_SYN, SYN_REPORT, 0}}));
    // The emulation through it: a touch-down is a move and a press.
    node.written.clear();
    test::RecordingMessages messages;
    test::DelegatingThreads threads;
    CPointerEmulation emulation(pointer, messages, threads);
    emulation.EmulatePointer(1, 2048, 1024);
    EXPECT_EQ(node.written.size(), 5U);  // X, Y, SYN; BTN_LEFT, SYN
    EXPECT_EQ(node.written[1], (std::array<int, 3>{EV_ABS, ABS_Y, 1024 * 16}));
  }
  EXPECT_TRUE(node.destroyed);
  StrictUinputNode missing;  // no uinput: nothing made, nothing written
  missing.openable = false;
  UinputInput none(missing);
  EXPECT_FALSE(none.Create());
  none.MouseEvent(mouse::kMove, 1, 1, 0, 0);
  EXPECT_TRUE(missing.written.empty());
}

// A contact in desktop pixels on the axes that span the whole desktop,
// here with a monitor left of the primary one.
TEST(UinputInputTest, ATouchScreenWithOneSlot) {
  using Events = std::vector<std::array<int, 3>>;
  StrictUinputNode node;
  test::FixedMonitors monitors;
  {
    UinputTouchScreen screen(node, monitors);
    const std::uint32_t down = touch::kDown | touch::kInRange | touch::kInContact;
    const std::uint32_t update = touch::kUpdate | touch::kInRange | touch::kInContact;
    EXPECT_FALSE(screen.Initialize());  // no desktop to span yet: nothing made
    EXPECT_EQ(screen.Inject({down, 0, 0, {}}), touch::kStatusAccessDenied);
    monitors.layout.virtualDesk = {-1280, 0, 1920, 1080};
    ASSERT_TRUE(screen.Initialize());
    EXPECT_EQ(node.declared.count({UI_SET_PROPBIT, INPUT_PROP_DIRECT}), 1U);
    EXPECT_EQ(screen.Inject({update, 0, 0, {}}), touch::kErrorInvalidParameter);
    EXPECT_EQ(screen.Inject({down, -1280, 1079, {}}), touch::kInjected);
    // A DOWN while in contact: the engine dropped that contact (a display
    // change), which ends before the new one begins.
    EXPECT_EQ(screen.Inject({down, 0, 0, {}}), touch::kInjected);
    EXPECT_EQ(screen.Inject({update, 1919, 540, {}}), touch::kInjected);
    EXPECT_EQ(screen.Inject({touch::kUp | touch::kCanceled, 1919, 540, {}}), touch::kInjected);
    EXPECT_EQ(screen.Inject({touch::kUp, 1919, 540, {}}), touch::kErrorInvalidParameter);
    const auto at = [](int x, int y) {
      return Events{{EV_ABS, ABS_MT_POSITION_X, x},
                    {EV_ABS, ABS_MT_POSITION_Y, y},
                    {EV_ABS, ABS_X, x},
                    {EV_ABS, ABS_Y, y}};
    };
    const Events slot{{EV_ABS, ABS_MT_SLOT, 0}};
    const Events sync{{EV_SYN, SYN_REPORT, 0}};
    const Events lift{{EV_ABS, ABS_MT_TRACKING_ID, -1}, {EV_KEY, BTN_TOUCH, 0}};
    // A cancel: a palm for one report, then the lift (libinput: a cancelled touch).
    Events cancel{{EV_ABS, ABS_MT_TOOL_TYPE, MT_TOOL_PALM}, {EV_SYN, SYN_REPORT, 0}};
    cancel.insert(cancel.end(), lift.begin(), lift.end());
    const Events press{{EV_KEY, BTN_TOUCH, 1}};
    const auto finger = [](int id) {
      return Events{{EV_ABS, ABS_MT_TRACKING_ID, id}, {EV_ABS, ABS_MT_TOOL_TYPE, MT_TOOL_FINGER}};
    };
    Events expected;
    for (const Events& part :
         {slot, finger(1), at(0, 65535), press, sync,  // DOWN
          slot, cancel, sync, finger(2), at(1280 * 65535 / 3199, 0), press,
          sync,                                       // the dropped contact, the new DOWN
          slot, at(65535, 540 * 65535 / 1079), sync,  // UPDATE at the right edge
          slot, cancel, sync}) {                      // CANCELED with UP
      expected.insert(expected.end(), part.begin(), part.end());
    }
    EXPECT_EQ(node.written, expected);
    EXPECT_EQ(screen.Inject({down, 0, 0, {}}), touch::kInjected);
    EXPECT_EQ(screen.Inject({update, 0, 0, {}}), touch::kInjected);
    node.written.clear();
    EXPECT_EQ(screen.Inject({touch::kUp, 0, 0, {}}), touch::kInjected);  // a real lift: no palm
    EXPECT_EQ(node.written.size(), slot.size() + lift.size() + sync.size());
    // A display change cancels an open contact (and does nothing without
    // one); a DOWN the device does not take leaves no contact behind.
    node.written.clear();
    screen.CancelContact();
    EXPECT_EQ(screen.Inject({down, 0, 0, {}}), touch::kInjected);
    screen.CancelContact();
    EXPECT_EQ(screen.Inject({update, 0, 0, {}}), touch::kErrorInvalidParameter);
    EXPECT_EQ(node.written.size(), 9U + 6U);  // the DOWN; the palm and the lift
    EXPECT_EQ(node.written.back(), (std::array<int, 3>{EV_SYN, SYN_REPORT, 0}));
    EXPECT_EQ(node.written[10], (std::array<int, 3>{EV_ABS, ABS_MT_TOOL_TYPE, MT_TOOL_PALM}));
    node.writable = false;
    EXPECT_NE(screen.Inject({down, 0, 0, {}}), touch::kInjected);
    node.writable = true;
    EXPECT_EQ(screen.Inject({update, 0, 0, {}}), touch::kErrorInvalidParameter);
  }
  EXPECT_TRUE(node.destroyed);
}

}  // namespace
}  // namespace zt
