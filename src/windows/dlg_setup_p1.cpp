#include "windows/dlg_setup_p1.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "engine/touch_smoothing.h"
#include "engine/window_messages.h"
#include "mapping/desktop_mapping.h"
#include "resource.h"
#include "settings/setup_changes.h"
#include "windows/monitor_numbers.h"

namespace zt {
namespace {

constexpr UINT_PTR kDisplayChangeForwarder = 1;

// The press-and-hold times offered, in ms, and the smoothing levels.
constexpr std::int32_t kHoldTimes[] = {0, 500, 750, 1000, 1500};
constexpr const char* kSmoothingNames[] = {"Off", "Light", "Medium", "Strong"};

std::string HoldLabel(std::int32_t milliseconds) {
  if (milliseconds <= 0) {
    return "Off";
  }
  char text[16];
  std::snprintf(text, sizeof text, "%g s", milliseconds / 1000.0);
  return text;
}

// Fills a list with labels and selects index; the item data is each value.
void FillList(HWND list, const std::vector<std::pair<std::string, std::int32_t>>& items,
              std::int32_t selected) {
  ::SendMessageA(list, CB_RESETCONTENT, 0, 0);
  for (const auto& [label, value] : items) {
    const LRESULT index =
        ::SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(label.c_str()));
    ::SendMessageA(list, CB_SETITEMDATA, static_cast<WPARAM>(index), value);
    if (value == selected) {
      ::SendMessageA(list, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    }
  }
}

// Display changes reach only top-level windows: the sheet passes them on
// to the page, which lists the monitors again.
LRESULT CALLBACK ForwardDisplayChange(HWND sheet, UINT message, WPARAM wParam, LPARAM lParam,
                                      UINT_PTR /*id*/, DWORD_PTR page) {
  if (message == WM_DISPLAYCHANGE) {
    ::PostMessageA(reinterpret_cast<HWND>(page), kWmMonitorsChanged, 0, 0);
  }
  return ::DefSubclassProc(sheet, message, wParam, lParam);
}

}  // namespace

CDlgSetupP1::CDlgSetupP1(CTouchHost& host, settings::CSettingsStore& store,
                         std::function<void()> onShownChanged)
    : ui::CPropertyPage(IDD_SETTING_B),
      m_host(host),
      m_store(store),
      m_onShownChanged(std::move(onShownChanged)) {}

CDlgSetupP1::~CDlgSetupP1() = default;

// While no mode is checked (a stored mode outside 0..2), reading the group
// keeps the mode as it is instead of turning it into "none".
void CDlgSetupP1::DoDataExchange(ui::CDataExchange& exchange) {
  int checked = m_nTouchMode;
  exchange.Radio(IDC_TOUCH_NORMAL, checked);
  if (!exchange.IsSaving() || checked >= 0) {
    m_nTouchMode = checked;
  }
  exchange.Radio(IDC_MAPPING_STANDARD, m_nMapping);
}

bool CDlgSetupP1::OnInitDialog() {
  ui::CPropertyPage::OnInitDialog();
  FillMonitorList();
  FillTouchFeel();
  ::SetWindowSubclass(::GetParent(m_hWnd), &ForwardDisplayChange, kDisplayChangeForwarder,
                      reinterpret_cast<DWORD_PTR>(m_hWnd));
  return true;
}

void CDlgSetupP1::OnDestroy() {
  ::RemoveWindowSubclass(::GetParent(m_hWnd), &ForwardDisplayChange, kDisplayChangeForwarder);
  ui::CPropertyPage::OnDestroy();
}

bool CDlgSetupP1::OnMessage(UINT message, WPARAM /*wParam*/, LPARAM /*lParam*/,
                            LRESULT& /*result*/) {
  if (message == kWmMonitorsChanged) {
    FillMonitorList();
    return true;
  }
  return false;
}

// Numbered in the system's order, the monitor that touches go to selected.
void CDlgSetupP1::FillMonitorList() {
  const DesktopLayout layout = m_host.Monitors().Layout();
  m_monitors = layout.monitors;
  const CTouchDriver* engine = m_host.Driver();
  const std::string chosen =
      ChooseMonitor(layout, engine != nullptr ? engine->Settings().monitor : "").monitor.deviceName;
  HWND list = GetItem(IDC_TOUCH_MONITOR);
  ::SendMessageA(list, CB_RESETCONTENT, 0, 0);
  for (std::size_t i = 0; i < m_monitors.size(); ++i) {
    const std::string label = setup::MonitorLabel(static_cast<int>(i) + 1, m_monitors[i]);
    ::SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(label.c_str()));
    if (m_monitors[i].deviceName == chosen) {
      ::SendMessageA(list, CB_SETCURSEL, i, 0);
    }
  }
}

// When the mapping cannot be saved, the engine keeps its mapping and the
// page shows it again.
void CDlgSetupP1::SaveMapping() {
  UpdateData(true);
  CTouchDriver* engine = m_host.Driver();
  if (engine != nullptr && !setup::StoreMapping(m_store, *engine, m_nMapping)) {
    m_nMapping = engine->Settings().mapping == kMappingPrecise ? 1 : 0;
    UpdateData(false);
  }
}

