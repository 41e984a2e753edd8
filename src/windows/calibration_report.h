#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "mapping/calibration_check.h"

namespace zt {

// The check's report on the calibration window: for each mapping the
// largest and the average distance of the check touches from their
// targets, one of them ticked (the better one first), and "Keep", "Redo"
// and "Cancel", all sized for a finger.
class CCalibrationReport {
public:
  static constexpr int kKeepId = 2001;
  static constexpr int kRedoId = 2002;
  static constexpr int kCancelId = IDCANCEL;

  CCalibrationReport() = default;
  CCalibrationReport(const CCalibrationReport&) = delete;
  CCalibrationReport& operator=(const CCalibrationReport&) = delete;
  ~CCalibrationReport() { Destroy(); }

  // Makes the controls in the middle of parent's client area.
  void Show(HWND parent, const CheckReport& report, int width, int height);
  void Destroy();
  bool IsShown() const { return m_keep != nullptr; }
  // kMappingGrid or kMappingPrecise, as ticked now.
  std::int32_t Ticked() const;

private:
  HWND Add(HWND parent, const char* cls, const std::string& text, DWORD style, int id, RECT where);

  HFONT m_font = nullptr;
  HWND m_heading = nullptr;
  HWND m_standard = nullptr;
  HWND m_precise = nullptr;
  HWND m_keep = nullptr;
  HWND m_redo = nullptr;
  HWND m_cancel = nullptr;
};

}  // namespace zt
