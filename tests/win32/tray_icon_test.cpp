// The tray icon against Wine's notification area. Without a system tray on
// the display, Wine shows the icons in a window of its own
// ("__winex11_standalone_tray"), which the tests click with the pointer.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "app/tray_icon.h"
#include "gui_test_support.h"
#include "resource.h"
#include "ui/dialog.h"

namespace zt {
namespace {

constexpr char kStandaloneTrayClass[] = "__winex11_standalone_tray";

using MessageLog = std::vector<std::pair<UINT, LPARAM>>;

// The notify window of the program's tray icon: logs what it is told.
class NotifyDialog : public ui::CDialog {
public:
  NotifyDialog() : CDialog(IDD_CALIBRATION) {}
  MessageLog received;

protected:
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
    if (message == kNotifyMainMessage || message == kTrayNotifyMessage) {
      EXPECT_EQ(wParam, 0u);
      received.emplace_back(message, lParam);
      result = 0;
      return true;
    }
    return false;
  }
};

// The reusable icon, logging the messages its window handles.
class LoggingIcon : public COXTaskbarIcon {
public:
  MessageLog handled;

protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == kTrayNotifyMessage || (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST)) {
      handled.emplace_back(message, lParam);
    }
    return COXTaskbarIcon::WindowProc(message, wParam, lParam);
  }
};

bool Contains(const MessageLog& log, UINT message, LPARAM lParam) {
  for (const auto& entry : log) {
    if (entry.first == message && entry.second == lParam) {
      return true;
    }
  }
  return false;
}

