// The tray icon: COXTaskbarIcon, an icon in the notification area, and
// CTrayIcon, the program's own, which a press brings the main window back.
#pragma once

#include <windows.h>

#include <string>

namespace zt {

namespace ui {
class CDialog;
}

// An icon in the notification area (tray), managed through an invisible
// top-level window of its own that receives the shell's notifications
// (kWmTrayNotify: wParam is the icon's id, lParam the mouse message that
// happened over the icon). The icon's tip text is that window's title and
// its picture is the window's small icon.
class COXTaskbarIcon {
public:
  COXTaskbarIcon() = default;
  // Removes the icon from the tray if it is there and destroys the window.
  virtual ~COXTaskbarIcon();
  COXTaskbarIcon(const COXTaskbarIcon&) = delete;
  COXTaskbarIcon& operator=(const COXTaskbarIcon&) = delete;

  // Creates the hidden icon window; iconId names the icon towards the shell.
  virtual bool CreateIconWindow(UINT iconId);
  virtual void SetTipFromResource(UINT stringId, bool update);
  // Sets the tip; when the icon is in the tray and update is set, returns
  // the result of updating it there, otherwise false.
  virtual bool SetTipText(const char* text, bool update);
  virtual HICON SetIconFromResourceName(const char* name, bool update);
  virtual HICON SetIconFromResourceId(UINT id, bool update);
  // Makes the icon the window's small icon and returns the previous one;
  // updates the tray when the icon is there and update is set.
  virtual HICON SetIconHandle(HICON icon, bool update);
  // NIM_ADD; false without a shell call when the icon is already there.
  virtual bool AddToTray();
  // NIM_DELETE; false without a shell call when the icon is not there.
  virtual bool RemoveFromTray();
  // NIM_MODIFY when the icon is in the tray, otherwise false.
  virtual bool UpdateInTray();
  virtual void GetTipText(std::string& text);
  // Copies at most maxLength - 1 characters of the tip; returns the count.
  virtual int GetTipText(char* buffer, int maxLength);
  virtual HICON GetIconHandle();
  // Sends the icon's record with the shell message; the shell's result.
  virtual bool NotifyShell(DWORD message);

  HWND GetSafeHwnd() const { return m_hWnd; }
  bool IsInTray() const { return m_bInTray; }
  UINT GetIconId() const { return m_nIconId; }

protected:
  // The shell's notification: passes it on to the icon window's owner or
  // parent, or, without either, posts the mouse message to the icon window
  // itself. Returns -1.
  virtual LRESULT OnIconNotify(WPARAM wParam, LPARAM lParam);
  // Messages of the icon window. The default takes the shell's notification,
  // puts the icon back into a tray that the shell has made anew
  // ("TaskbarCreated", after Explorer restarts), and leaves the rest to
  // DefWindowProc.
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);

  HWND m_hWnd = nullptr;
  bool m_bInTray = false;
  UINT m_nIconId = 0;

private:
  static LRESULT CALLBACK StaticWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
};

// The program's tray icon: a press of either mouse button on it posts
// kWmNotifyMain with lParam kNotifyShowWindow to the main window.
class CTrayIcon : public COXTaskbarIcon {
public:
  // The dialog whose window is told of presses. Its window may come later
  // than this call; the handle is taken at each press.
  void SetNotifyDialog(const ui::CDialog* dialog) { m_pNotifyDlg = dialog; }

protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  const ui::CDialog* m_pNotifyDlg = nullptr;
};

}  // namespace zt
