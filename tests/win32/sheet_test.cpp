// Property sheets with the program's two setup pages, and the release
// notification of trackbars under real dragging.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "gui_test_support.h"
#include "resource.h"
#include "ui/controls.h"
#include "ui/dialog.h"
#include "ui/property_sheet.h"
#include "ui/win32_helpers.h"

namespace zt {
namespace {

constexpr int kApplyButton = 0x3021;  // the sheet's Apply button

// A page that logs what the sheet asks of it; the sheet is driven from the
// pages' activations.
class LoggingPage : public ui::CPropertyPage {
public:
  LoggingPage(unsigned templateId, std::string name, std::vector<std::string>& log)
      : CPropertyPage(templateId), m_name(std::move(name)), m_log(log) {}

  void (*onActive)(LoggingPage&) = nullptr;
  int m_nTouchMode = 2;
  int m_bBeep = 1;

  HWND Sheet() const { return ::GetParent(m_hWnd); }

protected:
  bool OnInitDialog() override {
    m_log.push_back(m_name + " init");
    return CPropertyPage::OnInitDialog();
  }
  void DoDataExchange(ui::CDataExchange& dx) override {
    if (GetTemplateId() == IDD_SETTING_B) {
      dx.Radio(IDC_TOUCH_NORMAL, m_nTouchMode);
    } else {
      dx.Check(IDC_MOUSE_BEEP, m_bBeep);
    }
  }
  bool OnSetActive() override {
    m_log.push_back(m_name + " active");
    const bool accepted = CPropertyPage::OnSetActive();
    if (onActive != nullptr) {
      onActive(*this);
    }
    return accepted;
  }
  bool OnKillActive() override {
    m_log.push_back(m_name + " leave");
    return CPropertyPage::OnKillActive();
  }
  void OnOK() override { m_log.push_back(m_name + " ok"); }
  void OnCancel() override { m_log.push_back(m_name + " cancel"); }

private:
  std::string m_name;
  std::vector<std::string>& m_log;
};

struct SheetState {
  HWND owner = nullptr;
  std::string caption;
  bool applyEnabled = true;
  bool centred = false;
  int radioChecked = -1;
};
SheetState g_seen;

std::string TabText(HWND sheet, int index) {
  HWND tabs = PropSheet_GetTabControl(sheet);
  char text[64] = {};
  TCITEMA item{};
  item.mask = TCIF_TEXT;
  item.pszText = text;
  item.cchTextMax = sizeof text;
  ::SendMessageA(tabs, TCM_GETITEMA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
  return text;
}

class PropertySheet : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(m_owner.Create());
    g_seen = {};
  }

