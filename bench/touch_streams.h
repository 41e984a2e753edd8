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
#include <initializer_list>
#include <memory>
#include <numbers>
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
  double rate = kReportsPerSecond;
  // A stop's report: from it on the finger goes no farther than where it
  // comes to rest (it rests there, or slows to it).
  std::size_t stop = 0;
  std::size_t start = 0;  // a drag's first report after a rest
  double radius = 0.0;    // a circle's, round its centre
  double centreX = 0.0, centreY = 0.0;
  double lowest = 0.0;  // a V's turning point (y)
  double reach = 0.0;   // a scrub's half-sweep, round centreX
  double cycles = 0.0;  // a scrub's sweeps there and back a second

  double tickStep = 0.0;  // the tick counter's step (Windows': 15.625 ms), 0: exact

  // When report i came, in ms, as the tick counter reads it.
  std::uint32_t Tick(std::size_t i) const {
    const double ms = static_cast<double>(i) * 1000.0 / rate;
    return static_cast<std::uint32_t>(tickStep > 0.0 ? std::floor(ms / tickStep) * tickStep
                                                     : std::round(ms));
  }
};

// A filter as the streams see it: one report in at a tick (ms), what it
// emits out.
using Filter =
    std::function<SmoothedReports(std::int32_t status, IntPoint point, std::uint32_t tick)>;

// How readings stray from the finger: Gaussian on each axis (pixels), then
// rounded to a quantum (pixels; 0: none), plus hum: mains pickup of this
// many pixels on x at half the report rate, which each reading samples at
// the same phase of its cycle, so the offset flips its sign at every
// report; its size, hum times the cosine of that phase, is drawn by seed
// (0.22 to 1 times hum).
struct Noise {
  double x = kNoisePixels;
  double y = kNoisePixels;
  double quantum = 0.0;
  double hum = 0.0;
};

// A finger's place (pixels) at a time (seconds).
using Path = std::function<std::pair<double, double>(double seconds)>;

// The finger along path for count reports at rate, read with noise; a
// touch-down, moves and a lift.
inline Stream Generate(unsigned seed, const Noise& noise, double rate, std::size_t count,
                       const Path& path) {
  std::mt19937 random(seed);
  std::normal_distribution<double> normal(0.0, 1.0);
  const double phase = static_cast<double>(seed % 7) / 7.0 * 3.14159265358979;
  Stream stream;
  stream.rate = rate;
  for (std::size_t i = 0; i < count; ++i) {
    const auto [x, y] = path(static_cast<double>(i) / rate);
    double readX = x + noise.x * normal(random);
    double readY = y + noise.y * normal(random);
    readX += noise.hum * std::cos(phase) * ((i % 2 == 0) ? 1.0 : -1.0);
    if (noise.quantum > 0.0) {
      readX = std::round(readX / noise.quantum) * noise.quantum;
      readY = std::round(readY / noise.quantum) * noise.quantum;
    }
    const std::int32_t status =
        i == 0 ? kTouchBegins : (i + 1 == count ? kTouchEnds : kTouchContinues);
    stream.reports.push_back({status,
                              {static_cast<std::int32_t>(std::lround(readX * kUnitsPerPixel)),
                               static_cast<std::int32_t>(std::lround(readY * kUnitsPerPixel))}});
    stream.truthX.push_back(x);
    stream.truthY.push_back(y);
  }
  return stream;
}

// The finger along x = start + speed * t (pixels, pixels a second), y fixed,
// for count reports, with Gaussian noise.
inline Stream Line(unsigned seed, double noisePixels, double startX, double speed,
                   std::size_t count, double rate = kReportsPerSecond) {
  const double y = 384.0 + (seed % 97);
  return Generate(seed, {noisePixels, noisePixels}, rate, count, [=](double t) {
    return std::pair{startX + speed * t, y};
  });
}

// The panel and controller a stream comes from: the noise of its readings
// and its report rate.
struct Conditions {
  Noise noise;
  double rate = kReportsPerSecond;
};
inline Conditions Gaussian(double pixels) {
  return {{pixels, pixels}};
}
inline std::size_t Reports(double seconds, const Conditions& c) {
  return static_cast<std::size_t>(std::lround(seconds * c.rate));
}

// A resting finger: two seconds.
inline Stream Rest(unsigned seed, const Conditions& c = {}) {
  const double x = 300.0 + seed % 400;
  const double y = 384.0 + (seed % 97);
  Stream stream = Generate(seed, c.noise, c.rate, Reports(2.0, c), [=](double) {
    return std::pair{x, y};
  });
  stream.settle = Reports(0.1, c);
  return stream;
}

