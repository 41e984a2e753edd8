#include "ui/property_sheet.h"

#include <commctrl.h>

#include "ui/win32_helpers.h"

namespace zt::ui {
namespace {

// Centres the sheet in the work area of its screen, like the program's
// other dialogs, once the sheet has sized itself to its pages.
int CALLBACK CentreSheet(HWND sheet, UINT message, LPARAM) {
  if (message != PSCB_INITIALIZED) {
    return 0;
  }
  HWND owner = ::GetWindow(sheet, GW_OWNER);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  ::GetMonitorInfoA(::MonitorFromWindow(owner != nullptr ? owner : sheet, MONITOR_DEFAULTTOPRIMARY),
                    &monitor);
  RECT frame{};
  ::GetWindowRect(sheet, &frame);
  const RECT& area = monitor.rcWork;
  const int x = area.left + ((area.right - area.left) - (frame.right - frame.left)) / 2;
  const int y = area.top + ((area.bottom - area.top) - (frame.bottom - frame.top)) / 2;
  ::SetWindowPos(sheet, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  return 0;
}

}  // namespace

CPropertyPage::CPropertyPage(unsigned templateId) : CDialog(templateId) {}

bool CPropertyPage::OnSetActive() {
  if (m_bFirstSetActive) {
    m_bFirstSetActive = false;
  } else {
    UpdateData(false);
  }
  return true;
}

bool CPropertyPage::OnKillActive() {
  return UpdateData(true);
}

bool CPropertyPage::OnApply() {
  OnOK();
  return true;
}

void CPropertyPage::OnReset() {
  OnCancel();
}

void CPropertyPage::OnOK() {}

void CPropertyPage::OnCancel() {}

bool CPropertyPage::OnNotify(int id, NMHDR& header, LRESULT& result) {
  switch (header.code) {
    case PSN_SETACTIVE:
      result = OnSetActive() ? 0 : -1;
      return true;
    case PSN_KILLACTIVE:
      result = OnKillActive() ? FALSE : TRUE;
      return true;
    case PSN_APPLY: {
      const bool accepted = OnApply();
      if (m_pSheet != nullptr && reinterpret_cast<PSHNOTIFY&>(header).lParam != 0) {
        m_pSheet->m_bClosedWithOk = accepted;
      }
      result = accepted ? PSNRET_NOERROR : PSNRET_INVALID_NOCHANGEPAGE;
      return true;
    }
    case PSN_RESET:
      if (m_pSheet != nullptr) {
        m_pSheet->m_bClosedWithOk = false;
      }
      OnReset();
      result = 0;
      return true;
    default:
      return CDialog::OnNotify(id, header, result);
  }
}

PROPSHEETPAGEA CPropertyPage::Describe() {
  PROPSHEETPAGEA page{};
  page.dwSize = sizeof page;
  page.dwFlags = PSP_DEFAULT;
  page.hInstance = ResourceModule();
  page.pszTemplate = ResourceName(GetTemplateId());
  page.pfnDlgProc = PageProc;
  page.lParam = reinterpret_cast<LPARAM>(this);
  return page;
}

// A page receives its PROPSHEETPAGE (a copy of Describe's) with
// WM_INITDIALOG; the page object travels in its lParam.
INT_PTR CALLBACK CPropertyPage::PageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    const auto* description = reinterpret_cast<const PROPSHEETPAGEA*>(lParam);
    reinterpret_cast<CPropertyPage*>(description->lParam)->Attach(window);
  }
  return Route(window, message, wParam, lParam);
}

CPropertySheet::CPropertySheet(HWND owner, std::string caption)
    : m_hOwner(owner), m_caption(std::move(caption)) {}

void CPropertySheet::AddPage(CPropertyPage& page) {
  page.m_pSheet = this;
  m_pages.push_back(&page);
}

INT_PTR CPropertySheet::DoModal() {
  if (m_pages.empty()) {
    return -1;
  }
  EnsureCommonControls();
  std::vector<PROPSHEETPAGEA> descriptions;
  for (CPropertyPage* page : m_pages) {
    page->m_bFirstSetActive = true;
    descriptions.push_back(page->Describe());
  }
  PROPSHEETHEADERA header{};
  header.dwSize = sizeof header;
  header.dwFlags = PSH_PROPSHEETPAGE | PSH_NOCONTEXTHELP | PSH_USECALLBACK;
  header.hwndParent = m_hOwner;
  header.hInstance = ResourceModule();
  header.pszCaption = m_caption.c_str();
  header.nPages = static_cast<UINT>(descriptions.size());
  header.nStartPage = 0;
  header.ppsp = descriptions.data();
  header.pfnCallback = CentreSheet;
  m_bClosedWithOk = false;
  if (::PropertySheetA(&header) < 0) {
    return -1;
  }
  return m_bClosedWithOk ? IDOK : IDCANCEL;
}

}  // namespace zt::ui
