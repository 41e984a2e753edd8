#include "mapping/calib_mapper.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace zt {
namespace {

using Lock = std::lock_guard<std::mutex>;

constexpr std::size_t kCentre = 8;
constexpr std::int32_t kHalfRaw = 2048;
constexpr std::int64_t kProjectionScale = 2048;
constexpr std::int64_t kFullScale = 4096;
constexpr double kMinWeight = 0.0000001;
constexpr double kMaxWeight = 0.9999999;
// Far beyond any value the grid arithmetic can produce; it only keeps the
// conversion from double defined.
constexpr double kConversionLimit = 9007199254740992.0;  // 2^53

// Which raw axis runs along the screen's X axis (u) and its Y axis (w).
// A raw axis that grows leftward or upward is negated, so the grid
// arithmetic always works on coordinates that grow rightward and downward.
struct Orientation {
  bool uIsRawY = false;
  std::int64_t uSign = 1;
  std::int64_t wSign = 1;
  // Panels with raw X growing leftward and raw Y downward take the weight
  // base of the top-right and bottom-left quadrants from the outer line's
  // neighbour point instead of the corner.
  bool baseOnNeighbour = false;
};

// Where the top-left target reads says which way each axis grows. With the
// axes swapped, screen X runs along raw Y (u) and screen Y along raw X (w);
// a panel turned a quarter either way reads its top-left target in a mixed
// quadrant (one raw coordinate high, the other low).
Orientation ChooseOrientation(std::int32_t swapXY, IntPoint topLeft) {
  const bool xHigh = topLeft.x >= kHalfRaw;
  const bool yHigh = topLeft.y >= kHalfRaw;
  Orientation orientation;
  orientation.uIsRawY = swapXY != 0;
  orientation.uSign = (orientation.uIsRawY ? yHigh : xHigh) ? -1 : 1;
  orientation.wSign = (orientation.uIsRawY ? xHigh : yHigh) ? -1 : 1;
  orientation.baseOnNeighbour = !orientation.uIsRawY && xHigh && !yHigh;
  return orientation;
}

struct GridPoint {
  std::int64_t u = 0;
  std::int64_t w = 0;
};

GridPoint Orient(const Orientation& orientation, std::int64_t rawX, std::int64_t rawY) {
  const std::int64_t u = orientation.uIsRawY ? rawY : rawX;
  const std::int64_t w = orientation.uIsRawY ? rawX : rawY;
  return {orientation.uSign * u, orientation.wSign * w};
}

enum class Axis { kU, kW };

std::int64_t On(const GridPoint& point, Axis axis) {
  return axis == Axis::kU ? point.u : point.w;
}

// The quadrant's corner, its row neighbour (centre of the same horizontal
// edge), its column neighbour (centre of the same vertical edge) and the pair
// of points whose distance sets the length of the weights. Ties with the
// centre point go to the right and bottom.
struct Quadrant {
  std::size_t corner;
  std::size_t row;
  std::size_t column;
  std::size_t span1;
  std::size_t span2;
  bool right;
  bool bottom;
};

Quadrant ChooseQuadrant(const GridPoint& touch, const GridPoint& centre) {
  const bool right = touch.u >= centre.u;
  const bool bottom = touch.w >= centre.w;
  if (!bottom) {
    return right ? Quadrant{1, 4, 5, 4, 5, true, false} : Quadrant{0, 4, 7, 0, 8, false, false};
  }
  return right ? Quadrant{2, 6, 5, 8, 2, true, true} : Quadrant{3, 6, 7, 6, 7, false, true};
}

// side is +1 when the quadrant's screen edge on the axis is at its high end
// (right or bottom), -1 when it is at its low end.
std::int64_t SideOf(bool farHalf) {
  return farHalf ? 1 : -1;
}

// A grid line from an outer point to an inner one along one axis, extended
// past the outer point by a ninth of their distance, which reaches the
// screen edge. span is the distance from that edge to the inner point,
// counted positive toward the centre.
struct GridLine {
  std::int64_t edge;
  std::int64_t span;
  std::int64_t side;
};

GridLine MakeLine(std::int64_t outer, std::int64_t inner, std::int64_t side) {
  const std::int64_t margin = std::abs(outer - inner) / 9;
  const std::int64_t edge = outer + side * margin;
  return {edge, side * (edge - inner), side};
}

// 0 at the screen edge and 2048 on the inner point, truncated toward zero.
std::int64_t Project(const GridLine& line, std::int64_t value) {
  const std::int64_t distance = line.side * (line.edge - value);
  return distance * kProjectionScale / line.span;
}

std::int64_t TruncateLimited(double value) {
  if (std::isnan(value)) {
    return 0;
  }
  return static_cast<std::int64_t>(std::clamp(value, -kConversionLimit, kConversionLimit));
}

int LimitToInt(std::int64_t value) {
  constexpr std::int64_t kLow = std::numeric_limits<int>::min();
  constexpr std::int64_t kHigh = std::numeric_limits<int>::max();
  return static_cast<int>(std::clamp(value, kLow, kHigh));
}

// The geometry of one output coordinate: the axis it is measured along, the
// axis its weight runs along, and which neighbour of the corner starts the
// outer line and which starts the inner line.
struct OutputAxis {
  Axis along;
  Axis across;
  std::size_t outerNeighbour;
  std::size_t innerStart;
  bool farHalf;
  bool farAcross;
};

struct Grid {
  std::array<GridPoint, kCalibPointCount> points;
  GridPoint touch;
  Quadrant quadrant;
  bool baseOnNeighbour;
};

struct OutputLines {
  GridLine outer;
  GridLine inner;