// A stroke at speed for 40 reports that stops: the finger rests for the
// last rest reports; the stop is its last place.
inline Stream Stop(unsigned seed, double speed, std::size_t rest, const Conditions& c = {}) {
  const double y = 384.0 + (seed % 97);
  const double stopAt = 39.0 / c.rate;
  Stream stream = Generate(seed, c.noise, c.rate, 40 + rest, [=](double t) {
    return std::pair{100.0 + speed * std::min(t, stopAt), y};
  });
  stream.settle = 40;
  stream.stop = 39;
  return stream;
}

// A stroke at speed for 0.4 s that slows evenly to a stop over slowMs,
// then rests for 0.3 s; the stop counts from where it starts slowing.
inline Stream EasedStop(unsigned seed, double speed, double slowMs, const Conditions& c = {}) {
  const double y = 384.0 + (seed % 97);
  const double slow = slowMs / 1000.0;
  Stream stream = Generate(seed, c.noise, c.rate, Reports(0.7 + slow, c), [=](double t) {
    const double braking = std::clamp(t - 0.4, 0.0, slow);
    return std::pair{100.0 + speed * (std::min(t, 0.4) + braking - braking * braking / (2 * slow)),
                     y};
  });
  stream.stop = Reports(0.4, c);
  stream.settle = stream.stop;
  return stream;
}

// A finger that rests for 1 s, then drags at speed for 0.5 s; the figures
// count from the drag's start.
inline Stream RestThenDrag(unsigned seed, double speed, const Conditions& c = {}) {
  const double y = 384.0 + (seed % 97);
  Stream stream = Generate(seed, c.noise, c.rate, Reports(1.5, c), [=](double t) {
    return std::pair{100.0 + speed * std::max(t - 1.0, 0.0), y};
  });
  stream.start = Reports(1.0, c);
  stream.settle = stream.start;
  return stream;
}

// A finger that rests 0.5 s, drags at speed for 3 s, then rests for
// restAfter seconds; the figures count from 1 s into the drag, once it is
// under way.
inline Stream SlowDrag(unsigned seed, double speed, double restAfter, const Conditions& c = {}) {
  const double y = 384.0 + (seed % 97);
  Stream stream = Generate(seed, c.noise, c.rate, Reports(3.5 + restAfter, c), [=](double t) {
    return std::pair{300.0 + speed * std::clamp(t - 0.5, 0.0, 3.0), y};
  });
  stream.settle = Reports(1.5, c);
  return stream;
}

// A drag at speed for 1.5 s; the figures count after 0.4 s.
inline Stream Drag(unsigned seed, double speed, const Conditions& c = {}) {
  Stream stream = Generate(seed, c.noise, c.rate, Reports(1.5, c), [&](double t) {
    return std::pair{100.0 + speed * t, 384.0 + (seed % 97)};
  });
  stream.settle = Reports(0.4, c);
  return stream;
}

// A flick: 0.16 s at speed; the figures count after 0.03 s.
inline Stream Flick(unsigned seed, double speed, const Conditions& c = {}) {
  Stream stream = Generate(seed, c.noise, c.rate, Reports(0.16, c), [&](double t) {
    return std::pair{20.0 + speed * t, 384.0 + (seed % 97)};
  });
  stream.settle = Reports(0.03, c);
  return stream;
}

// Three turns of a circle of radius pixels drawn at speed.
inline Stream Circle(unsigned seed, double radius, double speed, const Conditions& c = {}) {
  const double turn = speed / radius;
  Stream stream = Generate(seed, c.noise, c.rate, Reports(3 * 6.2832 / turn, c), [=](double t) {
    return std::pair{500.0 + radius * std::cos(turn * t), 400.0 + radius * std::sin(turn * t)};
  });
  stream.settle = Reports(0.3, c);
  stream.radius = radius;
  stream.centreX = 500.0;
  stream.centreY = 400.0;
  return stream;
}

// A V: 0.3 s down and right at speed, then 0.3 s up and right; the
// turning point is the lowest.
inline Stream VTurn(unsigned seed, double speed, const Conditions& c = {}) {
  const double leg = speed / std::sqrt(2.0);
  Stream stream = Generate(seed, c.noise, c.rate, Reports(0.6, c), [=](double t) {
    return std::pair{100.0 + leg * t, 300.0 + leg * (0.3 - std::abs(t - 0.3))};
  });
  stream.settle = 1;
  stream.lowest = 300.0 + leg * 0.3;
  return stream;
}

// A scrub: the finger rests 0.3 s, then sweeps reach pixels either side
// of its place and back, cycles times a second, rounding each turn; the
// figures count from the second second on, once a rest's readings would
// have told the filter the panel's noise.
inline Stream Scrub(unsigned seed, double reach, double cycles, const Conditions& c = {}) {
  const double centre = 500.0;
  const double y = 384.0 + (seed % 97);
  Stream stream = Generate(seed, c.noise, c.rate, Reports(3.3, c), [=](double t) {
    const double swept = std::sin(2.0 * std::numbers::pi * cycles * std::max(0.0, t - 0.3));
    return std::pair{centre + reach * swept, y};
  });
  stream.settle = Reports(1.3, c);
  stream.reach = reach;
  stream.cycles = cycles;
  stream.centreX = centre;
  return stream;
}

