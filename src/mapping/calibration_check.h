// The check after a calibration run: four more targets, halfway between
// the centre and each corner, touched like the nine, and for each mapping
// of the nine new points how far the check touches land from them.
#pragma once

#include <array>
#include <cstdint>

#include "mapping/calib_mapper.h"
#include "mapping/calibration_procedure.h"
#include "mapping/precise_mapper.h"

namespace zt {

inline constexpr int kCheckTargetCount = 4;

// Centre in pixels of check target index (0 top-left .. 3 bottom-left) on
// a screen of width x height pixels.
IntPoint CheckTarget(int index, int width, int height);

// Distances in pixels between the check touches, as a mapping places them,
// and their targets.
struct CheckErrors {
  double largest = 0.0;
  double average = 0.0;
};

// The mapping with the smaller average error: the grid on a tie, and when
// the precise one cannot be made.
std::int32_t BetterMapping(const CheckErrors& grid, const CheckErrors& precise, bool preciseUsable);

struct CheckReport {
  CheckErrors grid;
  CheckErrors precise;
  bool preciseUsable = false;
  // The mapping with the smaller average error (the grid on a tie).
  std::int32_t better = kMappingGrid;
};

class CCalibrationCheck {
public:
  // measured: the nine points just taken, on a screen of width x height.
  CCalibrationCheck(const CalibPoints& measured, int width, int height);

  // The touch on the current check target, sampled and judged as the
  // nine are (see CCalibrationProcedure).
  CCalibrationProcedure& Touch() { return m_touch; }
  const CCalibrationProcedure& Touch() const { return m_touch; }
  // Takes the accepted touch's point. A touch more than a tenth of the
  // screen away from its target is a misclick: that target is asked
  // again, once. False when it was not taken.
  bool TakeAccepted();

  int Step() const { return m_step; }
  // The current target is asked again after a misclick.
  bool AskedAgain() const { return m_askedAgain; }
  bool Complete() const { return m_step >= kCheckTargetCount; }
  CheckReport Report() const;

private:
  double Distance(IntPoint mapped, int index) const;

  CGridMapper m_grid;
  CPreciseMapper m_precise;
  int m_width;
  int m_height;
  CCalibrationProcedure m_touch;
  std::array<IntPoint, kCheckTargetCount> m_raw{};
  int m_step = 0;
  bool m_askedAgain = false;
};

}  // namespace zt
