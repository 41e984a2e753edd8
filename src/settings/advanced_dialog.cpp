#include "settings/advanced_dialog.h"

#include "engine/touch_host.h"
#include "resource.h"
#include "settings/sensitivity_values.h"

namespace zt {
namespace {

void SetRange(ui::CSliderCtrl& slider, const sensitivity::SliderRange& range) {
  slider.SetRange(range.minimum, range.maximum, true);
}

}  // namespace

CAdvancedDlg::CAdvancedDlg(CTouchHost& host, HWND owner)
    : ui::CDialog(IDD_ADVANCED, owner), m_host(host) {}

CAdvancedDlg::~CAdvancedDlg() = default;

void CAdvancedDlg::DoDataExchange(ui::CDataExchange& exchange) {
  exchange.Control(IDC_ADV_STABDELAY, m_sliderStabDelay);
  exchange.Control(IDC_ADV_DOWNCOUNT, m_sliderDownCount);
  exchange.Control(IDC_ADV_UPCOUNT, m_sliderUpCount);
  exchange.Control(IDC_ADV_PRESSURE, m_sliderPressure);
  exchange.Text(IDC_ADV_PRESSURE_LABEL, m_strPressure);
  exchange.Text(IDC_ADV_DOWNCOUNT_LABEL, m_strDownCount);
  exchange.Text(IDC_ADV_UPCOUNT_LABEL, m_strUpCount);
  exchange.Text(IDC_ADV_STABDELAY_LABEL, m_strStabDelay);
  exchange.SliderPos(IDC_ADV_STABDELAY, m_nStabDelay);
  exchange.SliderPos(IDC_ADV_UPCOUNT, m_nUpCount);
  exchange.SliderPos(IDC_ADV_PRESSURE, m_nPressure);
  exchange.SliderPos(IDC_ADV_DOWNCOUNT, m_nDownCount);
}

// The labels show the values as the controller sent them; the sliders
// clamp them into their ranges.
bool CAdvancedDlg::OnInitDialog() {
  ui::CDialog::OnInitDialog();
  SetRange(m_sliderPressure, sensitivity::kPressureRange);
  SetRange(m_sliderDownCount, sensitivity::kDownCountRange);
  SetRange(m_sliderUpCount, sensitivity::kUpCountRange);
  SetRange(m_sliderStabDelay, sensitivity::kStabDelayRange);
  SetLabels();
  UpdateData(false);
  return true;
}

void CAdvancedDlg::SetLabels() {
  m_strPressure = sensitivity::LabelText(sensitivity::kPressure, m_nPressure);
  m_strDownCount = sensitivity::LabelText(sensitivity::kDownCount, m_nDownCount);
  m_strUpCount = sensitivity::LabelText(sensitivity::kUpCount, m_nUpCount);
  m_strStabDelay = sensitivity::LabelText(sensitivity::kStabDelay, m_nStabDelay);
}

bool CAdvancedDlg::OnCommand(int id, int code, HWND control) {
  if (code == BN_CLICKED && id == IDC_ADV_APPLY) {
    OnApplyParameters();
    return true;
  }
  if (code == BN_CLICKED && id == IDC_ADV_DEFAULT) {
    OnDefaultParameters();
    return true;
  }
  return ui::CDialog::OnCommand(id, code, control);
}

// Letting go of a slider only relabels it; nothing is sent.
void CAdvancedDlg::OnSliderReleased(int id) {
  switch (id) {
    case IDC_ADV_PRESSURE:
      RelabelSlider(m_sliderPressure, m_strPressure, sensitivity::kPressure);
      break;
    case IDC_ADV_DOWNCOUNT:
      RelabelSlider(m_sliderDownCount, m_strDownCount, sensitivity::kDownCount);
      break;
    case IDC_ADV_UPCOUNT:
      RelabelSlider(m_sliderUpCount, m_strUpCount, sensitivity::kUpCount);
      break;
    case IDC_ADV_STABDELAY:
      RelabelSlider(m_sliderStabDelay, m_strStabDelay, sensitivity::kStabDelay);
      break;
    default:
      break;
  }
}

void CAdvancedDlg::RelabelSlider(ui::CSliderCtrl& slider, std::string& label, const char* name) {
  const int position = slider.GetPos();
  UpdateData(true);
  label = sensitivity::LabelText(name, position);
  UpdateData(false);
}

void CAdvancedDlg::OnApplyParameters() {
  const SensitivityParams params{m_sliderPressure.GetPos(), m_sliderDownCount.GetPos(),
                                 m_sliderUpCount.GetPos(), m_sliderStabDelay.GetPos()};
  if (CTouchDriver* engine = m_host.Driver()) {
    engine->SendParameters(params);
  }
}

void CAdvancedDlg::OnDefaultParameters() {
  if (CTouchDriver* engine = m_host.Driver()) {
    engine->SendParameters(kDefaultSensitivity);
  }
  m_nPressure = kDefaultSensitivity.pressure;
  m_nDownCount = kDefaultSensitivity.downCount;
  m_nUpCount = kDefaultSensitivity.upCount;
  m_nStabDelay = kDefaultSensitivity.stabilizationDelay;
  SetLabels();
  UpdateData(false);
}

}  // namespace zt
