// Smoothing of the positions of one touch: a resistive panel reports a
// resting finger with noise, and now and then a single wild reading (often
// the first or the last of a touch, as the pressure comes and goes).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <utility>

#include "mapping/calib_mapper.h"

namespace zt {

// Smoothing strengths ("Smoothing"): 0 off, 1 light, 2 medium, 3 strong.
inline constexpr std::int32_t kSmoothingOff = 0;
inline constexpr std::int32_t kSmoothingStrongest = 3;

// The noise (one standard deviation of a resting finger's readings, in
// absolute units: 65 536 across the monitor) each strength is meant for.
inline constexpr std::array<double, 3> kSmoothingNoise = {64.0, 128.0, 256.0};

// A report as the emulation acts on it.
struct FilteredReport {
  std::int32_t status = 0;
  IntPoint point;

  bool operator==(const FilteredReport&) const = default;
};

// What one report in gives: none while a touch-down waits to be confirmed
// by the reports after it, or while the pointer stays where it is; two for
// a touch-down landing in motion (the press and a move along) or a lift
// whose touch-down never had its second reading.
struct SmoothedReports {
  std::array<FilteredReport, 2> reports{};
  std::size_t count = 0;

  void Add(std::int32_t status, IntPoint point) {
    if (count < reports.size()) {
      reports[count++] = {status, point};
    }
  }
  const FilteredReport* begin() const { return reports.data(); }
  const FilteredReport* end() const { return reports.data() + count; }
};

// Filters the positions (absolute units) of one touch, report by report:
// - a reading far from where the finger's course puts it (a few noise
//   deviations) and from the newest reading, or as far off as a new course
//   where no stop explains it (at rest, or back along the way from the
//   newest reading), waits one report: the next says whether it was a lone
//   wild reading (dropped) or the finger turning or flicking (taken, and a
//   new line begins there), agreeing with it only if it lies near it or on
//   its way (while the finger moves, on past it: not back across it; a next
//   reading off both waits in its turn); meanwhile the
//   course's own point stands in for it (no farther along the way than
//   the waiting reading, nor farther back than the newest reading), so the
//   line keeps its readings and a moving pointer goes on at the finger's
//   pace; off a rest that has settled, a reading as far off as a wild one
//   is dropped while the newest reading still lies on the rest's mean
//   (nothing says the finger set off): taken, it would tilt the rest's
//   long line as a start does; and there a next reading that agrees with a
//   waiting one but lies no farther on from the rest waits too, for a third
//   that agrees with both in turn (two wild readings alike would otherwise
//   move a held touch's pointer; a finger setting off reads farther on at
//   each report, and is followed at once, but a next reading that lies on
//   the waiting one's way and not within the noise of where its step
//   carries on waits in its turn, on the waiting one: taken whole, it set
//   the way's first slope alone);
// - the touch-down waits until the first readings agree, so that a wild
//   first reading is never pressed on; the press goes where they agree
//   (after a wild first reading, on the five after it: fewer leave a few
//   presses in a hundred farther off than the noise, where a panel reads
//   one axis noisier than the other; three first readings that agree on
//   nothing wait again from the third, which may be the wild one; a later
//   reading far from those the press gathers is pressed on none of them,
//   and waits on the line like any other); a controller that reports only
//   changes may send no next reading, and the press then goes on what there
//   is once no reading has come for a while (Expire);
// - at rest the pointer stands still on the mean of the readings of the
//   rest's last second (moving only when the mean leaves a margin, never
//   larger than the hold tolerance); a finger scrubbing back and forth in a
//   small space, whose line through the window goes nowhere, moves all the
//   same where its readings swing about that line by more than the noise
//   in turns that no rest followed by a steady way (a finger setting off or
//   stopping) explains, and is followed on the shortest line at that
//   line's pace; while the finger moves the pointer is
//   on the newest point of a line through the readings of its last few
//   pixels of travel (so a curve keeps its size and a turn grows no spur),
//   and never ahead of the newest reading along the way, less the noise or
//   half the finger's step where that is shorter (so a stop is not
//   overrun, and a slow drag not held back); a finger slowing to a stop
//   keeps there the step of its stroke, not the shorter one of its newest
//   readings (they are as noisy as ever, and would pass their noise whole
//   as it stops), and while the short line is surely slower than the whole
//   one, the pointer goes no farther than the reading before the newest
//   carried on by the short line's step either (one reading a few
//   deviations ahead, just as the finger stops, no longer carries the
//   pointer past the stop); after the touch-down it catches up with that
//   line no faster than the speed the line is sure of (so a slope overrated by the first
//   readings' noise does not make it jump); a reading taken onto that line
//   counts only so far ahead of or beside its course as moves the pointer
//   less than the noise (so a wild reading that noise brought near the
//   course leaks little), but whole behind it as far back as the finger
//   was at the newest reading (a finger that stops reads where it
//   stopped), and only as little again beyond that; once the finger has
//   stopped, the line forgets the way there, and once a finger that rested
//   sets off, it forgets the rest (a reading that waited off the rest
//   counts then as far as it lies ahead along the way, up to two spike
//   limits, not beside it);
// - the lift goes where the pointer is, never to the last reading, which
//   is the least reliable one;
// - the line's time counts reports, and the reports a gap in the ticks
//   may have lost (a bad checksum) where the reading says so too: it lies
//   well off where the course puts the finger a report on, and nearer
//   where it puts it after them, that point lying apart from the other (a
//   tick counter's coarse steps and reports read in bursts make gaps look
//   longer, and a noisy reading of a slow drag lies nearer one or the other
//   by chance): the reading after a lost one is no wild one;
// - where a resting finger's readings scatter more on one axis than the
//   strength is meant for, that axis's distances count against its own
//   noise (a panel often reads one axis noisier than the other); readings
//   that scatter far more than each lies off the middle of its neighbours
//   are a slow motion taken for a rest (a scrub), and tell nothing of it.
// Its constants are in noise deviations, pixels of travel or milliseconds,
// so that a report rate changes no threshold, and the line's window spans
// a time (0.8 s of readings, never fewer than 32), so that a slow drag
// stands out of a rest's noise as soon at a high rate as at 40 reports a
// second. Whether the finger moves is told by the window and by its newest
// 31 readings (over 0.8 s a circle's or a scrub's line goes nowhere, and a
// finger setting off shows late), which also give a resting finger's course
// and a moving one's pace (a lower rate still gives a line fewer readings
// and a motion longer to be sure of). Off, every report passes as it is.
class CTouchSmoother {
public:
  // A touch-down waits this many of the controller's report intervals for
  // its next reading, within these bounds (ms): past every report interval
  // of a controller that reports while a finger rests (at 9 600 baud, about
  // 11.5 ms; at 40 reports a second, 25 ms), with the tick counter's coarse
  // steps and a USB adapter's latency on top, yet short enough that a press
  // after it is not felt late.
  static constexpr double kStartWaitIntervals = 3.0;
  static constexpr std::uint32_t kShortestStartWaitMs = 50;
  static constexpr std::uint32_t kLongestStartWaitMs = 80;

