#include "windows/advanced_dlg.h"

#include "engine/touch_host.h"
#include "resource.h"
#include "settings/advanced_values.h"
#include "ui/message_box.h"

namespace zt {
namespace {

constexpr char kCantReadEeprom[] = "can't read eeprom data";

void SetRange(ui::CSliderCtrl& slider, const advanced::SliderRange& range) {
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
  SetRange(m_sliderPressure, advanced::kPressureRange);
  SetRange(m_sliderDownCount, advanced::kDownCountRange);
  SetRange(m_sliderUpCount, advanced::kUpCountRange);
  SetRange(m_sliderStabDelay, advanced::kStabDelayRange);
  SetLabels();
  UpdateData(false);
  return true;
}

void CAdvancedDlg::SetLabels() {
  m_strPressure = advanced::LabelText(advanced::kPressure, m_nPressure);
  m_strDownCount = advanced::LabelText(advanced::kDownCount, m_nDownCount);
  m_strUpCount = advanced::LabelText(advanced::kUpCount, m_nUpCount);
  m_strStabDelay = advanced::LabelText(advanced::kStabDelay, m_nStabDelay);
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
      RelabelSlider(m_sliderPressure, m_strPressure, advanced::kPressure);
      break;
    case IDC_ADV_DOWNCOUNT:
      RelabelSlider(m_sliderDownCount, m_strDownCount, advanced::kDownCount);
      break;
    case IDC_ADV_UPCOUNT:
      RelabelSlider(m_sliderUpCount, m_strUpCount, advanced::kUpCount);
      break;
    case IDC_ADV_STABDELAY:
      RelabelSlider(m_sliderStabDelay, m_strStabDelay, advanced::kStabDelay);
      break;
    default:
      break;
  }
}

void CAdvancedDlg::RelabelSlider(ui::CSliderCtrl& slider, std::string& label, const char* name) {
  const int position = slider.GetPos();
  UpdateData(true);
  label = advanced::LabelText(name, position);
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

// The dialog opens only with values the controller has sent.
void RunAdvancedDlg(HWND owner, CTouchHost& host, IThreads& threads) {
  CTouchDriver* engine = host.Driver();
  if (engine == nullptr) {
    return;
  }
  SensitivityParams values;
  if (!advanced::ReadFromController(*engine, threads, values)) {
    ui::AppMessageBox(owner, kCantReadEeprom, MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  CAdvancedDlg dialog(host, owner);
  dialog.m_nPressure = values.pressure;
  dialog.m_nDownCount = values.downCount;
  dialog.m_nUpCount = values.upCount;
  dialog.m_nStabDelay = values.stabilizationDelay;
  dialog.DoModal();
}

}  // namespace zt
