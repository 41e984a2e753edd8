// The dialog framework on real windows: modal and modeless dialogs from the
// program's templates, message dispatch and results, data exchange, and the
// application's message box.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "gui_test_support.h"
#include "resource.h"
#include "ui/dialog.h"
#include "ui/message_box.h"

namespace zt {
namespace {

constexpr UINT kProbeMessage = WM_APP + 7;

// A dialog whose behaviour each test supplies through hooks.
class ScriptedDialog : public ui::CDialog {
public:
  using CDialog::CDialog;

  std::function<void(ScriptedDialog&)> onInit;
  std::function<void(ui::CDataExchange&)> exchange;
  bool allowCreate = true;
  int initCount = 0;
  int okCount = 0;
  UINT_PTR lastTimer = 0;

  HWND Window() const { return m_hWnd; }

protected:
  bool OnCreate() override { return allowCreate; }

  bool OnInitDialog() override {
    ++initCount;
    const bool focusFirst = CDialog::OnInitDialog();
    if (onInit) {
      onInit(*this);
    }
    return focusFirst;
  }

  void DoDataExchange(ui::CDataExchange& dx) override {
    if (exchange) {
      exchange(dx);
    }
  }

  void OnOK() override {
    ++okCount;
    CDialog::OnOK();
  }

  void OnTimer(UINT_PTR id) override {
    lastTimer = id;
    ::KillTimer(m_hWnd, id);
    EndDialog(static_cast<INT_PTR>(id));
  }

  bool OnNotify(int id, NMHDR& header, LRESULT& result) override {
    if (header.code == 4711) {
      result = 4242;
      return true;
    }
    return CDialog::OnNotify(id, header, result);
  }