  ui::CDialog m_owner{IDD_CALIBRATION};
  std::vector<std::string> m_log;
  LoggingPage m_mouse{IDD_SETTING_A, "A", m_log};
  LoggingPage m_touch{IDD_SETTING_B, "B", m_log};
};

TEST_F(PropertySheet, OpensOnTheFirstPageSwitchesAndClosesWithOk) {
  m_mouse.onActive = [](LoggingPage& page) {
    HWND sheet = page.Sheet();
    g_seen.owner = ::GetWindow(sheet, GW_OWNER);
    char caption[64] = {};
    ::GetWindowTextA(sheet, caption, sizeof caption);
    g_seen.caption = caption;
    g_seen.applyEnabled = ::IsWindowEnabled(::GetDlgItem(sheet, kApplyButton)) != FALSE;
    const POINT centre = test::WindowCentre(sheet);
    g_seen.centred = std::abs(centre.x - ::GetSystemMetrics(SM_CXSCREEN) / 2) <= 1;
    EXPECT_EQ(TabText(sheet, 0), "Setting A");
    EXPECT_EQ(TabText(sheet, 1), "Setting B");
    ::PostMessageA(sheet, PSM_SETCURSEL, 1, 0);
  };
  m_touch.onActive = [](LoggingPage& page) {
    g_seen.radioChecked =
        static_cast<int>(::IsDlgButtonChecked(page.GetSafeHwnd(), IDC_TOUCH_CLICK_ON_RELEASE));
    // The user picks "Click On Touch", then OK.
    ::PostMessageA(page.GetItem(IDC_TOUCH_CLICK_ON_TOUCH), BM_CLICK, 0, 0);
    ::PostMessageA(::GetDlgItem(page.Sheet(), IDOK), BM_CLICK, 0, 0);
  };
  ui::CPropertySheet sheet(m_owner.GetSafeHwnd());
  sheet.AddPage(m_mouse);
  sheet.AddPage(m_touch);

  EXPECT_EQ(sheet.DoModal(), IDOK);
  EXPECT_EQ(m_log, (std::vector<std::string>{"A init", "A active", "A leave", "B init", "B active",
                                             "B leave", "A ok", "B ok"}));
  EXPECT_EQ(g_seen.owner, m_owner.GetSafeHwnd());
  EXPECT_EQ(g_seen.caption, "");
  EXPECT_FALSE(g_seen.applyEnabled);
  EXPECT_TRUE(g_seen.centred);
  EXPECT_EQ(g_seen.radioChecked, BST_CHECKED) << "page B loaded its radio group";
  EXPECT_EQ(m_touch.m_nTouchMode, 1) << "page B saved its radio group on leaving";
}

TEST_F(PropertySheet, CancelAppliesNothing) {
  m_mouse.onActive = [](LoggingPage& page) {
    ::PostMessageA(::GetDlgItem(page.Sheet(), IDCANCEL), BM_CLICK, 0, 0);
  };
  ui::CPropertySheet sheet(m_owner.GetSafeHwnd());
  sheet.AddPage(m_mouse);
  sheet.AddPage(m_touch);

  EXPECT_EQ(sheet.DoModal(), IDCANCEL);
  EXPECT_EQ(m_log, (std::vector<std::string>{"A init", "A active", "A cancel"}));
}

TEST_F(PropertySheet, WithoutPagesItDoesNotOpen) {
  ui::CPropertySheet sheet(m_owner.GetSafeHwnd());
  EXPECT_EQ(sheet.DoModal(), -1);
}

// The sensitivity dialog's sliders, shown modelessly, logging releases.
class SliderDialog : public ui::CDialog {
public:
  SliderDialog() : CDialog(IDD_ADVANCED) {}
  std::vector<int> released;
  ui::CSliderCtrl pressure;

protected:
  void DoDataExchange(ui::CDataExchange& dx) override { dx.Control(IDC_ADV_PRESSURE, pressure); }
  void OnSliderReleased(int id) override { released.push_back(id); }
};

class SliderRelease : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(m_dialog.Create());
    HWND window = m_dialog.GetSafeHwnd();
    ::SetWindowPos(window, HWND_TOPMOST, 200, 200, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    ::UpdateWindow(window);
    m_dialog.pressure.SetRange(600, 900);
    m_dialog.pressure.SetPos(600);
    m_slider = m_dialog.pressure.GetSafeHwnd();
    ASSERT_NE(m_slider, nullptr);
  }

  // The thumb's centre in the trackbar's client coordinates.
  POINT ThumbCentre() const {
    RECT thumb{};
    ::SendMessageA(m_slider, TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&thumb));
    return POINT{(thumb.left + thumb.right) / 2, (thumb.top + thumb.bottom) / 2};
  }

  SliderDialog m_dialog;
  HWND m_slider = nullptr;
};

TEST_F(SliderRelease, MovingWithoutDraggingSendsNoRelease) {
  m_dialog.pressure.SetPos(750);
  ::SendMessageA(m_slider, WM_KEYDOWN, VK_RIGHT, 0);
  ::SendMessageA(m_slider, WM_KEYUP, VK_RIGHT, 0);
  test::PumpMessagesUntil([] { return false; }, 200);
  EXPECT_TRUE(m_dialog.released.empty());
}

TEST_F(SliderRelease, PostedDragReachesTheSlidersHandler) {
  const POINT start = ThumbCentre();
  ::PostMessageA(m_slider, WM_LBUTTONDOWN, MK_LBUTTON, ui::MakeLParam(start.x, start.y));
  for (int step = 1; step <= 5; ++step) {
    ::PostMessageA(m_slider, WM_MOUSEMOVE, MK_LBUTTON,
                   ui::MakeLParam(start.x + 20 * step, start.y));
  }
  ::PostMessageA(m_slider, WM_LBUTTONUP, 0, ui::MakeLParam(start.x + 100, start.y));

  ASSERT_TRUE(test::PumpMessagesUntil([this] { return !m_dialog.released.empty(); }));
  EXPECT_EQ(m_dialog.released, std::vector<int>{IDC_ADV_PRESSURE});
  EXPECT_GT(m_dialog.pressure.GetPos(), 600);
}

TEST_F(SliderRelease, RealPointerDragReachesTheSlidersHandler) {
  POINT start = ThumbCentre();
  ::ClientToScreen(m_slider, &start);
  test::MouseMoveTo(start.x, start.y);
  test::MouseButton(MOUSEEVENTF_LEFTDOWN);
  for (int step = 1; step <= 5; ++step) {
    test::MouseMoveTo(start.x + 20 * step, start.y);
  }
  test::MouseButton(MOUSEEVENTF_LEFTUP);

  ASSERT_TRUE(test::PumpMessagesUntil([this] { return !m_dialog.released.empty(); }));
  EXPECT_EQ(m_dialog.released, std::vector<int>{IDC_ADV_PRESSURE});
  EXPECT_GT(m_dialog.pressure.GetPos(), 600);
}

}  // namespace
}  // namespace zt
