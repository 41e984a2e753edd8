// The smoothing filter against its rivals on generated streams of a
// 1 024-pixel-wide panel at 100 reports a second with raw noise of 2 px
// (touch_streams.h): the 1 euro filter tuned as its authors advise, tslib's
// chain as it is set up for a noisy resistive panel (variance, then
// dejitter), and plain first-order low-passes. Prints one table: each filter
// against each stream's figures, and the cost per report. Build it with the
// Release preset:
//   cmake --preset bench && cmake --build --preset bench && build/bench/bench/zt_smoothing_bench
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <deque>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "touch_streams.h"

namespace {

using zt::IntPoint;
using zt::SmoothedReports;
using namespace zt::streams;

// A filter that maps a point to a point, wrapped as the streams see filters:
// the press where the touch-down's output is, the release where the lift's.
template <typename PointFilter>
Filter Wrap(PointFilter filter) {
  auto state = std::make_shared<PointFilter>(std::move(filter));
  return [state](std::int32_t status, IntPoint point) {
    SmoothedReports out;
    double x = point.x / kUnitsPerPixel;
    double y = point.y / kUnitsPerPixel;
    if ((*state)(status, x, y)) {
      out.Add(status, {static_cast<std::int32_t>(std::lround(x * kUnitsPerPixel)),
                       static_cast<std::int32_t>(std::lround(y * kUnitsPerPixel))});
    }
    return out;
  };
}

// The 1 euro filter (Casiez, Roussel and Vogel, CHI 2012) on each axis, in
// pixels: a low-pass whose cut-off rises with the filtered speed.
struct OneEuro {
  double minCutoff;
  double beta;
  double derivativeCutoff = 1.0;
  struct Axis {
    double value = 0.0;
    double speed = 0.0;
  };
  Axis ax, ay;
  bool started = false;

  static double Alpha(double cutoff) {
    const double tau = 1.0 / (2.0 * std::numbers::pi * cutoff);
    return 1.0 / (1.0 + tau * kReportsPerSecond);
  }
  double Step(Axis& axis, double raw) const {
    const double speed = (raw - axis.value) * kReportsPerSecond;
    axis.speed += Alpha(derivativeCutoff) * (speed - axis.speed);
    axis.value += Alpha(minCutoff + beta * std::abs(axis.speed)) * (raw - axis.value);
    return axis.value;
  }
  bool operator()(std::int32_t status, double& x, double& y) {
    if (status == zt::kTouchBegins || !started) {
      ax = {x, 0.0};
      ay = {y, 0.0};
      started = true;
      return true;
    }
    x = Step(ax, x);
    y = Step(ay, y);
    return true;
  }
};

// tslib's variance module as its documentation describes it: a sample
// farther than sqrt(delta) from the last one is held back as noise; a
// second far one in a row is fast motion, and both pass.
struct Variance {
  double delta;
  double lastX = 0.0, lastY = 0.0;
  bool holding = false;
  double heldX = 0.0, heldY = 0.0;
  bool started = false;

  bool operator()(std::int32_t status, double& x, double& y) {
    if (status == zt::kTouchBegins || !started) {
      started = true;
      holding = false;
      lastX = x;
      lastY = y;
      return true;
    }
    const double dx = x - lastX;
    const double dy = y - lastY;
    if (dx * dx + dy * dy > delta && !holding) {
      holding = true;
      heldX = x;
      heldY = y;
      x = lastX;
      y = lastY;
      return status == zt::kTouchEnds;
    }
    holding = false;
    lastX = x;
    lastY = y;
    return true;
  }
};

// tslib's dejitter: a move longer than sqrt(delta) passes as it is and
// drops the history; shorter ones are averaged over the last four samples,
// the latest weighing most (4:3:2:1).
struct Dejitter {
  double delta;
  std::deque<std::pair<double, double>> history;