  bool OnMessage(UINT message, WPARAM wParam, LPARAM, LRESULT& result) override {
    if (message == kProbeMessage) {
      result = static_cast<LRESULT>(wParam) * 2;
      return true;
    }
    if (message == WM_QUERYDRAGICON) {
      result = 0x1234;
      return true;
    }
    return false;
  }
};

void PostCommand(HWND window, int id) {
  ::PostMessageA(window, WM_COMMAND, static_cast<WPARAM>(id), 0);
}

TEST(ModalDialog, EndsWithIdOkWhenOkIsPosted) {
  ScriptedDialog dialog(IDD_ABOUTBOX);
  dialog.onInit = [](ScriptedDialog& d) { PostCommand(d.Window(), IDOK); };
  EXPECT_EQ(dialog.DoModal(), IDOK);
  EXPECT_EQ(dialog.initCount, 1);
  EXPECT_EQ(dialog.okCount, 1);
  EXPECT_EQ(dialog.GetSafeHwnd(), nullptr);
}

TEST(ModalDialog, EndsWithIdCancelWhenCancelOrTheCloseBoxIsUsed) {
  ScriptedDialog cancelled(IDD_ABOUTBOX);
  cancelled.onInit = [](ScriptedDialog& d) { PostCommand(d.Window(), IDCANCEL); };
  EXPECT_EQ(cancelled.DoModal(), IDCANCEL);

  ScriptedDialog closed(IDD_ABOUTBOX);
  closed.onInit = [](ScriptedDialog& d) { ::PostMessageA(d.Window(), WM_CLOSE, 0, 0); };
  EXPECT_EQ(closed.DoModal(), IDCANCEL);
  EXPECT_EQ(closed.okCount, 0);
}

TEST(ModalDialog, AnotherThreadFindsItByCaptionAndEndsIt) {
  ScriptedDialog dialog(IDD_ABOUTBOX);
  std::atomic<bool> found{false};
  std::thread driver([&found] {
    HWND window = test::WaitForWindow("#32770", "About  Tactivo v1.05");
    found = window != nullptr;
    if (window != nullptr) {
      PostCommand(window, IDCANCEL);
    }
  });
  const INT_PTR result = dialog.DoModal();
  driver.join();
  EXPECT_TRUE(found);
  EXPECT_EQ(result, IDCANCEL);
}

TEST(ModalDialog, RefusedCreationReturnsMinusOneWithoutAWindow) {
  ScriptedDialog dialog(IDD_ABOUTBOX);
  dialog.allowCreate = false;
  EXPECT_EQ(dialog.DoModal(), -1);
  EXPECT_EQ(dialog.initCount, 0);
}

TEST(ModalDialog, OkDoesNotEndWhileDataExchangeFails) {
  ScriptedDialog dialog(IDD_ABOUTBOX);
  std::string text;
  dialog.exchange = [&text](ui::CDataExchange& dx) { dx.Text(4242, text); };
  dialog.onInit = [](ScriptedDialog& d) {
    PostCommand(d.Window(), IDOK);
    PostCommand(d.Window(), IDCANCEL);
  };
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  EXPECT_EQ(dialog.okCount, 1);
}

TEST(ModalDialog, TimerReachesOnTimer) {
  ScriptedDialog dialog(IDD_ABOUTBOX);
  dialog.onInit = [](ScriptedDialog& d) { ::SetTimer(d.Window(), 5, 10, nullptr); };
  EXPECT_EQ(dialog.DoModal(), 5);
  EXPECT_EQ(dialog.lastTimer, 5u);
}

TEST(ModalDialog, DisablesItsOwnerWhileItRuns) {
  ScriptedDialog owner(IDD_CALIBRATION);
  ASSERT_TRUE(owner.Create());
  ScriptedDialog dialog(IDD_ABOUTBOX, owner.GetSafeHwnd());
  HWND seenOwner = nullptr;
  bool ownerEnabled = true;
  dialog.onInit = [&](ScriptedDialog& d) {
    seenOwner = ::GetWindow(d.Window(), GW_OWNER);
    ownerEnabled = ::IsWindowEnabled(owner.GetSafeHwnd()) != FALSE;
    PostCommand(d.Window(), IDOK);
  };
  EXPECT_EQ(dialog.DoModal(), IDOK);
  EXPECT_EQ(seenOwner, owner.GetSafeHwnd());
  EXPECT_FALSE(ownerEnabled);
  EXPECT_TRUE(::IsWindowEnabled(owner.GetSafeHwnd()));
}

TEST(ModelessDialog, IsCreatedHiddenHiddenOnEndAndDestroyedWithItsObject) {
  HWND window = nullptr;
  {
    ScriptedDialog dialog(IDD_BUTTON_MODE);
    ASSERT_TRUE(dialog.Create());
    window = dialog.GetSafeHwnd();
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(dialog.IsModal());
    EXPECT_FALSE(::IsWindowVisible(window));
    ::ShowWindow(window, SW_SHOW);
    dialog.EndDialog(IDCANCEL);
    EXPECT_FALSE(::IsWindowVisible(window));
    EXPECT_TRUE(::IsWindow(window));
    EXPECT_FALSE(dialog.Create()) << "one window per object";
  }
  EXPECT_FALSE(::IsWindow(window));
}

TEST(DialogMessages, HandlersReturnTheirResultsToTheSender) {
  ScriptedDialog dialog(IDD_ABOUTBOX);
  ASSERT_TRUE(dialog.Create());
  HWND window = dialog.GetSafeHwnd();
  EXPECT_EQ(::SendMessageA(window, kProbeMessage, 21, 0), 42);

  NMHDR header{window, 1, 4711};
  EXPECT_EQ(::SendMessageA(window, WM_NOTIFY, 1, reinterpret_cast<LPARAM>(&header)), 4242);
  // WM_QUERYDRAGICON is one of the messages whose result a dialog
  // procedure returns itself.
  EXPECT_EQ(::SendMessageA(window, WM_QUERYDRAGICON, 0, 0), 0x1234);
}

// Data exchange round trips on the program's own templates.
class DataExchange : public ::testing::Test {
protected:
  std::string m_text;
  int m_check = 0;
  int m_radio = 0;
  int m_slider = 0;
};

TEST_F(DataExchange, ComboTextFollowsTheListPrefixRule) {
  ScriptedDialog dialog(IDD_MAIN);
  dialog.exchange = [this](ui::CDataExchange& dx) { dx.ComboText(IDC_MAIN_PORT, m_text); };
  ASSERT_TRUE(dialog.Create());
  HWND combo = dialog.GetItem(IDC_MAIN_PORT);
  ASSERT_EQ(::SendMessageA(combo, CB_GETCOUNT, 0, 0), 4) << "list from the initial data";
  char item[16] = {};
  ::SendMessageA(combo, CB_GETLBTEXT, 3, reinterpret_cast<LPARAM>(item));
  EXPECT_STREQ(item, "COM4");
  EXPECT_EQ(dialog.GetItemText(IDC_MAIN_PORT), "") << "empty member, no item chosen";

  const auto load = [&](const std::string& value) {
    m_text = value;
    EXPECT_TRUE(dialog.UpdateData(false));
    return dialog.GetItemText(IDC_MAIN_PORT);
  };
  EXPECT_EQ(load("COM3"), "COM3");
  EXPECT_EQ(::SendMessageA(combo, CB_GETCURSEL, 0, 0), 2);
  EXPECT_EQ(load("com2"), "COM2") << "case is ignored";
  EXPECT_EQ(load("COM"), "COM1") << "first item that begins with it";
  EXPECT_EQ(load("COM12"), "COM12") << "no item: the text itself";
  EXPECT_EQ(load("Can't Open"), "Can't Open");
  EXPECT_EQ(load(""), "");
  EXPECT_EQ(::SendMessageA(combo, CB_GETCURSEL, 0, 0), CB_ERR);

  ::SetWindowTextA(combo, "COM7");
  EXPECT_TRUE(dialog.UpdateData(true));
  EXPECT_EQ(m_text, "COM7");
}

TEST_F(DataExchange, TextAndSliderRoundTrip) {
  ScriptedDialog dialog(IDD_ADVANCED);
  dialog.exchange = [this](ui::CDataExchange& dx) {
    dx.Text(IDC_ADV_PRESSURE_LABEL, m_text);
    dx.SliderPos(IDC_ADV_PRESSURE, m_slider);
  };
  ASSERT_TRUE(dialog.Create());
  HWND slider = dialog.GetItem(IDC_ADV_PRESSURE);
  ::SendMessageA(slider, TBM_SETRANGEMIN, FALSE, 600);
  ::SendMessageA(slider, TBM_SETRANGEMAX, TRUE, 900);

  m_text = "Pressure: 1000";
  m_slider = 1000;
  ASSERT_TRUE(dialog.UpdateData(false));
  EXPECT_EQ(dialog.GetItemText(IDC_ADV_PRESSURE_LABEL), "Pressure: 1000");
  EXPECT_EQ(::SendMessageA(slider, TBM_GETPOS, 0, 0), 900) << "clamped by the control";

  dialog.SetItemText(IDC_ADV_PRESSURE_LABEL, "Pressure: 705");
  ::SendMessageA(slider, TBM_SETPOS, TRUE, 705);
  ASSERT_TRUE(dialog.UpdateData(true));
  EXPECT_EQ(m_text, "Pressure: 705");
  EXPECT_EQ(m_slider, 705);
}

TEST_F(DataExchange, CheckBoxRoundTrip) {
  ScriptedDialog host(IDD_CALIBRATION);
  ASSERT_TRUE(host.Create());
  ScriptedDialog page(IDD_SETTING_A, host.GetSafeHwnd());
  page.exchange = [this](ui::CDataExchange& dx) { dx.Check(IDC_MOUSE_BEEP, m_check); };
  ASSERT_TRUE(page.Create());
  HWND beep = page.GetItem(IDC_MOUSE_BEEP);

  m_check = 1;
  ASSERT_TRUE(page.UpdateData(false));
  EXPECT_EQ(::SendMessageA(beep, BM_GETCHECK, 0, 0), BST_CHECKED);
  m_check = 7;
  ASSERT_TRUE(page.UpdateData(false));
  EXPECT_EQ(::SendMessageA(beep, BM_GETCHECK, 0, 0), BST_UNCHECKED) << "unknown state clears";

  ::SendMessageA(beep, BM_SETCHECK, BST_CHECKED, 0);
  ASSERT_TRUE(page.UpdateData(true));
  EXPECT_EQ(m_check, 1);
}

TEST_F(DataExchange, RadioGroupRoundTrip) {
  ScriptedDialog host(IDD_CALIBRATION);
  ASSERT_TRUE(host.Create());
  ScriptedDialog page(IDD_SETTING_B, host.GetSafeHwnd());
  page.exchange = [this](ui::CDataExchange& dx) { dx.Radio(IDC_TOUCH_NORMAL, m_radio); };
  ASSERT_TRUE(page.Create());
  const auto checked = [&](int id) {
    return ::SendMessageA(page.GetItem(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
  };

  m_radio = 2;
  ASSERT_TRUE(page.UpdateData(false));
  EXPECT_FALSE(checked(IDC_TOUCH_NORMAL));
  EXPECT_FALSE(checked(IDC_TOUCH_CLICK_ON_TOUCH));
  EXPECT_TRUE(checked(IDC_TOUCH_CLICK_ON_RELEASE));

  m_radio = 5;
  ASSERT_TRUE(page.UpdateData(false));
  EXPECT_FALSE(checked(IDC_TOUCH_CLICK_ON_RELEASE)) << "an index outside the group checks none";
  ASSERT_TRUE(page.UpdateData(true));
  EXPECT_EQ(m_radio, -1);

  ::SendMessageA(page.GetItem(IDC_TOUCH_CLICK_ON_TOUCH), BM_SETCHECK, BST_CHECKED, 0);
  ASSERT_TRUE(page.UpdateData(true));
  EXPECT_EQ(m_radio, 1);
}

TEST_F(DataExchange, BindingAMissingControlFails) {
  ScriptedDialog dialog(IDD_ABOUTBOX);
  dialog.exchange = [this](ui::CDataExchange& dx) { dx.Text(4242, m_text); };
  ASSERT_TRUE(dialog.Create());
  EXPECT_FALSE(dialog.UpdateData(false));
  EXPECT_FALSE(dialog.UpdateData(true));
}

TEST(ApplicationMessageBox, IsCaptionedWithTheExecutableName) {
  EXPECT_EQ(ui::ApplicationName(), "zt_win32_ui_tests");
  const DWORD uiThread = ::GetCurrentThreadId();
  std::string caption;
  bool hasText = false;
  bool foundByCaption = false;
  std::thread driver([&] {
    HWND box = test::WaitForThreadWindow(uiThread, "#32770");
    if (box == nullptr) {
      return;
    }
    char buffer[256] = {};
    ::GetWindowTextA(box, buffer, sizeof buffer);
    caption = buffer;
    foundByCaption = ::FindWindowA("#32770", "zt_win32_ui_tests") == box;
    hasText = ::FindWindowExA(box, nullptr, "Static", "can't read eeprom data") != nullptr;
    PostCommand(box, IDOK);
  });
  const int result = ui::AppMessageBox(nullptr, "can't read eeprom data");
  driver.join();
  EXPECT_EQ(caption, "zt_win32_ui_tests");
  EXPECT_TRUE(hasText);
  EXPECT_TRUE(foundByCaption);
  EXPECT_EQ(result, IDOK);
}

}  // namespace
}  // namespace zt