  bool Degenerate() const { return outer.span == 0 || inner.span == 0; }
};

OutputLines LinesFor(const Grid& grid, const OutputAxis& axis) {
  const auto& p = grid.points;
  const std::int64_t side = SideOf(axis.farHalf);
  return {MakeLine(On(p[grid.quadrant.corner], axis.along), On(p[axis.outerNeighbour], axis.along),
                   side),
          MakeLine(On(p[axis.innerStart], axis.along), On(p[kCentre], axis.along), side)};
}

// How far the touch lies from the quadrant's outer row or column toward the
// centre, as a fraction of the span pair's distance.
double WeightFor(const Grid& grid, const OutputAxis& axis) {
  const auto& p = grid.points;
  const std::size_t baseIndex = grid.baseOnNeighbour ? axis.outerNeighbour : grid.quadrant.corner;
  const std::int64_t base = On(p[baseIndex], axis.across);
  const std::int64_t d =
      std::abs(On(p[grid.quadrant.span1], axis.across) - On(p[grid.quadrant.span2], axis.across));
  const std::int64_t n = d / 9;
  const std::int64_t towardCentre = SideOf(axis.farAcross) * (base - On(grid.touch, axis.across));
  return LimitedWeight(towardCentre + n, d + n);
}

std::int64_t Interpolate(const Grid& grid, const OutputAxis& axis, const OutputLines& lines) {
  const std::int64_t value = On(grid.touch, axis.along);
  const double weight = WeightFor(grid, axis);
  const double q = static_cast<double>(Project(lines.outer, value)) * (1.0 - weight) +
                   static_cast<double>(Project(lines.inner, value)) * weight;
  const std::int64_t truncated = TruncateLimited(q);
  return axis.farHalf ? kFullScale - truncated : truncated;
}

struct GridResult {
  std::int64_t x;
  std::int64_t y;
};

GridResult MapOnGrid(const CalibPoints& points, std::int32_t swapXY, int rawX, int rawY) {
  const Orientation orientation = ChooseOrientation(swapXY, points[0]);
  Grid grid{};
  for (std::size_t i = 0; i < points.size(); ++i) {
    grid.points[i] = Orient(orientation, points[i].x, points[i].y);
  }
  grid.touch = Orient(orientation, rawX, rawY);
  grid.quadrant = ChooseQuadrant(grid.touch, grid.points[kCentre]);
  grid.baseOnNeighbour = orientation.baseOnNeighbour && grid.quadrant.right != grid.quadrant.bottom;

  const Quadrant& quadrant = grid.quadrant;
  const OutputAxis xAxis{.along = Axis::kU,
                         .across = Axis::kW,
                         .outerNeighbour = quadrant.row,
                         .innerStart = quadrant.column,
                         .farHalf = quadrant.right,
                         .farAcross = quadrant.bottom};
  const OutputLines xLines = LinesFor(grid, xAxis);
  if (xLines.Degenerate()) {
    return {0, 0};
  }
  const std::int64_t x = Interpolate(grid, xAxis, xLines);

  const OutputAxis yAxis{.along = Axis::kW,
                         .across = Axis::kU,
                         .outerNeighbour = quadrant.column,
                         .innerStart = quadrant.row,
                         .farHalf = quadrant.bottom,
                         .farAcross = quadrant.right};
  const OutputLines yLines = LinesFor(grid, yAxis);
  if (yLines.Degenerate()) {
    return {x, 0};
  }
  return {x, Interpolate(grid, yAxis, yLines)};
}

}  // namespace

