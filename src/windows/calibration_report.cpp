#include "windows/calibration_report.h"

#include <string>

#include "mapping/calibration_layout.h"
#include "ui/win32_helpers.h"

namespace zt {
namespace {

constexpr int kStandardId = 2003;
constexpr int kPreciseId = 2004;

RECT ToRect(const PixelRect& rect) {
  return {rect.left, rect.top, rect.right, rect.bottom};
}

}  // namespace

HWND CCalibrationReport::Add(HWND parent, const char* cls, const std::string& text, DWORD style,
                             int id, RECT where) {
  HWND control = ::CreateWindowExA(0, cls, text.c_str(), WS_CHILD | WS_VISIBLE | style, where.left,
                                   where.top, where.right - where.left, where.bottom - where.top,
                                   parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                   ui::ResourceModule(), nullptr);
  ::SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(m_font), TRUE);
  return control;
}

void CCalibrationReport::Show(HWND parent, const CheckReport& report, int width, int height) {
  Destroy();
  using calibration_layout::ReportItem;
  const auto scaled = [parent](int pixels) { return ui::ScaleForDpi(parent, pixels); };
  const auto place = [&](ReportItem item) {
    return ToRect(calibration_layout::ReportItemRect(item, width, height, scaled));
  };
  const auto text = [&](ReportItem item) {
    return calibration_layout::ReportItemText(item, report);
  };
  m_font = ::CreateFontA(scaled(calibration_layout::kReportFontHeight), 0, 0, 0, FW_NORMAL, FALSE,
                         FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                         DEFAULT_QUALITY, DEFAULT_PITCH, "Arial");
  m_heading =
      Add(parent, "Static", text(ReportItem::kHeading), SS_LEFT, -1, place(ReportItem::kHeading));
  m_standard =
      Add(parent, "Button", text(ReportItem::kStandard), BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP,
          kStandardId, place(ReportItem::kStandard));
  m_precise = Add(parent, "Button", text(ReportItem::kPrecise), BS_AUTORADIOBUTTON, kPreciseId,
                  place(ReportItem::kPrecise));
  ::EnableWindow(m_precise, report.preciseUsable ? TRUE : FALSE);
  ::SendMessageA(report.better == kMappingPrecise ? m_precise : m_standard, BM_SETCHECK,
                 BST_CHECKED, 0);
  m_keep = Add(parent, "Button", text(ReportItem::kKeep), BS_PUSHBUTTON | WS_TABSTOP, kKeepId,
               place(ReportItem::kKeep));
  m_redo = Add(parent, "Button", text(ReportItem::kRedo), BS_PUSHBUTTON | WS_TABSTOP, kRedoId,
               place(ReportItem::kRedo));
  m_cancel = Add(parent, "Button", text(ReportItem::kCancel), BS_PUSHBUTTON | WS_TABSTOP, kCancelId,
                 place(ReportItem::kCancel));
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