// The direction of a seed's wild readings (degrees): the seeds spread them
// round the whole circle (by the golden angle), ahead of, beside and behind
// a moving finger alike, the same for every filter.
inline double WildDirection(unsigned seed) {
  return 137.507764050037854 * seed;
}

// One reading pixels off in a direction (degrees) at report index (the last
// one: the lift).
inline Stream WithSpike(Stream stream, std::size_t index, double pixels, double degrees) {
  index = std::min(index, stream.reports.size() - 1);
  const double radians = degrees * std::numbers::pi / 180.0;
  IntPoint& point = stream.reports[index].point;
  point.x += static_cast<std::int32_t>(std::lround(pixels * std::cos(radians) * kUnitsPerPixel));
  point.y += static_cast<std::int32_t>(std::lround(pixels * std::sin(radians) * kUnitsPerPixel));
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
    const auto i = static_cast<std::size_t>(&reading - stream.reports.data());
    for (const FilteredReport& out : filter(reading.status, reading.point, stream.Tick(i))) {
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
  double pointerOff = 0.0;     // the same, press and release aside
  double reportsToFinger = 0;  // after the settling, until within a pixel for good
  double releaseOff = 0.0;     // the release's distance from the pointer before the lift
  double pressOff = 0.0;       // the press's distance from the finger
  double overshoot = 0.0;      // how far the pointer passed a stop, on its report or after
  double radiusError = 0.0;    // a circle's mean radius against the finger's, as a fraction
  double spur = 0.0;           // how far the pointer passed a V's turning point
  double setOff = 0.0;         // reports from a drag's start until the pointer went a pixel its way
  double pastEnds = 0.0;       // how far the pointer passed a scrub's turning points
  double sweep = 0.0;          // a scrub's sweep the pointer made, as a fraction of the finger's
  double delay = 0.0;          // how many reports a scrub's pointer trails the finger
};

// How a scrub's pointer follows the finger's sweep: the shift (reports,
// within half a sweep) and the gain of the least-squares fit of the
// pointer's x, round the centre, to the finger's that many reports before.
struct Following {
  double delay = 0.0;
  double gain = 0.0;
};

inline Following FollowScrub(const Stream& stream, const Run& run, std::size_t from) {
  Following best;
  double bestSquares = 1e300;
  const std::size_t n = stream.reports.size();
  for (std::size_t shift = 0;
       shift <= from && static_cast<double>(shift) * 2.0 * stream.cycles < stream.rate; ++shift) {
    double cross = 0.0, truths = 0.0, pointers = 0.0;
    for (std::size_t i = from; i + 1 < n; ++i) {
      const double truth = stream.truthX[i - shift] - stream.centreX;
      const double pointer = run.pointerX[i] - stream.centreX;
      cross += truth * pointer;
      truths += truth * truth;
      pointers += pointer * pointer;
    }
    const double squares = pointers - cross * cross / truths;  // left once scaled by the gain
    if (squares < bestSquares) {
      bestSquares = squares;
      best = {static_cast<double>(shift), cross / truths};
    }
  }
  return best;
}

inline Figures Measure(const Stream& stream, const Run& run, double speed) {
  Figures figures;
  const std::size_t n = stream.reports.size();
  double minX = 1e9, maxX = -1e9, minY = 1e9, maxY = -1e9;
  std::vector<double> lags;
  const double perReport = speed / stream.rate;
  double radii = 0.0;
  int lastFar = -1;
  for (std::size_t i = 2; i + 1 < n; ++i) {
    if (run.pointerX[i - 1] < 0.0) {
      continue;  // no touch-down yet
    }
    const double stepX = run.pointerX[i] - run.pointerX[i - 1];
    const double stepY = run.pointerY[i] - run.pointerY[i - 1];
    figures.largestStep = std::max(figures.largestStep, std::hypot(stepX, stepY));
  }
  for (std::size_t i = std::max<std::size_t>(stream.settle, 2); i + 1 < n; ++i) {
    if (run.pointerX[i] < 0.0) {
      continue;  // no touch-down yet: the pointer has no place
    }
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
    radii += std::hypot(run.pointerX[i] - stream.centreX, run.pointerY[i] - stream.centreY);
    figures.spur = std::max(figures.spur, run.pointerY[i] - stream.lowest);
    if (stream.reach > 0.0) {
      figures.pastEnds =
          std::max(figures.pastEnds, std::abs(run.pointerX[i] - stream.centreX) - stream.reach);
    }
    if (perReport > 0.0) {
      lags.push_back((stream.truthX[i] - run.pointerX[i]) / perReport);
    }
  }
  figures.pointerOff = figures.worstOff;
  // A stop counts from its own report on, settled or not.
  for (std::size_t i = stream.stop; stream.stop > 0 && i + 1 < n; ++i) {
    figures.overshoot = std::max(figures.overshoot, run.pointerX[i] - stream.truthX[n - 1]);
  }
  for (std::size_t i = stream.start; stream.start > 0 && i + 1 < n; ++i) {
    figures.setOff = static_cast<double>(i - stream.start);
    if (run.pointerX[i] - run.pointerX[stream.start - 1] >= 1.0) {
      break;
    }
  }
  figures.span = std::max(maxX - minX, maxY - minY);
  if (stream.reach > 0.0) {
    const Following following = FollowScrub(stream, run, std::max<std::size_t>(stream.settle, 2));
    figures.sweep = following.gain;
    figures.delay = following.delay;
  }
  const auto counted = static_cast<double>(n - 1 - std::max<std::size_t>(stream.settle, 2));
  figures.radiusError = stream.radius > 0.0 ? std::abs(radii / counted / stream.radius - 1.0) : 0;
  figures.pressOff = std::hypot(run.pressX - stream.truthX[0], run.pressY - stream.truthY[0]);
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

// The reading at report index put exactly where the finger was.
inline Stream WithTrueReading(Stream stream, std::size_t index) {
  stream.reports[index].point = {
      static_cast<std::int32_t>(std::lround(stream.truthX[index] * kUnitsPerPixel)),
      static_cast<std::int32_t>(std::lround(stream.truthY[index] * kUnitsPerPixel))};
  return stream;
}

// How a filter's path differs between a stream and the same stream with
// its reading at report index changed: the most the pointer (or the
// release) is apart in any direction (one that stands still or falls behind counts too), or,
// toward, only the part of that which lies toward the changed reading, as
// seen from where the pointer was at its report.
enum class PathChange : std::uint8_t { kMoved, kToward };

inline double Changed(const std::function<Filter()>& make, const Stream& stream,
                      const Stream& changed, std::size_t index, PathChange measure) {
  const Run before = RunFilter(make(), stream);
  const Run after = RunFilter(make(), changed);
  const double awayX = changed.reports[index].point.x / kUnitsPerPixel - before.pointerX[index];
  const double awayY = changed.reports[index].point.y / kUnitsPerPixel - before.pointerY[index];
  const double away = std::max(std::hypot(awayX, awayY), 1e-9);
  double most = 0.0;
  const auto compare = [&](double dx, double dy) {
    most = std::max(most, measure == PathChange::kMoved ? std::hypot(dx, dy)
                                                        : (dx * awayX + dy * awayY) / away);
  };
  for (std::size_t i = 0; i + 1 < stream.reports.size(); ++i) {
    if (before.pointerX[i] >= 0.0 && after.pointerX[i] >= 0.0) {  // both touches began
      compare(after.pointerX[i] - before.pointerX[i], after.pointerY[i] - before.pointerY[i]);
    }
  }
  compare(after.releaseX - before.releaseX, after.releaseY - before.releaseY);
  return most;
}

// How far lone readings, each one of pixels off the reading it replaces
// (each in a direction of its own), at a third and at two thirds of the
// streams from seeds 1..seeds moved the pointer, sorted. No pixels: the reading put on the
// finger instead, which tells how far one reading's own noise moves it.
inline std::vector<double> Leaks(const std::function<Filter()>& make,
                                 const std::function<Stream(unsigned)>& base, unsigned seeds,
                                 std::initializer_list<double> pixels,
                                 PathChange measure = PathChange::kMoved) {
  std::vector<double> leaks;
  for (unsigned seed = 1; seed <= seeds; ++seed) {
    const Stream stream = base(seed);
    for (const unsigned third : {1U, 2U}) {
      const std::size_t at = stream.reports.size() * third / 3;
      if (pixels.size() == 0) {
        leaks.push_back(Changed(make, stream, WithTrueReading(stream, at), at, measure));
      }
      for (const double distance : pixels) {
        const Stream wild = WithSpike(stream, at, distance, WildDirection(2 * seed + third));
        leaks.push_back(Changed(make, stream, wild, at, measure));
      }
    }
  }
  std::sort(leaks.begin(), leaks.end());
  return leaks;
}

// Ours, at a level.
inline Filter Smoothing(std::int32_t level) {
  auto smoother = std::make_shared<CTouchSmoother>();
  return [smoother, level](std::int32_t status, IntPoint point, std::uint32_t tick) {
    return smoother->Filter(status, point, level, 655, tick);
  };
}

}  // namespace zt::streams
