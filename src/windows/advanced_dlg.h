#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "platform/threads.h"
#include "ui/controls.h"
#include "ui/dialog.h"

namespace zt {

class CTouchHost;

// The Advanced dialog, where users set the controller's sensitivity: its
// four parameters on four sliders, as the controller reported them. Apply writes the sliders'
// positions to the controller, Default writes the default set and shows
// it; OK, Escape and the close box write nothing.
class CAdvancedDlg : public ui::CDialog {
public:
  CAdvancedDlg(CTouchHost& host, HWND owner);
  ~CAdvancedDlg() override;

  // The values the controller reported; set before the dialog runs.
  std::int32_t m_nStabDelay = 0;
  std::int32_t m_nUpCount = 0;
  std::int32_t m_nPressure = 0;
  std::int32_t m_nDownCount = 0;

protected:
  bool OnInitDialog() override;
  void DoDataExchange(ui::CDataExchange& exchange) override;
  bool OnCommand(int id, int code, HWND control) override;
  void OnSliderReleased(int id) override;

private:
  void SetLabels();
  void RelabelSlider(ui::CSliderCtrl& slider, std::string& label, const char* name);
  void OnApplyParameters();
  void OnDefaultParameters();

  CTouchHost& m_host;
  ui::CSliderCtrl m_sliderStabDelay;
  ui::CSliderCtrl m_sliderDownCount;
  ui::CSliderCtrl m_sliderUpCount;
  ui::CSliderCtrl m_sliderPressure;
  std::string m_strPressure;
  std::string m_strDownCount;
  std::string m_strUpCount;
  std::string m_strStabDelay;
};

// The Advanced command with a running engine: reads the controller's
// parameters (up to 4.5 s on this thread), then shows them in the dialog,
// or says that they could not be read.
void RunAdvancedDlg(HWND owner, CTouchHost& host, IThreads& threads);

}  // namespace zt
