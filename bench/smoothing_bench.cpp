// The smoothing filter against its rivals on generated streams of a
// 1 024-pixel-wide panel at 100 reports a second with raw noise of 2 px
// (touch_streams.h): the 1 euro filter tuned as its authors advise, tslib's
// chain as it is set up for a noisy resistive panel (variance, then
// dejitter), and plain first-order low-passes. Prints five tables: each
// filter against the first streams' figures and the cost per report; the
// motions that table lacks, also at 40 to 90 reports a second and on other
// noise; the rest and the drags at those rates and noise; a drag setting
// off after a rest, strokes that slow to a stop, slow drags and their
// stops; scrubs back and forth.
// Build it with the Release preset:
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

// The time since the report before, for the filters that need it (seconds).
double g_seconds = 0.01;

using zt::IntPoint;
using zt::SmoothedReports;
using namespace zt::streams;

// A filter that maps a point to a point, wrapped as the streams see filters:
// the press where the touch-down's output is, the release where the lift's.
template <typename PointFilter>
Filter Wrap(PointFilter filter) {
  auto state = std::make_shared<PointFilter>(std::move(filter));
  auto last = std::make_shared<std::uint32_t>(0);
  return [state, last](std::int32_t status, IntPoint point, std::uint32_t tick) {
    SmoothedReports out;
    double x = point.x / kUnitsPerPixel;
    double y = point.y / kUnitsPerPixel;
    g_seconds = std::max(tick - *last, 1U) / 1000.0;
    *last = tick;
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
    return 1.0 / (1.0 + tau / g_seconds);
  }
  double Step(Axis& axis, double raw) const {
    const double speed = (raw - axis.value) / g_seconds;
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

// The panel and controller of the streams of a row.
Conditions g_conditions;
// The size of wild readings, against those on a panel of 2 px noise.
double g_scale = 1.0;

std::function<Stream(unsigned)> Drag(double noise, double speed) {
  return [=](unsigned seed) {
    Conditions c = g_conditions;
    c.noise.x = c.noise.y = noise;
    return zt::streams::Drag(seed, speed, c);
  };
}

std::function<Stream(unsigned)> DragHere(double speed) {
  return [=](unsigned seed) { return zt::streams::Drag(seed, speed, g_conditions); };
}

std::function<Stream(unsigned)> Flick(double speed) {
  return [=](unsigned seed) { return zt::streams::Flick(seed, speed, g_conditions); };
}

std::function<Stream(unsigned)> RestStream() {
  return [=](unsigned seed) { return Rest(seed, g_conditions); };
}

std::function<Stream(unsigned)> StopStream(double speed, std::size_t rest) {
  return [=](unsigned seed) { return Stop(seed, speed, rest, g_conditions); };
}

// Spikes of 60 and 300 px (each seed's in a direction of its own) at rest,
// mid-drag, as the first reading and as the lift, each on ten seeds: how
// many reached the pointer, the press or the release (came within 20 px of
// where the spike was), and how far they moved it, median / worst (px).
void PrintSpikes(const MakeFilter& make) {
  int through = 0;
  std::vector<double> moved;
  for (const double size : {60.0, 300.0}) {
    for (const std::size_t at : {std::size_t{0}, std::size_t{100}, std::size_t{999}}) {
      for (const auto& base : {RestStream(), DragHere(100)}) {
        for (unsigned seed = 1; seed <= 10; ++seed) {
          const Stream clean = base(seed);
          const Stream stream = WithSpike(clean, at, size, WildDirection(seed));
          through += Measure(stream, RunFilter(make(), stream), 0).worstOff > size - 20.0 ? 1 : 0;
          moved.push_back(Changed(make, clean, stream, at, PathChange::kMoved));
        }
      }
    }
  }
  std::sort(moved.begin(), moved.end());
  std::printf(" %d of 120, moved %.2f / %.2f |", through, Median(moved), Worst(moved));
}

double NanosecondsPerReport(const MakeFilter& make) {
  std::vector<Stream> mixed;
  for (unsigned seed = 1; seed <= 20; ++seed) {
    mixed.push_back(Rest(seed));
    mixed.push_back(zt::streams::Drag(seed, 100));
    mixed.push_back(zt::streams::Flick(seed, 4000));
  }
  std::size_t reports = 0;
  long sum = 0;
  const auto start = std::chrono::steady_clock::now();
  for (int round = 0; round < 20; ++round) {
    const Filter filter = make();
    for (const Stream& stream : mixed) {
      for (std::size_t i = 0; i < stream.reports.size(); ++i) {
        const zt::FilteredReport& report = stream.reports[i];
        for (const zt::FilteredReport& out : filter(report.status, report.point, stream.Tick(i))) {
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

// At its own sweet spot, on the figures it is scored by: among minimum
// cut-offs and betas, the pair whose pointer is as still at rest as a median
// span of 2 px over the 2-s rest allows, with the least lag (the median of
// the 100 px/s drag's and the 2 000 px/s flick's, in reports).
MakeFilter TunedOneEuro(std::string& chosen) {
  const auto make = [](double cutoff, double beta) {
    return [=] { return Wrap(OneEuro{.minCutoff = cutoff, .beta = beta}); };
  };
  double bestLag = 1e9;
  double cutoff = 0.05;
  double beta = 0.0;
  for (const double c : {5.0, 3.0, 2.0, 1.5, 1.0, 0.7, 0.5, 0.3, 0.2, 0.1, 0.05}) {
    for (const double b : {0.0, 0.001, 0.002, 0.003, 0.005, 0.01, 0.02, 0.03, 0.1, 0.3}) {
      if (Median(Over(make(c, b), RestStream(), 100, 0, &Figures::span)) > 2.0) {
        continue;
      }
      const double lag = Median(Over(make(c, b), DragHere(100), 30, 100, &Figures::lag)) +
                         Median(Over(make(c, b), Flick(2000), 30, 2000, &Figures::lag));
      if (lag < bestLag) {
        bestLag = lag;
        cutoff = c;
        beta = b;
      }
    }
  }
  char text[64];
  std::snprintf(text, sizeof text, "1 euro, min cut-off %.2f Hz, beta %.3f", cutoff, beta);
  chosen = text;
  return make(cutoff, beta);
}

void PrintRow(const std::string& name, const MakeFilter& make, double noise = kNoisePixels) {
  g_conditions = zt::streams::Gaussian(noise);
  g_scale = 1.0;
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
  const std::vector<double> afterStop = Over(make, StopStream(1000, 4), 50, 0, &Figures::restError);
  std::printf(" %.2f / %.2f |", Median(afterStop), Worst(afterStop));
  PrintSpikes(make);
  std::printf(" %.2f | %.0f ns |\n", Worst(Over(make, rest, 50, 0, &Figures::releaseOff)),
              NanosecondsPerReport(make));
}

// The motions the first table lacks, on a panel and controller (wild
// readings and the circle in proportion to the noise by scale).
void PrintMotionsRow(const std::string& name, const MakeFilter& make, const Conditions& c,
                     double scale = 1.0) {
  g_conditions = c;
  g_scale = scale;
  const auto both = [](const std::vector<double>& values, double factor = 1.0) {
    std::printf(" %.2f / %.2f |", Median(values) * factor, Worst(values) * factor);
  };
  std::printf("| %s |", name.c_str());
  // Lone readings 10, 15 and 20 px off (5 to 10 noise deviations).
  const std::initializer_list<double> lone = {10 * scale, 15 * scale, 20 * scale};
  both(Leaks(make, RestStream(), 20, lone));
  both(Leaks(make, DragHere(100), 20, lone));
  both(Leaks(make, DragHere(100), 20, lone, PathChange::kToward));
  // What waiting a report costs by itself: a reading no filter takes; and
  // what one good reading's own noise does: the reading on the finger.
  both(Leaks(make, DragHere(100), 20, {200 * scale}));
  both(Leaks(make, DragHere(100), 20, {}));
  for (const double speed : {200.0, 1000.0}) {
    both(Over(make, StopStream(speed, 30), 50, 0, &Figures::overshoot));
  }
  const auto circle = [](unsigned seed) { return Circle(seed, 10 * g_scale, 100, g_conditions); };
  both(Over(make, circle, 50, 0, &Figures::radiusError), 100.0);
  const auto turn = [](unsigned seed) { return VTurn(seed, 600, g_conditions); };
  both(Over(make, turn, 50, 0, &Figures::spur));
  const auto scrub = [](unsigned seed) { return Scrub(seed, 30 * g_scale, 2, g_conditions); };
  both(Over(make, scrub, 50, 0, &Figures::pastEnds));
  const auto wildFirst = [](unsigned seed) {
    return WithSpike(Rest(seed, g_conditions), 0, g_scale * 12, WildDirection(seed));
  };
  both(Over(make, wildFirst, 50, 0, &Figures::pressOff));
  std::printf("\n");
}

// Motions that begin and end gently, on a panel and controller: a drag
// setting off from a 1-s rest (how long until the pointer goes a pixel its
// way and how far it trails, in ms; its longest step beyond the finger's
// own), a stroke that slows evenly to a stop (how far the pointer passes
// the stop, on the way there or after), slow drags after a rest (how far
// the pointer gets from the finger once the drag is under way) and the
// pointer's place a second after a slow drag stops.
void PrintGentleRow(const std::string& name, const MakeFilter& make, const Conditions& c) {
  g_conditions = c;
  const double ms = 1000.0 / c.rate;
  const auto both = [](const std::vector<double>& values, double factor, double less = 0.0) {
    std::printf(" %.*f / %.*f |", factor > 1.0 ? 0 : 2, Median(values) * factor - less,
                factor > 1.0 ? 0 : 2, Worst(values) * factor - less);
  };
  std::printf("| %s |", name.c_str());
  for (const double speed : {100.0, 300.0}) {
    const auto setOff = [speed](unsigned seed) { return RestThenDrag(seed, speed, g_conditions); };
    both(Over(make, setOff, 50, speed, &Figures::setOff), ms);
    both(Over(make, setOff, 50, speed, &Figures::lag), ms);
    both(Over(make, setOff, 50, speed, &Figures::largestStep), 1.0, speed / c.rate);
  }
  for (const double speed : {200.0, 1000.0}) {
    for (const double slowMs : {50.0, 100.0, 200.0}) {
      const auto eased = [=](unsigned seed) {
        return EasedStop(seed, speed, slowMs, g_conditions);
      };
      both(Over(make, eased, 50, 0, &Figures::overshoot), 1.0);
    }
  }
  for (const double speed : {10.0, 15.0}) {
    const auto slow = [speed](unsigned seed) { return SlowDrag(seed, speed, 0.0, g_conditions); };
    both(Over(make, slow, 50, 0, &Figures::pointerOff), 1.0);
  }
  const auto slowStop = [](unsigned seed) { return SlowDrag(seed, 10.0, 1.0, g_conditions); };
  both(Over(make, slowStop, 50, 0, &Figures::restError), 1.0);
  std::printf("\n");
}

// Scrubs back and forth (5 px either way at 2 Hz, 10 px at 3 Hz, 30 px at
// 2 Hz) at 100 and 40 reports a second: how much of the finger's sweep the
// pointer makes (median and the range), and how late it follows (ms).
void PrintScrubRow(const std::string& name, const MakeFilter& make, double noise = kNoisePixels) {
  std::printf("| %s |", name.c_str());
  for (const double rate : {100.0, 40.0}) {
    for (const std::pair<double, double>& sweep : {std::pair{5.0, 2.0}, {10.0, 3.0}, {30.0, 2.0}}) {
      g_conditions = {{noise, noise}, rate};
      const auto scrub = [=](unsigned seed) {
        return Scrub(seed, sweep.first, sweep.second, g_conditions);
      };
      const std::vector<double> gain = Over(make, scrub, 50, 0, &Figures::sweep);
      const std::vector<double> delay = Over(make, scrub, 50, 0, &Figures::delay);
      std::printf(" %.2f (%.2f-%.2f), %.0f / %.0f ms |", Median(gain), gain.front(), gain.back(),
                  Median(delay) * 1000.0 / rate, Worst(delay) * 1000.0 / rate);
    }
  }
  std::printf("\n");
}

// Other report rates and other noise: the rest, a drag and a flick.
void PrintConditionsRow(const std::string& name, const MakeFilter& make, const Conditions& c) {
  g_conditions = c;
  g_scale = 1.0;
  const double ms = 1000.0 / c.rate;
  const std::vector<double> span = Over(make, RestStream(), 200, 0, &Figures::span);
  const std::vector<double> off = Over(make, RestStream(), 200, 0, &Figures::restError);
  std::printf("| %s | %.2f / %.2f | %.2f / %.2f | %.2f / %.1f ms | %.1f ms |\n", name.c_str(),
              Median(span), Worst(span), Median(off), Worst(off),
              Worst(Over(make, DragHere(100), 50, 100, &Figures::largestStep)),
              Median(Over(make, DragHere(100), 50, 100, &Figures::lag)) * ms,
              Median(Over(make, Flick(2000), 50, 2000, &Figures::lag)) * ms);
}

// The report rates and kinds of noise of the last two tables.
const std::pair<const char*, Conditions> kConditions[] = {
    {"40 reports/s", {{}, 40.0}},
    {"60 reports/s", {{}, 60.0}},
    {"90 reports/s", {{}, 90.0}},
    {"quantised to 4 raw steps (1 px)", {{2.0, 2.0, 1.0}}},
    // As much noise in all as the 2-px rows, three times as much on y.
    {"x 0.89 px, y 2.68 px", {{0.89, 2.68}}},
    {"hum: 0.4 to 2 px alternating, and 1 px", {{1.0, 1.0, 0.0, 2.0}}},
};

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
      "spikes through, and how far they moved the pointer, median / worst (px) | release off "
      "the pointer "
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

  std::printf(
      "\n| filter, conditions | a lone reading 10-20 px off at rest: pointer moved, median / worst "
      "(px) | the same mid-drag at 100 px/s | mid-drag, toward the reading | one 200 px off "
      "mid-drag | one reading put on the finger mid-drag | stop from 200 px/s: past "
      "the stop, on its report "
      "or after, median / worst (px) | stop from 1 000 px/s | circle of 10 px at 100 px/s: "
      "radius off (%%) | V at 600 px/s: past the turn (px) | scrub of 30 px either way at 2 Hz: "
      "past the turn (px) | first reading 12 px off: press off "
      "the finger (px) |\n");
  std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|\n");
  for (const auto& [name, make] : filters) {
    PrintMotionsRow(name, make, Gaussian(kNoisePixels));
  }
  // Levels 1 and 3 on their own noise: wild readings and the circle in
  // proportion.
  PrintMotionsRow(
      "Smoothing 1 on noise of 1 px", [] { return Smoothing(1); }, Gaussian(1.0), 0.5);
  PrintMotionsRow(
      "Smoothing 3 on noise of 4 px", [] { return Smoothing(3); }, Gaussian(4.0), 2.0);
  for (const auto& [label, c] : kConditions) {
    PrintMotionsRow(
        std::string("Smoothing 2, ") + label, [] { return Smoothing(2); }, c);
    PrintMotionsRow(oneEuroName + ", " + label, oneEuro, c);
  }

  std::printf(
      "\n| filter, conditions | rest: span, median / worst (px) | rest: off the finger | 100 px/s: "
      "largest step (px) / lag | 2 000 px/s: lag |\n");
  std::printf("|---|---|---|---|---|\n");
  for (const auto& [label, c] : kConditions) {
    PrintConditionsRow(
        std::string("Smoothing 2, ") + label, [] { return Smoothing(2); }, c);
    PrintConditionsRow(oneEuroName + ", " + label, oneEuro, c);
  }

  std::printf(
      "\n| filter, conditions | drag at 100 px/s after a 1-s rest: first move, median / worst "
      "(ms) | lag (ms) | largest step beyond the finger's (px) | at 300 px/s: first move (ms) | "
      "lag (ms) | step beyond (px) | slowing from 200 px/s to a stop in 50 ms: past the stop, "
      "median / worst (px) | in 100 ms | in 200 ms | from 1 000 px/s in 50 ms | in 100 ms | in "
      "200 ms | drag at 10 px/s after a 0.5-s rest: off the finger from 1 s in, median / worst "
      "(px) | at 15 px/s | 1 s after a stop from 10 px/s: off the finger (px) |\n");
  std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
  for (const auto& [name, make] : filters) {
    PrintGentleRow(name, make, Gaussian(kNoisePixels));
  }
  PrintGentleRow(
      "Smoothing 1 on noise of 1 px", [] { return Smoothing(1); }, Gaussian(1.0));
  PrintGentleRow(
      "Smoothing 3 on noise of 4 px", [] { return Smoothing(3); }, Gaussian(4.0));
  for (const auto& [label, c] : kConditions) {
    PrintGentleRow(
        std::string("Smoothing 2, ") + label, [] { return Smoothing(2); }, c);
    PrintGentleRow(oneEuroName + ", " + label, oneEuro, c);
  }

  std::printf(
      "\n| filter | scrub of 5 px either way at 2 Hz: sweep followed, median (range) / delay, "
      "median / worst (ms) | 10 px at 3 Hz | 30 px at 2 Hz | at 40 reports/s: 5 px at 2 Hz | 10 px "
      "at 3 Hz | 30 px at 2 Hz |\n");
  std::printf("|---|---|---|---|---|---|---|\n");
  for (const auto& [name, make] : filters) {
    PrintScrubRow(name, make);
  }
  PrintScrubRow(
      "Smoothing 1 on noise of 1 px", [] { return Smoothing(1); }, 1.0);
  PrintScrubRow(
      "Smoothing 3 on noise of 4 px", [] { return Smoothing(3); }, 4.0);
  return 0;
}
