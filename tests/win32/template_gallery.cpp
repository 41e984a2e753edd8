// Shows one of the program's dialog templates the way the program fills it,
// for screenshots: template_gallery.exe TEMPLATE_ID READY_FILE
// Once the window is on screen it creates READY_FILE, then waits until that
// file is deleted again (at most 30 s) and closes.
#include <windows.h>

#include <commctrl.h>

#include <cstdlib>
#include <string>

#include "resource.h"
#include "ui/controls.h"
#include "ui/dialog.h"
#include "ui/property_sheet.h"

namespace zt {
namespace {

constexpr UINT_PTR kPollTimer = 1;
constexpr int kPollMs = 100;
constexpr int kMaxPolls = 300;

// Creates the ready file when the window is visible, and reports whether the
// screenshot has been taken (the file is gone again, or it took too long).
class ReadyFile {
public:
  explicit ReadyFile(std::string path) : m_path(std::move(path)) {}

  bool Poll(HWND window) {
    if (++m_polls > kMaxPolls) {
      return true;
    }
    if (!m_created) {
      if (::IsWindowVisible(window)) {
        ::RedrawWindow(window, nullptr, nullptr,
                       RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        HANDLE file = ::CreateFileA(m_path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        ::CloseHandle(file);
        m_created = file != INVALID_HANDLE_VALUE;
      }
      return false;
    }
    return ::GetFileAttributesA(m_path.c_str()) == INVALID_FILE_ATTRIBUTES;
  }

private:
  std::string m_path;
  bool m_created = false;
  int m_polls = 0;
};

void SetSlider(HWND dialog, int id, int minimum, int maximum, int position) {
  ui::CSliderCtrl slider;
  slider.Attach(::GetDlgItem(dialog, id));
  slider.SetRange(minimum, maximum);
  slider.SetPos(position);
}

// Fills a template's controls as the program does when it runs.
void Fill(HWND dialog, unsigned templateId) {
  switch (templateId) {
    case IDD_MAIN:
      ::SetWindowTextA(dialog, "TactivoV1.12 ");
      for (int id : {IDC_MAIN_SETTING, IDC_MAIN_CALIBRATION, IDC_MAIN_ADVANCED}) {
        ::EnableWindow(::GetDlgItem(dialog, id), TRUE);
      }
      ::SendDlgItemMessageA(dialog, IDC_MAIN_PORT, CB_SELECTSTRING, static_cast<WPARAM>(-1),
                            reinterpret_cast<LPARAM>("COM1"));
      break;
    case IDD_ADVANCED:
      SetSlider(dialog, IDC_ADV_PRESSURE, 600, 900, 705);
      SetSlider(dialog, IDC_ADV_DOWNCOUNT, 0, 20, 3);
      SetSlider(dialog, IDC_ADV_UPCOUNT, 0, 20, 7);
      SetSlider(dialog, IDC_ADV_STABDELAY, 100, 600, 360);
      ::SetDlgItemTextA(dialog, IDC_ADV_PRESSURE_LABEL, "Pressure: 705");
      ::SetDlgItemTextA(dialog, IDC_ADV_DOWNCOUNT_LABEL, "DownCount: 3");
      ::SetDlgItemTextA(dialog, IDC_ADV_UPCOUNT_LABEL, "UpCount: 7");
      ::SetDlgItemTextA(dialog, IDC_ADV_STABDELAY_LABEL, "Stabilization Delay: 360");
      break;
    case IDD_SETTING_A: {
      SetSlider(dialog, IDC_MOUSE_SPEED, 200, 1000, 500);
      SetSlider(dialog, IDC_MOUSE_FREQUENCY, 100, 4000, 600);
      SetSlider(dialog, IDC_MOUSE_DURATION, 10, 1000, 600);
      ::SetDlgItemTextA(dialog, IDC_MOUSE_CLICK_ZONE, "Click Zone4");
      // The largest zone on this screen, where the program puts it.
      const int zone = 400;
      ::MoveWindow(::GetDlgItem(dialog, IDC_MOUSE_TEST_TARGET), 150, 85,
                   zone * ::GetSystemMetrics(SM_CXSCREEN) / 4096,
                   zone * ::GetSystemMetrics(SM_CYSCREEN) / 4096, TRUE);
      ::SetDlgItemTextA(dialog, IDC_MOUSE_TEST_TARGET, "3");
      ::CheckDlgButton(dialog, IDC_MOUSE_BEEP, BST_CHECKED);
      break;
    }
    case IDD_SETTING_B:
      ::CheckDlgButton(dialog, IDC_TOUCH_NORMAL, BST_CHECKED);
      break;
    case IDD_BUTTON_MODE:
      ::SetWindowPos(dialog, HWND_TOPMOST, 500, 300, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
      break;
    default:
      break;
  }
}

class GalleryDialog : public ui::CDialog {
public:
  GalleryDialog(unsigned templateId, const char* readyFile)
      : CDialog(templateId), m_ready(readyFile) {}

protected:
  bool OnInitDialog() override {
    Fill(m_hWnd, GetTemplateId());
    ::SetTimer(m_hWnd, kPollTimer, kPollMs, nullptr);
    return true;
  }
  void OnTimer(UINT_PTR) override {
    if (m_ready.Poll(m_hWnd)) {
      EndDialog(IDCANCEL);
    }
  }

private:
  ReadyFile m_ready;
};

class GalleryPage : public ui::CPropertyPage {
public:
  GalleryPage(unsigned templateId, unsigned shownId, const char* readyFile)
      : CPropertyPage(templateId), m_shown(templateId == shownId), m_ready(readyFile) {}

protected:
  bool OnInitDialog() override {
    Fill(m_hWnd, GetTemplateId());
    return true;
  }
  bool OnSetActive() override {
    HWND sheet = ::GetParent(m_hWnd);
    if (!m_shown) {
      ::PostMessageA(sheet, PSM_SETCURSEL, GetTemplateId() == IDD_SETTING_A ? 1 : 0, 0);
    } else {
      ::SetTimer(m_hWnd, kPollTimer, kPollMs, nullptr);
    }
    return CPropertyPage::OnSetActive();
  }
  void OnTimer(UINT_PTR) override {
    HWND sheet = ::GetParent(m_hWnd);
    if (m_ready.Poll(sheet)) {
      ::KillTimer(m_hWnd, kPollTimer);
      ::PostMessageA(::GetDlgItem(sheet, IDCANCEL), BM_CLICK, 0, 0);
    }
  }

private:
  bool m_shown;
  ReadyFile m_ready;
};

int Show(unsigned templateId, const char* readyFile) {
  if (templateId == IDD_SETTING_A || templateId == IDD_SETTING_B) {
    GalleryPage mouse(IDD_SETTING_A, templateId, readyFile);
    GalleryPage touch(IDD_SETTING_B, templateId, readyFile);
    ui::CPropertySheet sheet;
    sheet.AddPage(mouse);
    sheet.AddPage(touch);
    return sheet.DoModal() == -1 ? 1 : 0;
  }
  GalleryDialog dialog(templateId, readyFile);
  return dialog.DoModal() == -1 ? 1 : 0;
}

}  // namespace
}  // namespace zt

int main(int argc, char** argv) {
  if (argc != 3) {
    return 2;
  }
  return zt::Show(static_cast<unsigned>(std::strtoul(argv[1], nullptr, 10)), argv[2]);
}