// Moves Wine's tray window out from under other windows and returns the
// screen position of its first icon.
POINT FirstTrayIcon() {
  HWND tray = test::WaitForWindow(kStandaloneTrayClass, nullptr);
  EXPECT_NE(tray, nullptr);
  ::SetWindowPos(tray, HWND_TOPMOST, 800, 0, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
  POINT icon{10, 10};
  ::ClientToScreen(tray, &icon);
  return icon;
}

void ClickAt(POINT point, DWORD down, DWORD up) {
  test::MouseMoveTo(point.x, point.y);
  test::MouseButton(down);
  test::MouseButton(up);
}

bool TrayWindowGone() {
  HWND tray = ::FindWindowA(kStandaloneTrayClass, nullptr);
  return tray == nullptr || !::IsWindowVisible(tray);
}

TEST(TrayIcon, AddModifyAndDeleteReachTheShell) {
  CTrayIcon icon;
  ASSERT_TRUE(icon.CreateIconWindow(0));
  HWND window = icon.GetSafeHwnd();
  EXPECT_FALSE(::IsWindowVisible(window));
  EXPECT_EQ(::GetWindow(window, GW_OWNER), nullptr);
  EXPECT_EQ(::GetParent(window), nullptr);
  EXPECT_FALSE(icon.CreateIconWindow(0)) << "one window per icon";

  EXPECT_FALSE(icon.UpdateInTray()) << "not in the tray yet";
  EXPECT_FALSE(icon.RemoveFromTray());
  EXPECT_EQ(icon.SetIconFromResourceId(IDR_MAINFRAME, true), nullptr);
  EXPECT_NE(icon.GetIconHandle(), nullptr);

  EXPECT_TRUE(icon.AddToTray());
  EXPECT_TRUE(icon.IsInTray());
  EXPECT_NE(test::WaitForWindow(kStandaloneTrayClass, nullptr), nullptr);
  EXPECT_FALSE(icon.AddToTray()) << "added once only";

  EXPECT_TRUE(icon.SetTipText("ZeltraTouch", true));
  std::string tip;
  icon.GetTipText(tip);
  EXPECT_EQ(tip, "ZeltraTouch");
  char shortTip[5];
  EXPECT_EQ(icon.GetTipText(shortTip, sizeof shortTip), 4);
  EXPECT_STREQ(shortTip, "Zelt");
  EXPECT_TRUE(icon.UpdateInTray());

  EXPECT_TRUE(icon.RemoveFromTray());
  EXPECT_FALSE(icon.IsInTray());
  EXPECT_FALSE(icon.RemoveFromTray());
  EXPECT_TRUE(test::PumpMessagesUntil(TrayWindowGone));
}

TEST(TrayIcon, DestructionRemovesTheIconAndItsWindow) {
  HWND window = nullptr;
  {
    CTrayIcon icon;
    ASSERT_TRUE(icon.CreateIconWindow(0));
    window = icon.GetSafeHwnd();
    icon.SetIconFromResourceId(IDR_MAINFRAME, true);
    ASSERT_TRUE(icon.AddToTray());
    ASSERT_NE(test::WaitForWindow(kStandaloneTrayClass, nullptr), nullptr);
  }
  EXPECT_FALSE(::IsWindow(window));
  EXPECT_TRUE(test::PumpMessagesUntil(TrayWindowGone));

  {
    CTrayIcon neverAdded;
    ASSERT_TRUE(neverAdded.CreateIconWindow(0));
    window = neverAdded.GetSafeHwnd();
  }
  EXPECT_FALSE(::IsWindow(window));
}

TEST(TrayIcon, ClicksOnTheTrayReachTheIconWindowAsCallbacks) {
  LoggingIcon icon;
  ASSERT_TRUE(icon.CreateIconWindow(7));
  icon.SetIconFromResourceId(IDR_MAINFRAME, true);
  ASSERT_TRUE(icon.AddToTray());

  ClickAt(FirstTrayIcon(), MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
  // Without owner or parent, the icon window posts each mouse message to
  // itself.
  ASSERT_TRUE(test::PumpMessagesUntil([&] { return Contains(icon.handled, WM_LBUTTONUP, 0); }));
  EXPECT_TRUE(Contains(icon.handled, kTrayNotifyMessage, WM_LBUTTONDOWN));
  EXPECT_TRUE(Contains(icon.handled, kTrayNotifyMessage, WM_LBUTTONUP));
  EXPECT_TRUE(Contains(icon.handled, WM_LBUTTONDOWN, 0));
}

TEST(TrayIcon, CallbacksGoToTheIconWindowsOwnerWhenItHasOne) {
  NotifyDialog owner;
  ASSERT_TRUE(owner.Create());
  LoggingIcon icon;
  ASSERT_TRUE(icon.CreateIconWindow(0));
  ::SetWindowLongPtrA(icon.GetSafeHwnd(), GWLP_HWNDPARENT,
                      reinterpret_cast<LONG_PTR>(owner.GetSafeHwnd()));
  icon.SetIconFromResourceId(IDR_MAINFRAME, true);
  ASSERT_TRUE(icon.AddToTray());

  ClickAt(FirstTrayIcon(), MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP);
  ASSERT_TRUE(test::PumpMessagesUntil(
      [&] { return Contains(owner.received, kTrayNotifyMessage, WM_RBUTTONUP); }));
  EXPECT_TRUE(Contains(owner.received, kTrayNotifyMessage, WM_RBUTTONDOWN));
  EXPECT_FALSE(Contains(icon.handled, WM_RBUTTONDOWN, 0)) << "the owner has it instead";
}

TEST(TrayIcon, EitherButtonPressAsksTheMainWindowToShowOnce) {
  NotifyDialog mainWindow;
  CTrayIcon icon;
  ASSERT_TRUE(icon.CreateIconWindow(0));
  icon.SetNotifyDialog(&mainWindow);  // before the dialog has a window
  ASSERT_TRUE(mainWindow.Create());
  icon.SetIconFromResourceId(IDR_MAINFRAME, true);
  ASSERT_TRUE(icon.AddToTray());
  const POINT trayIcon = FirstTrayIcon();

  ClickAt(trayIcon, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
  ASSERT_TRUE(test::PumpMessagesUntil([&] { return mainWindow.received.size() == 1; }));
  ClickAt(trayIcon, MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP);
  ASSERT_TRUE(test::PumpMessagesUntil([&] { return mainWindow.received.size() == 2; }));
  // A move over the icon and a stray callback that names no mouse message
  // change nothing; a release neither.
  test::MouseMoveTo(trayIcon.x + 2, trayIcon.y + 1);
  ::PostMessageA(icon.GetSafeHwnd(), kTrayNotifyMessage, 0, WM_CLOSE);
  ::PostMessageA(icon.GetSafeHwnd(), kTrayNotifyMessage, 0, WM_LBUTTONUP);
  test::PumpMessagesUntil([] { return false; }, 300);

  EXPECT_EQ(mainWindow.received, (MessageLog{{kNotifyMainMessage, 0}, {kNotifyMainMessage, 0}}));
  EXPECT_TRUE(::IsWindow(icon.GetSafeHwnd()));
}

}  // namespace
}  // namespace zt