double LimitedWeight(std::int64_t numerator, std::int64_t denominator) {
  if (denominator == 0) {
    return numerator > 0 ? kMaxWeight : kMinWeight;
  }
  const double weight = static_cast<double>(numerator) / static_cast<double>(denominator);
  if (!(weight > 0.0)) {
    return kMinWeight;
  }
  return weight >= 1.0 ? kMaxWeight : weight;
}

CCalibMapper::CCalibMapper() {
  Lock lock(m_lock);
  SetCornerDefaultsLocked();
  UpdateOrientationLocked();
}

CCalibMapper::~CCalibMapper() = default;

void CCalibMapper::UpdateOrientation() {
  Lock lock(m_lock);
  UpdateOrientationLocked();
}

void CCalibMapper::SetDefaults() {
  Lock lock(m_lock);
  SetCornerDefaultsLocked();
}

IntPoint CCalibMapper::MapPoint(int rawX, int rawY) const {
  return {Clamp(rawX, 0, kScaleMax), Clamp(rawY, 0, kScaleMax)};
}

int CCalibMapper::Clamp(int value, int lo, int hi) const {
  if (value > hi) {
    return hi;
  }
  return value < lo ? lo : value;
}

CalibPoints CCalibMapper::Points() const {
  Lock lock(m_lock);
  return m_pt;
}

std::int32_t CCalibMapper::SwapXY() const {
  Lock lock(m_lock);
  return m_bSwapXY;
}

void CCalibMapper::SetPoints(const CalibPoints& points) {
  Lock lock(m_lock);
  m_pt = points;
}

void CCalibMapper::ReplacePoints(const CalibPoints& points) {
  Lock lock(m_lock);
  m_pt = points;
  UpdateOrientationLocked();
}

CCalibMapper::Snapshot CCalibMapper::TakeSnapshot() const {
  Lock lock(m_lock);
  return {m_pt, m_bSwapXY};
}

void CCalibMapper::SetCornerDefaultsLocked() {
  std::copy_n(kDefaultCalibPoints.begin(), 4, m_pt.begin());
}

void CCalibMapper::UpdateOrientationLocked() {
  // 64-bit differences: stored points may hold any 32-bit value.
  const std::int64_t dx = std::abs(std::int64_t{m_pt[0].x} - m_pt[1].x);
  const std::int64_t dy = std::abs(std::int64_t{m_pt[0].y} - m_pt[1].y);
  m_bSwapXY = dx < dy ? 1 : 0;
}

CGridMapper::~CGridMapper() = default;

void CGridMapper::SetDefaults() {
  Lock lock(m_lock);
  m_pt = kDefaultCalibPoints;
}

IntPoint CGridMapper::MapPoint(int rawX, int rawY) const {
  const Snapshot snapshot = TakeSnapshot();
  const GridResult result = MapOnGrid(snapshot.points, snapshot.swapXY, rawX, rawY);
  return {Clamp(LimitToInt(result.x), 0, kScaleMax), Clamp(LimitToInt(result.y), 0, kScaleMax)};
}

}  // namespace zt
