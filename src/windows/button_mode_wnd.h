#pragma once

#include <windows.h>

#include <string>

#include "engine/touch_host.h"
#include "ui/dialog.h"

namespace zt {

// The button indicator: a small floating window that shows which button
// the next touch presses, "Left" or "Right". A click on it toggles the running engine's choice;
// after an emulated right click the main window resets it to "Left".
class CButtonModeWnd : public ui::CDialog {
public:
  CButtonModeWnd(CTouchHost& host, HWND parent);
  ~CButtonModeWnd() override;

  const std::string& ButtonText() const { return m_strButton; }
  // Puts the window at the bottom right of the touch screen's monitor, as
  // far from its edges as from the primary screen's full-screen client area.
  void Place();

protected:
  bool OnInitDialog() override;
  void DoDataExchange(ui::CDataExchange& exchange) override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
  void OnButtonUp();
  void OnResetButton();
  void Show(const char* text);

  std::string m_strButton = "Left";
  HWND m_pParentWnd;
  CTouchHost& m_host;
};

}  // namespace zt
