#pragma once

#include <array>
#include <cstdint>
#include <mutex>

namespace zt {

// A pair of signed 32-bit coordinates: a raw controller reading or a
// screen-scale result (0..4095, where 4096 would be the right or bottom edge).
struct IntPoint {
  std::int32_t x = 0;
  std::int32_t y = 0;

  friend bool operator==(const IntPoint&, const IntPoint&) = default;
};

// The nine calibration points, indexed by target: 0 top-left, 1 top-right,
// 2 bottom-right, 3 bottom-left, 4 top-centre, 5 right-centre,
// 6 bottom-centre, 7 left-centre, 8 centre.
inline constexpr int kCalibPointCount = 9;
using CalibPoints = std::array<IntPoint, kCalibPointCount>;

// The top of both the controller's 12-bit raw scale and the screen scale.
inline constexpr std::int32_t kScaleMax = 4095;

// The target positions themselves on the 0..4096 scale (5%, 50% and 95% of
// the screen), so that the default calibration maps a raw point to nearly the
// same screen-scale point.
inline constexpr CalibPoints kDefaultCalibPoints{{
    {205, 205},
    {3891, 205},
    {3891, 3891},
    {205, 3891},
    {2048, 205},
    {3891, 2048},
    {2048, 3891},
    {205, 2048},
    {2048, 2048},
}};

// Interpolation weight numerator / denominator, limited to the open range
// (0, 1): a quotient that is not positive, or undefined, gives 0.0000001, and
// one of 1 or more gives 0.9999999. A zero denominator is decided by the sign
// of the numerator without dividing.
double LimitedWeight(std::int64_t numerator, std::int64_t denominator);

// Holds the calibration points and the axis-swap flag derived from them.
// Every operation takes a short internal lock, so a reader thread can map
// while the user-interface thread replaces the points; ReplacePoints swaps
// in a whole new set together with its flag.
class CCalibMapper {
public:
  CCalibMapper();
  CCalibMapper(const CCalibMapper&) = delete;
  CCalibMapper& operator=(const CCalibMapper&) = delete;
  virtual ~CCalibMapper();

  // m_bSwapXY = 1 when points 0 and 1 differ more in raw Y than in raw X.
  virtual void UpdateOrientation();
  // Writes the default corner points 0..3; the flag is left as it is.
  virtual void SetDefaults();
  // The base mapping passes the raw point through, limited to 0..4095.
  virtual IntPoint MapPoint(int rawX, int rawY) const;
  virtual int Clamp(int value, int lo, int hi) const;

  CalibPoints Points() const;
  std::int32_t SwapXY() const;
  // Copies the points only; the flag is left as it is.
  void SetPoints(const CalibPoints& points);
  // Copies the points and recomputes the flag in one step, so that no
  // mapping sees the new points with the old flag.
  void ReplacePoints(const CalibPoints& points);

protected:
  struct Snapshot {
    CalibPoints points;
    std::int32_t swapXY;
  };

  Snapshot TakeSnapshot() const;
  void SetCornerDefaultsLocked();
  void UpdateOrientationLocked();

  mutable std::mutex m_lock;
  CalibPoints m_pt{};
  std::int32_t m_bSwapXY = 0;
};

// The nine-point grid mapping for the eight ways a panel can be mounted.
class CGridMapper : public CCalibMapper {
public:
  CGridMapper() = default;
  ~CGridMapper() override;

  // Writes all nine default points; the flag is left as it is.
  void SetDefaults() override;
  IntPoint MapPoint(int rawX, int rawY) const override;
};

}  // namespace zt
