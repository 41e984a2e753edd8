// Property sheets: a modal sheet of tabbed pages, each page a dialog built
// from a child template whose caption is its tab's title.
#pragma once

#include <windows.h>

#include <prsht.h>

#include <string>
#include <vector>

#include "ui/dialog.h"

namespace zt::ui {

class CPropertySheet;

class CPropertyPage : public CDialog {
public:
  explicit CPropertyPage(unsigned templateId);

protected:
  // The page is about to be shown; false keeps the sheet on the current
  // page. The default reloads the controls from the members on every
  // activation but the first (OnInitDialog loaded them then).
  virtual bool OnSetActive();
  // The page is about to be left or the sheet applied; false keeps it. The
  // default saves the controls into the members.
  virtual bool OnKillActive();
  // The sheet's OK (or Apply): called for every page that has been shown.
  // The default calls OnOK and accepts.
  virtual bool OnApply();
  // The sheet's Cancel. The default calls OnCancel.
  virtual void OnReset();

  // Pages never end the sheet: by default they do nothing on OK and Cancel.
  void OnOK() override;
  void OnCancel() override;
  bool OnNotify(int id, NMHDR& header, LRESULT& result) override;

private:
  friend class CPropertySheet;

  PROPSHEETPAGEA Describe();
  static INT_PTR CALLBACK PageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  bool m_bFirstSetActive = true;
  CPropertySheet* m_pSheet = nullptr;
};

class CPropertySheet {
public:
  // owner: the window that owns the sheet; caption: the sheet's own title
  // (none by default).
  explicit CPropertySheet(HWND owner = nullptr, std::string caption = {});

  // Pages are shown in the order added; the first is shown first. The pages
  // must outlive DoModal.
  void AddPage(CPropertyPage& page);
  // Runs the sheet modally. IDOK when it was closed with OK, IDCANCEL
  // otherwise, -1 when it could not be shown. Its Apply button stays
  // disabled unless a page reports a change (PSM_CHANGED).
  INT_PTR DoModal();

private:
  friend class CPropertyPage;

  HWND m_hOwner;
  std::string m_caption;
  bool m_bClosedWithOk = false;
  std::vector<CPropertyPage*> m_pages;
};

}  // namespace zt::ui