  bool operator()(std::int32_t status, double& x, double& y) {
    if (status == zt::kTouchBegins || history.empty()) {
      history.assign(1, {x, y});
      return true;
    }
    const double dx = x - history.front().first;
    const double dy = y - history.front().second;
    if (dx * dx + dy * dy > delta) {
      history.assign(1, {x, y});
      return true;
    }
    history.emplace_front(x, y);
    history.resize(std::min<std::size_t>(history.size(), 4));
    double sumX = 0.0, sumY = 0.0, weights = 0.0;
    for (std::size_t i = 0; i < history.size(); ++i) {
      const double weight = 4.0 - static_cast<double>(i);
      sumX += weight * history[i].first;
      sumY += weight * history[i].second;
      weights += weight;
    }
    x = sumX / weights;
    y = sumY / weights;
    return true;
  }
};

struct TslibChain {
  Variance variance;
  Dejitter dejitter;
  bool operator()(std::int32_t status, double& x, double& y) {
    return variance(status, x, y) && dejitter(status, x, y);
  }
};

struct Iir {
  double alpha;
  double valueX = 0.0, valueY = 0.0;
  bool operator()(std::int32_t status, double& x, double& y) {
    if (status == zt::kTouchBegins) {
      valueX = x;
      valueY = y;
    } else {
      valueX += alpha * (x - valueX);
      valueY += alpha * (y - valueY);
    }
    x = valueX;
    y = valueY;
    return true;
  }
};

using MakeFilter = std::function<Filter()>;

double Median(const std::vector<double>& values) {
  return values[values.size() / 2];
}
double Worst(const std::vector<double>& values) {
  return values.back();
}

// The raw noise of the streams of a row, in pixels.
double g_noise = kNoisePixels;

std::function<Stream(unsigned)> Drag(double noise, double speed) {
  return [=](unsigned seed) { return zt::streams::Drag(seed, noise, speed); };
}

std::function<Stream(unsigned)> Flick(double speed) {
  return [=](unsigned seed) { return zt::streams::Flick(seed, speed, g_noise); };
}

std::function<Stream(unsigned)> RestStream() {
  return [=](unsigned seed) { return Rest(seed, g_noise); };
}

// Spikes of 60 and 300 px at rest, mid-drag, as the first reading and as
// the lift, each on ten seeds: how many reached the pointer, the press or
// the release (came within 20 px of where the spike was).
int SpikesThrough(const MakeFilter& make) {
  int through = 0;
  for (const double size : {60.0, 300.0}) {
    for (const std::size_t at : {std::size_t{0}, std::size_t{100}, std::size_t{999}}) {
      for (const auto& base : {RestStream(), Drag(kNoisePixels, 100)}) {
        for (unsigned seed = 1; seed <= 10; ++seed) {
          const Stream stream = WithSpike(base(seed), at, size);
          through += Measure(stream, RunFilter(make(), stream), 0).worstOff > size - 20.0 ? 1 : 0;
        }
      }
    }
  }
  return through;
}

double NanosecondsPerReport(const MakeFilter& make) {
  std::vector<Stream> mixed;
  for (unsigned seed = 1; seed <= 20; ++seed) {
    mixed.push_back(Rest(seed));
    mixed.push_back(Drag(kNoisePixels, 100)(seed));
    mixed.push_back(Flick(4000)(seed));
  }
  std::size_t reports = 0;
  long sum = 0;
  const auto start = std::chrono::steady_clock::now();
  for (int round = 0; round < 20; ++round) {
    const Filter filter = make();
    for (const Stream& stream : mixed) {
      for (const zt::FilteredReport& report : stream.reports) {
        for (const zt::FilteredReport& out : filter(report.status, report.point)) {
          sum += out.point.x;
        }
        ++reports;
      }
    }
  }
  const double elapsed =
      std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
  std::printf("%s", sum == 42 ? " " : "");  // keeps the work
  return elapsed / static_cast<double>(reports);
}

// The jitter of a resting pointer once it has settled: its span over the
// last second of a rest.
double RestJitter(const MakeFilter& make) {
  const auto lastSecond = [](unsigned seed) {
    Stream stream = Rest(seed);
    stream.settle = 100;
    return stream;
  };
  return Median(Over(make, lastSecond, 100, 0, &Figures::span));
}
double FlickLag(const MakeFilter& make, double speed) {
  return Median(Over(make, Flick(speed), 50, speed, &Figures::lag));
}

// As its authors advise: with beta 0, the minimum cut-off lowered until the
// resting pointer's jitter is within the requirement (a span of 1 px over
// the last second of a rest); then beta raised until the lag at speed is at
// most a report, as long as the rest stays that still.
MakeFilter TunedOneEuro(std::string& chosen) {
  const auto make = [](double cutoff, double beta) {
    return [=] { return Wrap(OneEuro{.minCutoff = cutoff, .beta = beta}); };
  };
  double cutoff = 0.05;
  for (const double candidate : {10.0, 5.0, 3.0, 2.0, 1.5, 1.0, 0.7, 0.5, 0.3, 0.2, 0.1, 0.05}) {
    if (RestJitter(make(candidate, 0.0)) <= 1.0) {
      cutoff = candidate;
      break;
    }
  }
  double beta = 0.0;
  for (const double candidate : {0.001, 0.003, 0.01, 0.03, 0.1, 0.3, 1.0, 3.0}) {
    if (RestJitter(make(cutoff, candidate)) > 1.0) {
      break;
    }
    beta = candidate;
    if (FlickLag(make(cutoff, candidate), 2000) <= 1.0) {
      break;
    }
  }
  char text[64];
  std::snprintf(text, sizeof text, "1 euro, min cut-off %.2f Hz, beta %.3f", cutoff, beta);
  chosen = text;
  return make(cutoff, beta);
}

void PrintRow(const std::string& name, const MakeFilter& make, double noise = kNoisePixels) {
  g_noise = noise;
  const auto rest = RestStream();
  const std::vector<double> span = Over(make, rest, 500, 0, &Figures::span);
  const std::vector<double> off = Over(make, rest, 500, 0, &Figures::restError);
  std::printf("| %s | %.2f / %.2f | %.2f / %.2f |", name.c_str(), Median(span), Worst(span),
              Median(off), Worst(off));
  for (const auto& [dragNoise, speed] :
       {std::pair{noise, 20.0}, std::pair{noise, 100.0}, std::pair{0.0, 80.0}}) {
    std::printf(" %.2f / %.1f |",
                Worst(Over(make, Drag(dragNoise, speed), 50, speed, &Figures::largestStep)),
                Median(Over(make, Drag(dragNoise, speed), 50, speed, &Figures::lag)));
  }
  for (const double speed : {2000.0, 6000.0}) {
    std::printf(" %.1f / %.0f |", Median(Over(make, Flick(speed), 50, speed, &Figures::lag)),
                Worst(Over(make, Flick(speed), 50, speed, &Figures::stillReports)));
  }
  const auto stop = [](unsigned seed) { return Stop(seed, 1000, 4, g_noise); };
  const std::vector<double> afterStop = Over(make, stop, 50, 0, &Figures::restError);
  std::printf(" %.2f / %.2f | %d of 120 | %.2f | %.0f ns |\n", Median(afterStop), Worst(afterStop),
              SpikesThrough(make), Worst(Over(make, rest, 50, 0, &Figures::releaseOff)),
              NanosecondsPerReport(make));
}

}  // namespace

