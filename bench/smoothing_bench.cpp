// The smoothing filter against two common ones, on generated report streams
// of a 1024-pixel-wide panel at 100 reports a second (4 screen-scale units
// to a pixel): how still a resting finger with raw noise of 8 units (2 px)
// keeps the pointer, how far the pointer trails a finger moving at
// 1 000 px/s, how many reports after a stroke stops the pointer is on its
// end point, and the cost per report.
//   build/native/bench/zt_smoothing_bench
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <deque>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/controller_protocol.h"
#include "engine/touch_smoothing.h"

namespace {

using zt::IntPoint;
using Filter = std::function<IntPoint(std::int32_t status, IntPoint point)>;

constexpr double kUnitsPerPixel = 4.0;
constexpr double kStepUnits = 1000.0 * kUnitsPerPixel / 100.0;  // 1 000 px/s at 100 Hz

// tslib's dejitter as its documentation describes it: a move longer than
// sqrt(delta) from the last sample is quick motion and passes as it is,
// dropping the history; otherwise the last four samples are averaged, the
// latest weighing most (here 4:3:2:1).
Filter Dejitter(double delta) {
  auto history = std::make_shared<std::deque<IntPoint>>();
  return [history, delta](std::int32_t status, IntPoint p) {
    if (status == zt::kTouchBegins || history->empty()) {
      history->assign(1, p);
      return p;
    }
    const IntPoint last = history->front();
    const double dx = p.x - last.x;
    const double dy = p.y - last.y;
    if (dx * dx + dy * dy > delta) {
      history->assign(1, p);
      return p;
    }
    history->push_front(p);
    history->resize(std::min<std::size_t>(history->size(), 4));
    double x = 0;
    double y = 0;
    double weights = 0;
    for (std::size_t i = 0; i < history->size(); ++i) {
      const double weight = 4.0 - static_cast<double>(i);
      x += weight * (*history)[i].x;
      y += weight * (*history)[i].y;
      weights += weight;
    }
    return IntPoint{static_cast<int>(std::lround(x / weights)),
                    static_cast<int>(std::lround(y / weights))};
  };
}

// A plain first-order low-pass: each report moves the pointer alpha of the way.
Filter Iir(double alpha) {
  auto state = std::make_shared<std::pair<double, double>>();
  return [state, alpha](std::int32_t status, IntPoint p) {
    if (status == zt::kTouchBegins) {
      *state = {p.x, p.y};
    } else {
      state->first += alpha * (p.x - state->first);
      state->second += alpha * (p.y - state->second);
    }
    return IntPoint{static_cast<int>(std::lround(state->first)),
                    static_cast<int>(std::lround(state->second))};
  };
}

Filter Ours(std::int32_t level) {
  auto smoother = std::make_shared<zt::CTouchSmoother>();
  return [smoother, level](std::int32_t status, IntPoint p) {
    return smoother->Filter(status, p, level);
  };
}

// The widest the pointer wanders, in pixels, while a finger rests 2 s with
// noise of sigma units: the median and the worst of many touches.
std::pair<double, double> Stillness(const std::function<Filter()>& make, double sigma) {
  std::mt19937 random(7);
  std::normal_distribution<double> noise(0.0, sigma);
  std::vector<double> spans;
  for (int touch = 0; touch < 500; ++touch) {
    Filter filter = make();
    const auto noisy = [&] {
      return IntPoint{static_cast<int>(std::lround(2048 + noise(random))),
                      static_cast<int>(std::lround(2048 + noise(random)))};
    };
    filter(zt::kTouchBegins, noisy());
    int minX = 1 << 30, maxX = -(1 << 30), minY = 1 << 30, maxY = -(1 << 30);
    for (int report = 0; report < 200; ++report) {
      const IntPoint out = filter(zt::kTouchContinues, noisy());
      minX = std::min(minX, out.x);
      maxX = std::max(maxX, out.x);
      minY = std::min(minY, out.y);
      maxY = std::max(maxY, out.y);
    }
    spans.push_back(std::max(maxX - minX, maxY - minY) / kUnitsPerPixel);
  }
  std::sort(spans.begin(), spans.end());
  return {spans[spans.size() / 2], spans.back()};
}

// A stroke at 1 000 px/s, then the finger stays on its end point: how many
// reports the pointer trails while it moves, and how many reports after the
// stop it is within a pixel of the end point for good.
std::pair<double, int> Lag(const std::function<Filter()>& make) {
  Filter filter = make();
  filter(zt::kTouchBegins, {500, 2048});
  double x = 500;
  double trail = 0;
  for (int report = 1; report <= 60; ++report) {
    x += kStepUnits;
    const IntPoint out = filter(zt::kTouchContinues, {static_cast<int>(x), 2048});
    if (report > 20) {
      trail = std::max(trail, (x - out.x) / kStepUnits);
    }
  }
  int settled = 0;
  for (int report = 1; report <= 20; ++report) {
    const IntPoint out = filter(zt::kTouchContinues, {static_cast<int>(x), 2048});
    const bool on = std::abs(out.x - static_cast<int>(x)) <= kUnitsPerPixel;
    settled = on ? (settled == 0 ? report : settled) : 0;
  }
  return {trail, settled};
}

double NanosecondsPerReport(const std::function<Filter()>& make) {
  Filter filter = make();
  std::mt19937 random(3);
  std::normal_distribution<double> noise(0.0, 8.0);
  std::vector<IntPoint> stream(1 << 16);
  for (std::size_t i = 0; i < stream.size(); ++i) {
    stream[i] = {
        static_cast<int>(2048 + 1000 * std::sin(static_cast<double>(i) / 300.0) + noise(random)),
        static_cast<int>(2048 + noise(random))};
  }
  const auto start = std::chrono::steady_clock::now();
  long sum = 0;
  for (int round = 0; round < 20; ++round) {
    filter(zt::kTouchBegins, stream[0]);
    for (const IntPoint& p : stream) {
      sum += filter(zt::kTouchContinues, p).x;
    }
  }
  const double elapsed =
      std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
  std::printf("%s", sum == 42 ? " " : "");  // keeps the work
  return elapsed / (20.0 * static_cast<double>(stream.size()));
}

}  // namespace

int main() {
  const std::vector<std::pair<std::string, std::function<Filter()>>> filters = {
      {"Smoothing 1 (light)", [] { return Ours(1); }},
      {"Smoothing 2 (medium)", [] { return Ours(2); }},
      {"Smoothing 3 (strong)", [] { return Ours(3); }},
      {"tslib dejitter, delta 100 (model)", [] { return Dejitter(100.0); }},
      {"IIR, alpha 0.5", [] { return Iir(0.5); }},
      {"IIR, alpha 0.25", [] { return Iir(0.25); }},
  };
  std::printf(
      "| filter | resting finger, sigma 8: pointer span over 2 s, median / worst of 500 | trail at "
      "1 000 px/s | on the end point after the stop | cost per report |\n");
  std::printf("|---|---|---|---|---|\n");
  for (const auto& [name, make] : filters) {
    const auto [median, worst] = Stillness(make, 8.0);
    const auto [trail, settled] = Lag(make);
    std::printf("| %s | %.2f / %.2f px | %.2f reports | %d reports | %.0f ns |\n", name.c_str(),
                median, worst, trail, settled, NanosecondsPerReport(make));
  }
  return 0;
}