// When the choice cannot be saved, touches stay where they went and the
// list shows that monitor again.
void CDlgSetupP1::SaveMonitor() {
  CTouchDriver* engine = m_host.Driver();
  const LRESULT index = ::SendMessageA(GetItem(IDC_TOUCH_MONITOR), CB_GETCURSEL, 0, 0);
  if (engine == nullptr || index < 0 || static_cast<std::size_t>(index) >= m_monitors.size()) {
    return;
  }
  if (!setup::StoreMonitor(m_store, *engine,
                           m_monitors[static_cast<std::size_t>(index)].deviceName)) {
    ::SendMessageA(GetItem(IDC_TOUCH_MONITOR), CB_RESETCONTENT, 0, 0);
    FillMonitorList();
  }
  m_onShownChanged();
}

bool CDlgSetupP1::OnCommand(int id, int code, HWND control) {
  switch (id) {
    case IDC_MAPPING_STANDARD:
    case IDC_MAPPING_PRECISE:
      if (code == BN_CLICKED) {
        SaveMapping();
        return true;
      }
      break;
    case IDC_TOUCH_MONITOR:
      if (code == CBN_SELCHANGE) {
        SaveMonitor();
        return true;
      }
      break;
    case IDC_TOUCH_HOLD:
    case IDC_TOUCH_SMOOTHING:
    case IDC_TOUCH_OUTPUT:
      if (code == CBN_SELCHANGE) {
        SaveTouchFeel(id);
        return true;
      }
      break;
    case IDC_TOUCH_IDENTIFY:
      if (code == BN_CLICKED) {
        ShowMonitorNumbers(m_monitors);
        return true;
      }
      break;
    case IDC_TOUCH_NORMAL:
    case IDC_TOUCH_CLICK_ON_TOUCH:
    case IDC_TOUCH_CLICK_ON_RELEASE:
      if (code == BN_CLICKED) {
        SaveTouchMode();
        return true;
      }
      break;
    default:
      break;
  }
  return ui::CPropertyPage::OnCommand(id, code, control);
}

// A stored time that is not among the offered ones is listed too.
void CDlgSetupP1::FillTouchFeel() {
  std::vector<std::pair<std::string, std::int32_t>> holds;
  for (const std::int32_t time : kHoldTimes) {
    holds.emplace_back(HoldLabel(time), time);
  }
  if (std::find(std::begin(kHoldTimes), std::end(kHoldTimes), m_nHoldRight) ==
      std::end(kHoldTimes)) {
    holds.emplace_back(HoldLabel(m_nHoldRight), m_nHoldRight);
  }
  FillList(GetItem(IDC_TOUCH_HOLD), holds, m_nHoldRight);
  std::vector<std::pair<std::string, std::int32_t>> levels;
  for (std::int32_t level = 0; level <= kSmoothingStrongest; ++level) {
    levels.emplace_back(kSmoothingNames[level], level);
  }
  FillList(GetItem(IDC_TOUCH_SMOOTHING), levels, m_nSmoothing);
  FillList(GetItem(IDC_TOUCH_OUTPUT), {{"Mouse", kOutputMouse}, {"Touch", kOutputTouch}},
           m_nOutput);
}

// Applied at once; when it cannot be saved, the list shows the value in
// effect again.
void CDlgSetupP1::SaveTouchFeel(int id) {
  CTouchDriver* engine = m_host.Driver();
  HWND list = GetItem(id);
  const LRESULT index = ::SendMessageA(list, CB_GETCURSEL, 0, 0);
  if (engine == nullptr || index < 0) {
    return;
  }
  const auto value = static_cast<std::int32_t>(
      ::SendMessageA(list, CB_GETITEMDATA, static_cast<WPARAM>(index), 0));
  const bool saved = id == IDC_TOUCH_HOLD        ? setup::StoreHoldRight(m_store, *engine, value)
                     : id == IDC_TOUCH_SMOOTHING ? setup::StoreSmoothing(m_store, *engine, value)
                                                 : setup::StoreOutput(m_store, *engine, value);
  const EngineSettings settings = engine->Settings();
  m_nHoldRight = settings.holdRight;
  m_nSmoothing = settings.smoothing;
  m_nOutput = settings.output;
  if (!saved) {
    FillTouchFeel();
  }
  if (id == IDC_TOUCH_OUTPUT) {
    m_onShownChanged();
  }
}

void CDlgSetupP1::OnOK() {
  SaveTouchMode();
  ui::CPropertyPage::OnOK();
}

// When the mode cannot be saved, the engine keeps its mode and the page
// shows that mode again.
void CDlgSetupP1::SaveTouchMode() {
  UpdateData(true);
  CTouchDriver* engine = m_host.Driver();
  if (engine == nullptr) {
    return;
  }
  if (!setup::StoreTouchMode(m_store, *engine, m_nTouchMode)) {
    m_nTouchMode = engine->Settings().touchMode;
    UpdateData(false);
  }
}

}  // namespace zt
