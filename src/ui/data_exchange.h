// Transfers values between a dialog's controls and its members, in one
// direction per pass: to the controls (loading) or from them (saving).
// A dialog's DoDataExchange lists its bindings once; UpdateData runs it.
#pragma once

#include <windows.h>

#include <string>

namespace zt::ui {

class CControl;

class CDataExchange {
public:
  CDataExchange(HWND dialog, bool saveAndValidate)
      : m_hDialog(dialog), m_bSaveAndValidate(saveAndValidate) {}

  bool IsSaving() const { return m_bSaveAndValidate; }
  // False when a binding named a control the dialog does not have.
  bool Succeeded() const { return m_bSucceeded; }

  // Attaches a control wrapper to the dialog's control (both directions).
  void Control(int id, CControl& control);
  // The control's window text.
  void Text(int id, std::string& value);
  // A check box: 0 unchecked, 1 checked, 2 indeterminate. Loading any other
  // value clears the check.
  void Check(int id, int& value);
  // A radio group that starts at firstId and runs to the next control that
  // starts a group: the index of the checked button among the group's radio
  // buttons, -1 when none is checked. Loading an index outside the group
  // checks none.
  void Radio(int firstId, int& index);
  // A trackbar's position; the control clamps loaded values into its range.
  void SliderPos(int id, int& position);
  // A combo box's text. Loading selects the first list item that begins with
  // the value, ignoring case, or sets the text when no item does. An empty
  // value clears the selection and the text.
  void ComboText(int id, std::string& value);

private:
  HWND Item(int id);

  HWND m_hDialog;
  bool m_bSaveAndValidate;
  bool m_bSucceeded = true;
};

// The window text of any window.
std::string GetWindowString(HWND window);

}  // namespace zt::ui
