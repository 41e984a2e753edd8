// The program's resources as Windows loads them: every dialog template with
// its controls (ids, kinds, styles, texts), the icon, the bitmap, the
// string, the version and the manifest.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "resource.h"
#include "ui/data_exchange.h"
#include "ui/dialog.h"
#include "ui/win32_helpers.h"

namespace zt {
namespace {

constexpr char kButton[] = "Button";
constexpr char kStatic[] = "Static";
constexpr char kSlider[] = "msctls_trackbar32";

LONG_PTR StyleOf(HWND window) {
  return ::GetWindowLongPtrA(window, GWL_STYLE);
}

std::string ClassOf(HWND window) {
  char name[64] = {};
  ::GetClassNameA(window, name, sizeof name);
  return name;
}

// A template shown modelessly; child pages get a host window.
class Template : public ::testing::Test {
protected:
  HWND Open(unsigned templateId) {
    HWND owner = nullptr;
    if (templateId == IDD_SETTING_A || templateId == IDD_SETTING_B) {
      EXPECT_TRUE(m_host.Create());
      owner = m_host.GetSafeHwnd();
    }
    m_dialog = std::make_unique<ui::CDialog>(templateId, owner);
    EXPECT_TRUE(m_dialog->Create());
    return m_dialog->GetSafeHwnd();
  }

  // Checks a control's kind and text; returns its style.
  LONG_PTR Control(int id, const char* className, const char* text) {
    HWND control = ::GetDlgItem(m_dialog->GetSafeHwnd(), id);
    EXPECT_NE(control, nullptr) << "control " << id;
    if (control == nullptr) {
      return 0;
    }
    EXPECT_EQ(ClassOf(control), className) << "control " << id;
    EXPECT_EQ(ui::GetWindowString(control), text) << "control " << id;
    return StyleOf(control);
  }

  // A control without id, found by kind and text.
  void Labelled(const char* className, const char* text) {
    EXPECT_NE(::FindWindowExA(m_dialog->GetSafeHwnd(), nullptr, className, text), nullptr)
        << className << " \"" << text << "\"";
  }

  std::vector<int> ChildIds() const {
    std::vector<int> ids;
    for (HWND child = ::GetWindow(m_dialog->GetSafeHwnd(), GW_CHILD); child != nullptr;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
      ids.push_back(::GetDlgCtrlID(child));
    }
    return ids;
  }

  ui::CDialog m_host{IDD_CALIBRATION};
  std::unique_ptr<ui::CDialog> m_dialog;
};

TEST_F(Template, AboutBox) {
  HWND dialog = Open(IDD_ABOUTBOX);
  EXPECT_EQ(ui::GetWindowString(dialog), "About  Tactivo v1.05");
  EXPECT_EQ(Control(IDOK, kButton, "OK") & BS_TYPEMASK, BS_DEFPUSHBUTTON);
  Labelled(kStatic, "Tactivo v1.05.3102");
  HWND icon = ::FindWindowExA(dialog, nullptr, kStatic, nullptr);
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(StyleOf(icon) & SS_TYPEMASK, SS_ICON);
  EXPECT_NE(::SendMessageA(icon, STM_GETICON, 0, 0), 0);
}

TEST_F(Template, MainWindow) {
  HWND dialog = Open(IDD_MAIN);
  EXPECT_EQ(ui::GetWindowString(dialog), "");
  const LONG_PTR style = StyleOf(dialog);
  EXPECT_EQ(style & (WS_POPUP | WS_CAPTION | WS_SYSMENU), WS_POPUP | WS_CAPTION | WS_SYSMENU);
  EXPECT_EQ(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_VISIBLE), 0);
  EXPECT_NE(::GetWindowLongPtrA(dialog, GWL_EXSTYLE) & WS_EX_APPWINDOW, 0);
  EXPECT_EQ(ChildIds(),
            (std::vector<int>{IDC_MAIN_OK, IDC_MAIN_SETTING, IDC_MAIN_CALIBRATION, IDC_MAIN_PORT,
                              IDC_MAIN_APPLY, IDC_STATIC, IDC_MAIN_ADVANCED, IDC_STATIC}));

  for (auto [id, text, enabled] : {std::tuple{IDC_MAIN_OK, "OK", true},
                                   {IDC_MAIN_SETTING, "Setting", false},
                                   {IDC_MAIN_CALIBRATION, "Calibration", false},
                                   {IDC_MAIN_APPLY, "Apply", true},
                                   {IDC_MAIN_ADVANCED, "Advanced", false}}) {
    const LONG_PTR buttonStyle = Control(id, kButton, text);
    EXPECT_EQ(buttonStyle & BS_TYPEMASK, BS_PUSHBUTTON) << text << " is no default button";
    EXPECT_EQ((buttonStyle & WS_DISABLED) == 0, enabled) << text;
  }
  EXPECT_EQ(::GetDlgCtrlID(::GetNextDlgTabItem(dialog, nullptr, FALSE)), IDC_MAIN_OK);
  const LONG_PTR comboStyle = Control(IDC_MAIN_PORT, "ComboBox", "");
  EXPECT_EQ(comboStyle & 3, CBS_DROPDOWN);
  EXPECT_NE(comboStyle & CBS_SORT, 0);
  Labelled(kStatic, "COM Port Setting");