int main() {
  std::string oneEuroName;
  const MakeFilter oneEuro = TunedOneEuro(oneEuroName);
  const std::vector<std::pair<std::string, MakeFilter>> filters = {
      {"Smoothing 1 (light)", [] { return Smoothing(1); }},
      {"Smoothing 2 (medium)", [] { return Smoothing(2); }},
      {"Smoothing 3 (strong)", [] { return Smoothing(3); }},
      {oneEuroName, oneEuro},
      {"tslib variance 20 px, dejitter 8.5 px",
       [] { return Wrap(TslibChain{.variance = {.delta = 400.0}, .dejitter = {.delta = 72.0}}); }},
      {"IIR, alpha 0.5", [] { return Wrap(Iir{0.5}); }},
      {"IIR, alpha 0.25", [] { return Wrap(Iir{0.25}); }},
  };
  std::printf(
      "| filter | rest 2 s: span, median / worst of 500 (px) | rest: off the finger, median / "
      "worst (px) | 20 px/s: largest step (px) / lag (reports) | 100 px/s: step / lag | 80 px/s "
      "clean: step / lag | 2 000 px/s: lag / reports without a move | 6 000 px/s: lag / without "
      "a move | 3 reports after a stop from 1 000 px/s: off the finger, median / worst (px) | "
      "spikes through | release off the pointer "
      "(px) | cost per report |\n");
  std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|\n");
  for (const auto& [name, make] : filters) {
    PrintRow(name, make);
  }
  // Each level on the noise it is meant for.
  PrintRow(
      "Smoothing 1 on noise of 1 px", [] { return Smoothing(1); }, 1.0);
  PrintRow(
      "Smoothing 3 on noise of 4 px", [] { return Smoothing(3); }, 4.0);
  return 0;
}