  // holdZone: the press-and-hold tolerance, which the rest margin never
  // exceeds; tick: when the report came (ms).
  SmoothedReports Filter(std::int32_t status, IntPoint point, std::int32_t level,
                         std::int32_t holdZone, std::uint32_t tick);
  // Milliseconds from tick until a touch-down waiting for its readings to
  // agree has waited long enough (0: it has); none while none waits.
  std::optional<std::uint32_t> StartWaitRemaining(std::uint32_t tick) const;
  // Once that wait has run out (a controller that reports only changes
  // sends a single reading for a finger that stays still): the touch-down
  // on what there is, as if the next reading had agreed; a reading after it
  // is a move. Nothing before.
  SmoothedReports Expire(std::int32_t level, std::int32_t holdZone, std::uint32_t tick);
  // The touch ended on our side: the next report starts afresh.
  void Reset() {
    m_phase = Phase::kIdle;
    m_suspect = false;
  }

private:
  // The ring that holds the line's readings: room for its window at 120
  // reports a second, past the 87 a 9 600-baud link carries.
  static constexpr std::size_t kWindow = 96;
  struct Strength {
    double noise;
    double spike;       // a reading this far off its course waits
    double breakAway;   // a reading this far off the line starts a new one
    double restMargin;  // how far the mean moves before the pointer does
  };
  struct Sample {
    double t = 0.0;
    double x = 0.0;
    double y = 0.0;
    bool read = true;  // a reading, not the course standing in for one
  };
  enum class Phase : std::uint8_t { kIdle, kStarting, kTracking };