  HWND picture = ::GetWindow(::GetDlgItem(dialog, IDC_MAIN_ADVANCED), GW_HWNDNEXT);
  EXPECT_EQ(StyleOf(picture) & SS_TYPEMASK, SS_BITMAP);
  BITMAP bitmap{};
  auto* shown = reinterpret_cast<HBITMAP>(::SendMessageA(picture, STM_GETIMAGE, IMAGE_BITMAP, 0));
  ASSERT_NE(::GetObjectA(shown, sizeof bitmap, &bitmap), 0);
  EXPECT_EQ(bitmap.bmWidth, 176);
  EXPECT_EQ(bitmap.bmHeight, 92);
}

TEST_F(Template, MouseAndSoundPage) {
  HWND page = Open(IDD_SETTING_A);
  EXPECT_EQ(ui::GetWindowString(page), "Setting A");
  EXPECT_NE(StyleOf(page) & WS_CHILD, 0);
  EXPECT_NE(Control(IDC_MOUSE_SPEED, kSlider, "") & TBS_NOTICKS, 0);
  EXPECT_EQ(Control(IDC_MOUSE_FREQUENCY, kSlider, "") & TBS_NOTICKS, 0);
  EXPECT_EQ(Control(IDC_MOUSE_DURATION, kSlider, "") & TBS_NOTICKS, 0);
  const LONG_PTR target = Control(IDC_MOUSE_TEST_TARGET, kButton, "");
  EXPECT_EQ(target & (BS_FLAT | BS_NOTIFY), BS_FLAT | BS_NOTIFY);
  EXPECT_EQ(Control(IDC_MOUSE_CLICK_ZONE, kButton, "Click Zone") & BS_TYPEMASK, BS_PUSHBUTTON);
  for (auto [id, text] :
       {std::pair{IDC_MOUSE_RIGHT_BUTTON, "Show/Hide"}, {IDC_MOUSE_BEEP, "Beep Enable"}}) {
    const LONG_PTR style = Control(id, kButton, text);
    EXPECT_EQ(style & BS_TYPEMASK, BS_AUTOCHECKBOX) << text;
    EXPECT_NE(style & BS_PUSHLIKE, 0) << text;
  }
  for (const char* group : {"Double Click", "Mouse button emul.", "Sound Setting"}) {
    Labelled(kButton, group);
  }
  for (const char* label : {"Speed", "Fast", "Slow", "Test Window >>", "Frequency", "Low", "High",
                            "Duration", "Short", "Long"}) {
    Labelled(kStatic, label);
  }
}

TEST_F(Template, CalibrationWindow) {
  HWND window = Open(IDD_CALIBRATION);
  const LONG_PTR style = StyleOf(window);
  EXPECT_NE(style & WS_POPUP, 0);
  EXPECT_EQ(style & (WS_CAPTION | WS_BORDER | WS_THICKFRAME | WS_VISIBLE), 0);
  EXPECT_TRUE(ChildIds().empty());
}

TEST_F(Template, Indicator) {
  HWND window = Open(IDD_BUTTON_MODE);
  EXPECT_EQ(ui::GetWindowString(window), "");
  const LONG_PTR style = StyleOf(window);
  EXPECT_EQ(style & (WS_POPUP | WS_CAPTION), WS_POPUP | WS_CAPTION);
  EXPECT_EQ(style & (WS_SYSMENU | WS_VISIBLE), 0);
  EXPECT_EQ(Control(IDC_INDICATOR_TEXT, kStatic, "Left") & SS_NOTIFY, 0)
      << "clicks on the text reach the window";
  RECT client{};
  ::GetClientRect(window, &client);
  RECT units{0, 0, 37, 35};
  ::MapDialogRect(window, &units);
  EXPECT_EQ(client.right, units.right);
  EXPECT_EQ(client.bottom, units.bottom);
}

TEST_F(Template, SensitivityDialog) {
  HWND dialog = Open(IDD_ADVANCED);
  EXPECT_EQ(ui::GetWindowString(dialog), "Advanced");
  EXPECT_NE(Control(IDC_ADV_PRESSURE, kSlider, "") & TBS_NOTICKS, 0);
  for (int id : {IDC_ADV_DOWNCOUNT, IDC_ADV_UPCOUNT, IDC_ADV_STABDELAY}) {
    EXPECT_EQ(Control(id, kSlider, "") & (TBS_VERT | TBS_NOTICKS), 0) << id;
  }
  Control(IDC_ADV_PRESSURE_LABEL, kStatic, "Pressure");
  Control(IDC_ADV_DOWNCOUNT_LABEL, kStatic, "DownCount");
  Control(IDC_ADV_UPCOUNT_LABEL, kStatic, "UpCount");
  Control(IDC_ADV_STABDELAY_LABEL, kStatic, "Stabilization Delay");
  EXPECT_EQ(Control(IDC_ADV_APPLY, kButton, "Apply") & BS_TYPEMASK, BS_PUSHBUTTON);
  EXPECT_EQ(Control(IDC_ADV_DEFAULT, kButton, "Default") & BS_TYPEMASK, BS_PUSHBUTTON);
  EXPECT_EQ(Control(IDOK, kButton, "OK") & BS_TYPEMASK, BS_DEFPUSHBUTTON);
  EXPECT_EQ(::GetDlgItem(dialog, IDCANCEL), nullptr);
  Labelled(kButton, "Touch Sensitivity");
  Labelled(kStatic, "Low");
  Labelled(kStatic, "High");
}

TEST_F(Template, TouchModePage) {
  HWND page = Open(IDD_SETTING_B);
  EXPECT_EQ(ui::GetWindowString(page), "Setting B");
  Labelled(kButton, "Touch Mode Setting");
  for (auto [id, text] : {std::pair{IDC_TOUCH_NORMAL, "Normal"},
                          {IDC_TOUCH_CLICK_ON_TOUCH, "Click On Touch"},
                          {IDC_TOUCH_CLICK_ON_RELEASE, "Click On Release"}}) {
    const LONG_PTR style = Control(id, kButton, text);
    EXPECT_EQ(style & BS_TYPEMASK, BS_AUTORADIOBUTTON) << text;
    EXPECT_NE(style & BS_PUSHLIKE, 0) << text;
    EXPECT_EQ((style & WS_GROUP) != 0, id == IDC_TOUCH_NORMAL) << text;
  }
  Labelled(kStatic, "Provides general mouse functions, including the dragging function.");
  Labelled(kStatic, "Click action is executed as soon as user touches the touchscreen.");
  EXPECT_NE(::FindWindowExW(page, nullptr, L"Static",
                            L"Click action is executed as soon as user\u2019s touch leaves the "
                            L"touchscreen."),
            nullptr);
}

TEST(Resources, IconBitmapStringVersionAndManifest) {
  HINSTANCE module = ui::ResourceModule();
  for (int size : {16, 32, 48}) {
    HANDLE icon = ::LoadImageA(module, ui::ResourceName(IDR_MAINFRAME), IMAGE_ICON, size, size, 0);
    EXPECT_NE(icon, nullptr) << size;
    ::DestroyIcon(static_cast<HICON>(icon));
  }

  auto* bitmap = static_cast<HBITMAP>(
      ::LoadImageA(module, ui::ResourceName(IDB_LOGO), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  DIBSECTION section{};
  ASSERT_EQ(::GetObjectA(bitmap, sizeof section, &section), static_cast<int>(sizeof section));
  EXPECT_EQ(section.dsBm.bmWidth, 176);
  EXPECT_EQ(section.dsBm.bmHeight, 92);
  EXPECT_EQ(section.dsBm.bmBitsPixel, 8) << "256 colours";
  ::DeleteObject(bitmap);

  char text[64] = {};
  ::LoadStringA(module, IDS_ABOUTBOX, text, sizeof text);
  EXPECT_STREQ(text, "&About Tactivo");

  char path[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::vector<char> version(::GetFileVersionInfoSizeA(path, nullptr));
  ASSERT_FALSE(version.empty());
  ASSERT_TRUE(::GetFileVersionInfoA(path, 0, static_cast<DWORD>(version.size()), version.data()));
  char* product = nullptr;
  UINT length = 0;
  ASSERT_TRUE(::VerQueryValueA(version.data(), "\\StringFileInfo\\040904b0\\ProductName",
                               reinterpret_cast<void**>(&product), &length));
  EXPECT_STREQ(product, "ZeltraTouch");

  // With the manifest, the dialogs' trackbars come from the side-by-side
  // common controls 6 (whose DllGetVersion Wine reports as 5.80).
  ui::CDialog any(IDD_ADVANCED);
  ASSERT_TRUE(any.Create());
  const auto procedure = ::GetClassLongPtrW(any.GetItem(IDC_ADV_PRESSURE), GCLP_WNDPROC);
  HMODULE controls = nullptr;
  ASSERT_TRUE(::GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<const char*>(procedure), &controls));
  char controlsPath[MAX_PATH] = {};
  ::GetModuleFileNameA(controls, controlsPath, MAX_PATH);
  const std::string controlsModule = controlsPath;
  EXPECT_NE(controlsModule.find("microsoft.windows.common-controls"), std::string::npos)
      << controlsModule;
  EXPECT_NE(controlsModule.find("_6.0."), std::string::npos) << controlsModule;
}

}  // namespace
}  // namespace zt
