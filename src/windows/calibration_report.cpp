#include "windows/calibration_report.h"

#include <cstdio>
#include <string>

#include "ui/win32_helpers.h"

namespace zt {
namespace {

constexpr int kStandardId = 2003;
constexpr int kPreciseId = 2004;
// Pixels at 96 DPI.
constexpr int kFontHeight = 26;
constexpr int kLineWidth = 560;
constexpr int kLineHeight = 48;
constexpr int kButtonWidth = 170;
constexpr int kButtonHeight = 70;
constexpr int kGap = 30;

std::string ErrorsText(const char* name, const CheckErrors& errors) {
  char text[96];
  std::snprintf(text, sizeof text, "%s: largest %.1f px, average %.1f px", name, errors.largest,
                errors.average);
  return text;
}

}  // namespace

HWND CCalibrationReport::Add(HWND parent, const char* cls, const char* text, DWORD style, int id,
                             RECT where) {
  HWND control = ::CreateWindowExA(0, cls, text, WS_CHILD | WS_VISIBLE | style, where.left,
                                   where.top, where.right - where.left, where.bottom - where.top,
                                   parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                   ui::ResourceModule(), nullptr);
  ::SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(m_font), TRUE);
  return control;
}

void CCalibrationReport::Show(HWND parent, const CheckReport& report, int width, int height) {
  Destroy();
  const auto scaled = [parent](int pixels) { return ui::ScaleForDpi(parent, pixels); };
  m_font = ::CreateFontA(scaled(kFontHeight), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                         DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                         DEFAULT_PITCH, "Arial");
  const int left = (width - scaled(kLineWidth)) / 2;
  const int top = height / 2 - 2 * scaled(kLineHeight) - scaled(kGap);
  const auto line = [&](int row) {
    return RECT{left, top + row * scaled(kLineHeight), left + scaled(kLineWidth),
                top + (row + 1) * scaled(kLineHeight)};
  };
  m_heading = Add(parent, "Static", "How far the check touches landed:", SS_LEFT, -1, line(-1));
  m_standard = Add(parent, "Button", ErrorsText("Standard", report.grid).c_str(),
                   BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP, kStandardId, line(0));
  m_precise = Add(parent, "Button",
                  report.preciseUsable ? ErrorsText("Precise", report.precise).c_str()
                                       : "Precise: not possible with these points",
                  BS_AUTORADIOBUTTON, kPreciseId, line(1));
  ::EnableWindow(m_precise, report.preciseUsable ? TRUE : FALSE);
  ::SendMessageA(report.better == kMappingPrecise ? m_precise : m_standard, BM_SETCHECK,
                 BST_CHECKED, 0);

  const int buttonsTop = height / 2 + scaled(kGap);
  const int buttonsLeft = (width - 3 * scaled(kButtonWidth) - 2 * scaled(kGap)) / 2;
  const auto button = [&](int index) {
    const int x = buttonsLeft + index * (scaled(kButtonWidth) + scaled(kGap));
    return RECT{x, buttonsTop, x + scaled(kButtonWidth), buttonsTop + scaled(kButtonHeight)};
  };
  m_keep = Add(parent, "Button", "Keep", BS_PUSHBUTTON | WS_TABSTOP, kKeepId, button(0));
  m_redo = Add(parent, "Button", "Redo", BS_PUSHBUTTON | WS_TABSTOP, kRedoId, button(1));
  m_cancel = Add(parent, "Button", "Cancel", BS_PUSHBUTTON | WS_TABSTOP, kCancelId, button(2));
}

void CCalibrationReport::Destroy() {
  for (HWND* control : {&m_heading, &m_standard, &m_precise, &m_keep, &m_redo, &m_cancel}) {
    if (*control != nullptr) {
      ::DestroyWindow(*control);
      *control = nullptr;
    }
  }
  if (m_font != nullptr) {
    ::DeleteObject(m_font);
    m_font = nullptr;
  }
}

std::int32_t CCalibrationReport::Ticked() const {
  return ::SendMessageA(m_precise, BM_GETCHECK, 0, 0) == BST_CHECKED ? kMappingPrecise
                                                                     : kMappingGrid;
}

}  // namespace zt