  // A press after a wild first reading rests on this many of the readings
  // after it.
  static constexpr std::size_t kPressReadings = 5;
  // How many reports a touch must have to tell the controller's interval.
  static constexpr int kIntervalReports = 8;
  // A gap this many report intervals long or longer may have lost reports,
  // up to this many.
  static constexpr double kLostReportGap = 1.25;
  // The coarsest step of a tick counter (Windows' GetTickCount: 15.6 ms).
  static constexpr double kCoarsestTickMs = 16.0;
  static constexpr double kMostLostReports = 4.0;
  // ...or as many as this long a silence holds, where that is more: a run
  // of bad checksums at a high rate (longer, a lift is taken as lost).
  static constexpr double kLongestLostMs = 200.0;

  static Strength StrengthOf(std::int32_t level, std::int32_t holdZone);
  // Each report's tick; touchStarts: the first report of a touch.
  void NoteTime(bool touchStarts, std::uint32_t tick);
  double ReportsSinceNewest(std::uint32_t tick) const;
  int MovingReportsNeeded() const;
  // How many readings the line's window spans at the controller's interval.
  std::size_t WindowReadings() const;
  void Start(std::int32_t status, IntPoint point, const Strength& strength, SmoothedReports& out);
  void StartThird(IntPoint point, const Strength& strength, SmoothedReports& out);
  bool LandsMoving(IntPoint fourth) const;
  void BeginMoving(std::initializer_list<IntPoint> points, const Strength& strength,
                   SmoothedReports& out);
  // reports: the most report intervals that may have passed since the
  // newest report.
  void Track(IntPoint point, double reports, const Strength& strength, SmoothedReports& out);
  double LineTimeStep(IntPoint point, double reports, const Strength& strength);
  void FollowSuspect(IntPoint point, std::optional<IntPoint> pairStart, double x, double y,
                     double spike, const Strength& strength, SmoothedReports& out);
  bool Confirms(IntPoint point, double spike, double aheadSpike) const;
  bool SpeedsUpFrom(IntPoint point, IntPoint ahead, double spike, double aheadSpike) const;
  void WaitOnTheWay(IntPoint point, const Strength& strength, SmoothedReports& out);
  void Take(const Strength& strength, SmoothedReports& out);
  const Sample& NewestReading() const;
  bool StoodInLately() const;
  void EndTouch(SmoothedReports& out);
  // Begins the line with the given readings and emits the touch-down.
  void Begin(std::initializer_list<IntPoint> points, const Strength& strength,
             SmoothedReports& out);
  void Begin(std::span<const IntPoint> points, const Strength& strength, SmoothedReports& out);
  // The readings after a wild first one.
  std::span<const IntPoint> AfterSpike() const;
  void Restart();
  // A new line through from, reportsBefore reports before the one being
  // read.
  void RestartLine(IntPoint from, double reportsBefore = 1.0);
  void ResetRest();
  void SeedRest(const Strength& strength);
  void ForgetRest(const Strength& strength);
  enum class Knee : std::uint8_t { kSetOff, kStop };
  double KneeScatter(std::size_t split, Knee knee = Knee::kSetOff) const;
  void AddToRest(const Sample& sample);
  void Push(IntPoint point, bool read = true);
  void Pop();
  // The newest sample (a stand-in) as the reading it stood in for.
  void ReplaceNewest(IntPoint point, std::size_t back = 0);
  // A least-squares line through the newest count readings: the mean
  // reading at mean time t, and the slopes.
  struct Fit {
    double t = 0.0, x = 0.0, y = 0.0, slopeX = 0.0, slopeY = 0.0;
  };
  // The sums a least-squares line through readings needs; a reading is
  // added with weight 1 and taken out again with weight -1.
  struct LineSums {
    void Add(const Sample& sample, double weight);
    Fit Line(std::size_t count) const;
    double Scatter(double n, double sum, double squares, double mean, double slope) const;
    double t = 0.0, tt = 0.0, x = 0.0, y = 0.0, tx = 0.0, ty = 0.0, xx = 0.0, yy = 0.0;
  };
  Fit FitNewest(std::size_t count) const;
  // The line through the newest kRecentReadings readings, and how many.
  std::pair<Fit, std::size_t> FitRecent() const;
  double Sureness(const Strength& strength, const Fit& fit, std::size_t count) const;
  static double SlopeDeviation(const Strength& strength, std::size_t count);
  void TakeSuspectAlong(const Strength& strength, const Fit& all);
  // Where the line puts the finger at time t; how many readings it runs
  // through.
  std::size_t Predict(const Strength& strength, double t, double& x, double& y);
  void Estimate(const Strength& strength);
  // The moving pointer toward (x, y), within what the newest reading and
  // the finger's step (units a report) allow; slowing: the finger slows
  // down.
  void MovePointer(const Strength& strength, double x, double y, double fingerStep, bool slowing);
  IntPoint Output() const;
  // The distance, with each axis's offset counted against that axis's
  // noise; far: beyond limit.
  double NoiseDistance(IntPoint a, double x, double y) const;
  bool FarInNoise(IntPoint a, double x, double y, double limit) const;
  void NoteAxisNoise(const Strength& strength, const Fit& all);
  std::pair<double, double> NeighbourScatter() const;
  // About the line, and off the middle of each reading's neighbours.
  struct AxisScatter {
    double x = 0.0, y = 0.0;
    double bendX = 0.0, bendY = 0.0;
    bool swingsX = false, swingsY = false;
  };
  AxisScatter ScatterAboutTheLine(const Fit& all) const;
  bool Swings(const Strength& strength, const Fit& all) const;
  bool OnTheRest(IntPoint reading, const Strength& strength) const;

