// Generated streams of one touch on a 1 024-pixel-wide panel at 100 reports
// a second, and the figures a smoothing filter is judged by on them. Shared
// by the smoothing benchmark and the smoother's table test. Positions are
// absolute units (65 536 across the monitor: 64 to a pixel); every stream
// comes from a seed, so each filter sees the same readings.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <tuple>
#include <vector>

#include "engine/controller_protocol.h"
#include "engine/touch_smoothing.h"

namespace zt::streams {

inline constexpr double kUnitsPerPixel = 64.0;
inline constexpr double kReportsPerSecond = 100.0;
// The raw noise the benchmark is about: 8 screen-scale units, 2 px.
inline constexpr double kNoisePixels = 2.0;

struct Stream {
  std::vector<FilteredReport> reports;  // the readings, status and point
  std::vector<double> truthX;           // where the finger was, in pixels
  std::vector<double> truthY;
  std::size_t settle = 0;  // reports before the figures count
};

// A filter as the streams see it: one report in, what it emits out.
using Filter = std::function<SmoothedReports(std::int32_t status, IntPoint point)>;

// The finger along x = start + speed * t (pixels, pixels a second), y fixed,
// for count reports, with Gaussian noise; a touch-down, moves and a lift.
inline Stream Line(unsigned seed, double noisePixels, double startX, double speed,
                   std::size_t count) {
  std::mt19937 random(seed);
  std::normal_distribution<double> noise(0.0, noisePixels);
  const double y = 384.0 + (seed % 97);
  Stream stream;
  for (std::size_t i = 0; i < count; ++i) {
    const double x = startX + speed * static_cast<double>(i) / kReportsPerSecond;
    const std::int32_t status =
        i == 0 ? kTouchBegins : (i + 1 == count ? kTouchEnds : kTouchContinues);
    stream.reports.push_back(
        {status,
         {static_cast<std::int32_t>(std::lround((x + noise(random)) * kUnitsPerPixel)),
          static_cast<std::int32_t>(std::lround((y + noise(random)) * kUnitsPerPixel))}});
    stream.truthX.push_back(x);
    stream.truthY.push_back(y);
  }
  return stream;
}

// A resting finger: two seconds.
inline Stream Rest(unsigned seed, double noisePixels = kNoisePixels) {
  Stream stream = Line(seed, noisePixels, 300.0 + seed % 400, 0.0, 200);
  stream.settle = 10;
  return stream;
}

// A stroke at speed that stops: the finger rests for its last rest reports.
inline Stream Stop(unsigned seed, double speed, std::size_t rest,
                   double noisePixels = kNoisePixels) {
  Stream stream = Line(seed, noisePixels, 100.0, speed, 40 + rest);
  for (std::size_t i = 40; i < stream.reports.size(); ++i) {
    const double shift = speed * static_cast<double>(i - 39) / kReportsPerSecond;
    stream.truthX[i] -= shift;
    stream.reports[i].point.x -= static_cast<std::int32_t>(std::lround(shift * kUnitsPerPixel));
  }
  stream.settle = 40;
  return stream;
}

// A drag at speed over 150 reports; the figures count after 40.
inline Stream Drag(unsigned seed, double noisePixels, double speed) {
  Stream stream = Line(seed, noisePixels, 100.0, speed, 150);
  stream.settle = 40;
  return stream;
}

// A flick: 16 reports at speed; the figures count after 3.
inline Stream Flick(unsigned seed, double speed, double noisePixels = kNoisePixels) {
  Stream stream = Line(seed, noisePixels, 20.0, speed, 16);
  stream.settle = 3;
  return stream;
}

// One reading off by pixels at report index (the last one: the lift).
inline Stream WithSpike(Stream stream, std::size_t index, double pixels) {
  index = std::min(index, stream.reports.size() - 1);
  stream.reports[index].point.x += static_cast<std::int32_t>(std::lround(pixels * kUnitsPerPixel));
  stream.reports[index].point.y -= static_cast<std::int32_t>(std::lround(pixels * kUnitsPerPixel));
  return stream;
}

// What the filter made of a stream: the pointer after each reading (where
// the last emitted report put it), the press and the release points.
struct Run {
  std::vector<double> pointerX;
  std::vector<double> pointerY;
  double pressX = -1.0, pressY = -1.0, releaseX = -1.0, releaseY = -1.0;
};

inline Run RunFilter(const Filter& filter, const Stream& stream) {
  Run run;
  double x = -1.0;
  double y = -1.0;
  for (const FilteredReport& reading : stream.reports) {
    for (const FilteredReport& out : filter(reading.status, reading.point)) {
      x = out.point.x / kUnitsPerPixel;
      y = out.point.y / kUnitsPerPixel;
      if (out.status == kTouchBegins) {
        run.pressX = x;
        run.pressY = y;
      } else if (out.status == kTouchEnds) {
        run.releaseX = x;
        run.releaseY = y;
      }
    }
    run.pointerX.push_back(x);
    run.pointerY.push_back(y);
  }
  return run;
}

// The figures, in pixels or reports.
struct Figures {
  double span = 0.0;           // how far the pointer wandered after the settling
  double restError = 0.0;      // the pointer's distance from the finger at the end
  double largestStep = 0.0;    // the longest move of the pointer at one report
  double lag = 0.0;            // median of how many reports the pointer trails
  double stillReports = 0;     // reports after the settling with no move at all
  double worstOff = 0.0;       // the farthest the pointer, press or release got from the finger
  double reportsToFinger = 0;  // after the settling, until within a pixel for good
  double releaseOff = 0.0;     // the release's distance from the pointer before the lift
};

inline Figures Measure(const Stream& stream, const Run& run, double speed) {
  Figures figures;
  const std::size_t n = stream.reports.size();
  double minX = 1e9, maxX = -1e9, minY = 1e9, maxY = -1e9;
  std::vector<double> lags;
  const double perReport = speed / kReportsPerSecond;
  int lastFar = -1;
  for (std::size_t i = 2; i + 1 < n; ++i) {
    const double stepX = run.pointerX[i] - run.pointerX[i - 1];
    const double stepY = run.pointerY[i] - run.pointerY[i - 1];
    figures.largestStep = std::max(figures.largestStep, std::hypot(stepX, stepY));
  }
  for (std::size_t i = std::max<std::size_t>(stream.settle, 2); i + 1 < n; ++i) {
    minX = std::min(minX, run.pointerX[i]);
    maxX = std::max(maxX, run.pointerX[i]);
    minY = std::min(minY, run.pointerY[i]);
    maxY = std::max(maxY, run.pointerY[i]);
    const bool still =
        run.pointerX[i] == run.pointerX[i - 1] && run.pointerY[i] == run.pointerY[i - 1];
    figures.stillReports += still ? 1 : 0;
    const double off =
        std::hypot(run.pointerX[i] - stream.truthX[i], run.pointerY[i] - stream.truthY[i]);
    figures.worstOff = std::max(figures.worstOff, off);
    lastFar = off > 1.0 ? static_cast<int>(i) : lastFar;
    if (perReport > 0.0) {
      lags.push_back((stream.truthX[i] - run.pointerX[i]) / perReport);
    }
  }
  figures.span = std::max(maxX - minX, maxY - minY);
  figures.restError = std::hypot(run.pointerX[n - 2] - stream.truthX[n - 2],
                                 run.pointerY[n - 2] - stream.truthY[n - 2]);
  figures.reportsToFinger = lastFar < 0 ? 0 : lastFar + 1 - static_cast<double>(stream.settle);
  if (!lags.empty()) {
    std::nth_element(lags.begin(), lags.begin() + static_cast<std::ptrdiff_t>(lags.size() / 2),
                     lags.end());
    figures.lag = lags[lags.size() / 2];
  }
  for (const auto& [x, y, i] : {std::tuple{run.pressX, run.pressY, std::size_t{0}},
                                std::tuple{run.releaseX, run.releaseY, n - 1}}) {
    figures.worstOff =
        std::max(figures.worstOff, std::hypot(x - stream.truthX[i], y - stream.truthY[i]));
  }
  figures.releaseOff =
      std::hypot(run.releaseX - run.pointerX[n - 2], run.releaseY - run.pointerY[n - 2]);
  return figures;
}

// One figure of streams from seeds 1..seeds through filters made anew,
// sorted.
inline std::vector<double> Over(const std::function<Filter()>& make,
                                const std::function<Stream(unsigned)>& stream, unsigned seeds,
                                double speed, double Figures::*figure) {
  std::vector<double> values;
  for (unsigned seed = 1; seed <= seeds; ++seed) {
    const Stream generated = stream(seed);
    values.push_back(Measure(generated, RunFilter(make(), generated), speed).*figure);
  }
  std::sort(values.begin(), values.end());
  return values;
}

// Ours, at a level.
inline Filter Smoothing(std::int32_t level) {
  auto smoother = std::make_shared<CTouchSmoother>();
  return [smoother, level](std::int32_t status, IntPoint point) {
    return smoother->Filter(status, point, level, 655);
  };
}

}  // namespace zt::streams
