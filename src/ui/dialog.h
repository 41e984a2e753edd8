// Dialogs built from resource templates, modal or modeless.
//
// A derived class overrides the handlers it needs; commands and
// notifications carry the control id, and a switch on it in the derived
// class binds controls to their handlers. Every message first reaches
// OnMessage, so a derived class can take any message it wants before the
// dispatch below it.
#pragma once

#include <windows.h>

#include <string>

#include "ui/data_exchange.h"

namespace zt::ui {

class CDialog {
public:
  // templateId: the dialog resource; owner: the window that owns the dialog
  // (none for an unowned top-level dialog).
  explicit CDialog(unsigned templateId, HWND owner = nullptr);
  // Destroys a modeless window that is still open. The derived part is gone
  // by then, so a class whose OnDestroy matters destroys its window in its
  // own destructor.
  virtual ~CDialog();
  CDialog(const CDialog&) = delete;
  CDialog& operator=(const CDialog&) = delete;

  // Runs the dialog modally and returns the code given to EndDialog, or -1
  // when the window could not be created (also when OnCreate refused).
  INT_PTR DoModal();
  // Creates the dialog modelessly (hidden unless the template is visible).
  // The window lives until DestroyWindow or the object's destruction.
  bool Create();
  void DestroyWindow();
  // Ends a modal dialog with the result; hides a modeless one.
  void EndDialog(INT_PTR result);

  HWND GetSafeHwnd() const { return m_hWnd; }
  unsigned GetTemplateId() const { return m_templateId; }
  HWND GetOwner() const { return m_hOwner; }
  bool IsModal() const { return m_bModal; }

  HWND GetItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
  std::string GetItemText(int id) const;
  void SetItemText(int id, const std::string& text);
  void EnableItem(int id, bool enable);

  // Runs DoDataExchange: from the controls into the members when
  // saveAndValidate is true, from the members into the controls otherwise.
  // False when a binding names a missing control.
  bool UpdateData(bool saveAndValidate = true);

protected:
  // Runs just before the window is created, while it does not exist yet;
  // returning false abandons the creation.
  virtual bool OnCreate() { return true; }
  // After the controls exist and their initial data is loaded. The default
  // loads the members into the controls; true gives the focus to the first
  // tab stop.
  virtual bool OnInitDialog();
  virtual void DoDataExchange(CDataExchange& exchange);
  // WM_COMMAND. True when handled. The default routes IDOK and IDCANCEL
  // clicks to OnOK and OnCancel.
  virtual bool OnCommand(int id, int code, HWND control);
  // WM_NOTIFY. True when handled, with the notification's result. The
  // default routes a trackbar's NM_RELEASEDCAPTURE to OnSliderReleased.
  virtual bool OnNotify(int id, NMHDR& header, LRESULT& result);
  // The user let go of the thumb of trackbar id.
  virtual void OnSliderReleased(int id);
  // Default: save the controls into the members, then end with IDOK.
  virtual void OnOK();
  // Default: end with IDCANCEL.
  virtual void OnCancel();
  virtual void OnTimer(UINT_PTR id);
  // True when the handler painted; false leaves the painting to the default.
  virtual bool OnPaint();
  virtual void OnDestroy();
  // Sees every message first. Return true to take it, with its result.
  virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

  HWND m_hWnd = nullptr;

private:
  friend class CPropertyPage;

  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  // Hands a message to the object attached to the window, if any.
  static INT_PTR Route(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  // Binds the object to its window; called when WM_INITDIALOG arrives.
  void Attach(HWND window);
  INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  bool Dispatch(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
  void LoadInitialData();

  unsigned m_templateId;
  HWND m_hOwner;
  bool m_bModal = false;
};

}  // namespace zt::ui