  Phase m_phase = Phase::kIdle;
  std::int32_t m_startStatus = 0;  // begins, or a move after a lost touch-down
  // The touch-down's readings while they wait to agree (after a wild
  // first one, the readings after it).
  std::array<IntPoint, 1 + kPressReadings> m_first{};
  std::size_t m_firstCount = 0;
  bool m_suspect = false;
  IntPoint m_suspectPoint;
  IntPoint m_suspectFrom;  // the reading before it
  // The first of two suspect readings off a settled rest that wait for a
  // third.
  std::optional<IntPoint> m_pairStart;
  // The line's readings, oldest first, and their running sums.
  std::array<Sample, kWindow> m_samples{};
  std::size_t m_head = 0;
  std::size_t m_count = 0;
  double m_t = 0.0;
  double m_reportsThisStep = 1.0;  // how far the newest report moved m_t
  LineSums m_sums;                 // of every reading held
  bool m_resting = true;
  bool m_swinging = false;  // the readings swing about their line (a scrub)
  // The readings since the finger came to rest.
  double m_restX = 0.0;
  double m_restY = 0.0;
  double m_restCount = 0.0;
  bool m_restSeeded = false;  // from a stop's readings, not the whole line
  int m_movingReports = 0;
  std::uint32_t m_firstTick = 0;
  std::uint32_t m_newestTick = 0;  // of the newest reading
  int m_reportsSince = 0;
  double m_intervalMs = 10.0;  // the controller's report interval, until a touch tells
  bool m_intervalKnown = false;
  double m_outX = 0.0;
  double m_outY = 0.0;
  bool m_onLine = false;  // the moving pointer has reached the line since the touch-down
  // Each axis's noise, as a multiple (at least 1) of the strength's, from
  // the scatter of this touch's resting readings.
  double m_axisNoiseX = 1.0;
  double m_axisNoiseY = 1.0;
  // The slope of the line the last prediction followed.
  double m_lineSlopeX = 0.0;
  double m_lineSlopeY = 0.0;
};

}  // namespace zt
