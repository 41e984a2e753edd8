#include "windows/dlg_setup_mouse.h"

#include <string>
#include <utility>

#include "resource.h"
#include "settings/setup_changes.h"

namespace zt {
namespace {

constexpr int kSpeedMin = 200;
constexpr int kSpeedMax = 1000;
constexpr int kFrequencyMin = 100;
constexpr int kFrequencyMax = 4000;
constexpr int kDurationMin = 10;
constexpr int kDurationMax = 1000;

// Where the test target sits, in pixels of the page's client area.
constexpr int kTestTargetX = 150;
constexpr int kTestTargetY = 85;

}  // namespace

CDlgSetupMouse::CDlgSetupMouse(CTouchHost& host, settings::CSettingsStore& store, IInput& input,
                               std::function<void()> onRightButtonChanged)
    : ui::CPropertyPage(IDD_SETTING_A),
      m_host(host),
      m_store(store),
      m_input(input),
      m_onRightButtonChanged(std::move(onRightButtonChanged)) {}

CDlgSetupMouse::~CDlgSetupMouse() = default;

CTouchDriver* CDlgSetupMouse::Engine() const {
  return m_host.Driver();
}

void CDlgSetupMouse::ChangeEngine(const std::function<void(EngineSettings&)>& change) {
  if (CTouchDriver* engine = Engine()) {
    EngineSettings settings = engine->Settings();
    change(settings);
    engine->ApplySettings(settings);
  }
}

void CDlgSetupMouse::DoDataExchange(ui::CDataExchange& exchange) {
  exchange.Control(IDC_MOUSE_FREQUENCY, m_sliderFrequency);
  exchange.Control(IDC_MOUSE_DURATION, m_sliderDuration);
  exchange.Control(IDC_MOUSE_TEST_TARGET, m_btnTest);
  exchange.Control(IDC_MOUSE_SPEED, m_sliderSpeed);
  exchange.Check(IDC_MOUSE_BEEP, m_bBeep);
  exchange.SliderPos(IDC_MOUSE_DURATION, m_nDuration);
  exchange.SliderPos(IDC_MOUSE_FREQUENCY, m_nFrequency);
  exchange.Check(IDC_MOUSE_RIGHT_BUTTON, m_bRightButton);
}

bool CDlgSetupMouse::OnInitDialog() {
  ui::CPropertyPage::OnInitDialog();
  m_sliderFrequency.SetRange(kFrequencyMin, kFrequencyMax);
  m_sliderDuration.SetRange(kDurationMin, kDurationMax);
  m_sliderSpeed.SetRange(kSpeedMin, kSpeedMax);
  // The control clamps the desktop's double-click time into its range.
  m_sliderSpeed.SetPos(static_cast<int>(m_input.GetDoubleClickTime()));
  UpdateData(false);
  if (CTouchDriver* engine = Engine()) {
    m_nClickZone = engine->Settings().dZone;
  }
  UpdateClickZone();
  return true;
}

bool CDlgSetupMouse::OnCommand(int id, int code, HWND control) {
  if (id == IDC_MOUSE_TEST_TARGET && code == BN_DOUBLECLICKED) {
    OnTestDoubleClicked();
    return true;
  }
  if (code != BN_CLICKED) {
    return ui::CPropertyPage::OnCommand(id, code, control);
  }
  switch (id) {
    case IDC_MOUSE_BEEP:
      OnBeep();
      return true;
    case IDC_MOUSE_CLICK_ZONE:
      OnClickZone();
      return true;
    case IDC_MOUSE_RIGHT_BUTTON:
      OnRightButton();
      return true;
    default:
      return ui::CPropertyPage::OnCommand(id, code, control);
  }
}

void CDlgSetupMouse::OnSliderReleased(int id) {
  switch (id) {
    case IDC_MOUSE_SPEED:
      OnSpeedReleased();
      break;
    case IDC_MOUSE_FREQUENCY:
      OnFrequencyReleased();
      break;
    case IDC_MOUSE_DURATION:
      OnDurationReleased();
      break;
    default:
      break;
  }
}

// Brings the engine's zone sizes into line with the zone index (also when
// the page opens, without saving) and sizes the test target to match.
void CDlgSetupMouse::UpdateClickZone() {
  UpdateData(true);
  CTouchDriver* engine = Engine();
  if (engine == nullptr) {
    return;
  }
  SetItemText(IDC_MOUSE_CLICK_ZONE, setup::ClickZoneCaption(m_nClickZone));
  setup::ApplyClickZone(*engine, m_nClickZone);
  const EngineSettings settings = engine->Settings();
  const setup::TargetSize size =
      setup::TestTargetSize(settings.dZoneX, settings.dZoneY, ::GetSystemMetrics(SM_CXSCREEN),
                            ::GetSystemMetrics(SM_CYSCREEN));
  ::MoveWindow(m_btnTest.GetSafeHwnd(), kTestTargetX, kTestTargetY, size.width, size.height, TRUE);
  ::InvalidateRect(m_hWnd, nullptr, TRUE);
}

// Writes all seven mouse values; the frequency and duration are the
// sliders' positions, also when they were moved with the keyboard.
void CDlgSetupMouse::SaveMouseSettings() {
  if (const CTouchDriver* engine = Engine()) {
    const setup::MousePageValues page{m_bBeep, m_sliderFrequency.GetPos(),
                                      m_sliderDuration.GetPos()};
    setup::StoreMouseSettings(m_store, *engine, page);
  }
}

void CDlgSetupMouse::OnSpeedReleased() {
  const int milliseconds = m_sliderSpeed.GetPos();
  m_input.SetDoubleClickTime(static_cast<std::uint32_t>(milliseconds));
  ChangeEngine([milliseconds](EngineSettings& settings) { settings.dTime = milliseconds; });
  SaveMouseSettings();
}

void CDlgSetupMouse::OnFrequencyReleased() {
  const int frequency = m_sliderFrequency.GetPos();
  ChangeEngine([frequency](EngineSettings& settings) { settings.freq = frequency; });
  SaveMouseSettings();
}

void CDlgSetupMouse::OnDurationReleased() {
  const int duration = m_sliderDuration.GetPos();
  ChangeEngine([duration](EngineSettings& settings) { settings.duration = duration; });
  SaveMouseSettings();
}

// The test target shows how many double-clicks it has seen, from 0.
void CDlgSetupMouse::OnTestDoubleClicked() {
  SetItemText(IDC_MOUSE_TEST_TARGET, std::to_string(m_nTestCount));
  ++m_nTestCount;
  ::InvalidateRect(m_hWnd, nullptr, TRUE);
}

void CDlgSetupMouse::OnBeep() {
  UpdateData(true);
  const std::int32_t beep = m_bBeep;
  ChangeEngine([beep](EngineSettings& settings) { settings.beep = beep; });
  SaveMouseSettings();
}

void CDlgSetupMouse::OnClickZone() {
  m_nClickZone = setup::NextClickZone(m_nClickZone);
  UpdateClickZone();
  SaveMouseSettings();
}

// Turns right-button emulation on or off in the engine, the host and the
// registry together, then shows or hides the indicator. When the settings
// cannot be saved nothing changes, and the switch goes back to the state
// in effect.
void CDlgSetupMouse::OnRightButton() {
  UpdateData(true);
  if (!setup::StoreRightButton(m_store, m_host, m_bRightButton)) {
    m_bRightButton = m_host.m_nRight;
    ::CheckDlgButton(m_hWnd, IDC_MOUSE_RIGHT_BUTTON,
                     m_bRightButton != 0 ? BST_CHECKED : BST_UNCHECKED);
    return;
  }
  if (m_onRightButtonChanged) {
    m_onRightButtonChanged();
  }
}

}  // namespace zt
