#include "mapping/precise_mapper.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace zt {
namespace {

constexpr std::size_t kTerms = 9;
using Row = std::array<double, kTerms>;
using Matrix = std::array<Row, kTerms>;

// Beyond this the nine points do not pin the quadratic down (all alike,
// three in a line where a grid line should cross, ...): a tiny change of a
// point would swing the mapping far.
constexpr double kMaxCondition = 1e8;

Row Terms(int rawX, int rawY) {
  const double u = rawX / static_cast<double>(kScaleMax);
  const double v = rawY / static_cast<double>(kScaleMax);
  return {1.0, u, v, u * u, u * v, v * v, u * u * v, u * v * v, u * u * v * v};
}

double InfinityNorm(const Matrix& matrix) {
  double norm = 0.0;
  for (const Row& row : matrix) {
    double sum = 0.0;
    for (double value : row) {
      sum += std::fabs(value);
    }
    norm = std::max(norm, sum);
  }
  return norm;
}

// Gauss-Jordan elimination with partial pivoting; false when a pivot
// vanishes.
bool Invert(Matrix a, Matrix& inverse) {
  for (std::size_t i = 0; i < kTerms; ++i) {
    inverse[i].fill(0.0);
    inverse[i][i] = 1.0;
  }
  for (std::size_t column = 0; column < kTerms; ++column) {
    std::size_t pivot = column;
    for (std::size_t row = column + 1; row < kTerms; ++row) {
      if (std::fabs(a[row][column]) > std::fabs(a[pivot][column])) {
        pivot = row;
      }
    }
    if (!(std::fabs(a[pivot][column]) > 1e-300)) {
      return false;
    }
    std::swap(a[pivot], a[column]);
    std::swap(inverse[pivot], inverse[column]);
    const double scale = 1.0 / a[column][column];
    for (std::size_t k = 0; k < kTerms; ++k) {
      a[column][k] *= scale;
      inverse[column][k] *= scale;
    }
    for (std::size_t row = 0; row < kTerms; ++row) {
      const double factor = a[row][column];
      if (row == column || factor == 0.0) {
        continue;
      }
      for (std::size_t k = 0; k < kTerms; ++k) {
        a[row][k] -= factor * a[column][k];
        inverse[row][k] -= factor * inverse[column][k];
      }
    }
  }
  return true;
}

double Evaluate(const std::array<double, kTerms>& coefficients, const Row& terms) {
  double sum = 0.0;
  for (std::size_t k = 0; k < kTerms; ++k) {
    sum += coefficients[k] * terms[k];
  }
  return sum;
}

int ToScale(double value) {
  if (!std::isfinite(value)) {
    return 0;
  }
  return static_cast<int>(std::lround(std::clamp(value, 0.0, static_cast<double>(kScaleMax))));
}

}  // namespace

bool CPreciseMapper::ReplacePoints(const CalibPoints& points) {
  Matrix system{};
  for (std::size_t i = 0; i < kTerms; ++i) {
    system[i] = Terms(points[i].x, points[i].y);
  }
  Matrix inverse{};
  const bool solved =
      Invert(system, inverse) && InfinityNorm(system) * InfinityNorm(inverse) <= kMaxCondition;
  Coefficients x{};
  Coefficients y{};
  for (std::size_t k = 0; solved && k < kTerms; ++k) {
    for (std::size_t i = 0; i < kTerms; ++i) {
      // The targets themselves are the default points (5 %, 50 %, 95 %).
      x[k] += inverse[k][i] * kDefaultCalibPoints[i].x;
      y[k] += inverse[k][i] * kDefaultCalibPoints[i].y;
    }
  }
  const std::lock_guard<std::mutex> lock(m_lock);
  m_usable = solved;
  m_x = x;
  m_y = y;
  return solved;
}

bool CPreciseMapper::IsUsable() const {
  const std::lock_guard<std::mutex> lock(m_lock);
  return m_usable;
}

std::optional<IntPoint> CPreciseMapper::MapPoint(int rawX, int rawY) const {
  const Row terms = Terms(rawX, rawY);
  const std::lock_guard<std::mutex> lock(m_lock);
  if (!m_usable) {
    return std::nullopt;
  }
  return IntPoint{ToScale(Evaluate(m_x, terms)), ToScale(Evaluate(m_y, terms))};
}

}  // namespace zt
