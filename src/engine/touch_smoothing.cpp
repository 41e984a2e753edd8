#include "engine/touch_smoothing.h"

#include <algorithm>
#include <cmath>
#include <tuple>
#include <utility>

#include "engine/controller_protocol.h"

namespace zt {
namespace {

// In noise deviations of the strength: a reading this far off its course
// is suspect (noise almost never reaches it; a lone wild reading, a flick's
// first step or a sharp turn does); this far off a line that it had
// followed, the finger changed course.
constexpr double kSpikeDeviations = 4.0;
constexpr double kBreakDeviations = 6.0;
// A reading taken onto a moving line counts no farther ahead of or beside
// its course than moves the line's newest point by this many noise
// deviations, nor nearer than this many of the course's own deviations:
// a reading several deviations off, which noise may have brought within
// the spike limit, moves the pointer little more than noise does. Behind
// the course it counts whole as far back as a finger that stopped since
// its newest reading reads, and beyond that no farther than that limit.
constexpr double kInfluenceDeviations = 0.75;
constexpr double kOffCourseDeviations = 1.5;
constexpr double kRestMarginDeviations = 0.5;
// A finger setting off briskly reads ahead of the course a rest and its
// first readings give by up to this many spike limits (at one, a drag at
// 300 px/s after a rest trailed by up to 29 ms at light smoothing, not 14).
constexpr double kSetOffLeadSpikes = 2.0;
// Two first readings this close (in noise deviations) agree on where the
// finger went down.
constexpr double kAgreeDeviations = 2.5;
// A moving touch-down must fit its line this many times better than a
// wild first reading and a rest.
constexpr double kLandingMovingOdds = 3.0;
// A point extrapolated from two readings strays this many times as far.
constexpr double kAheadUncertainty = 2.2;
// How sure the line's slope must be (in its own deviations) for the finger
// to be moving, and how unsure for it to rest again.
constexpr double kMovingSlope = 4.0;
constexpr double kRestingSlope = 2.0;
// How unsure the short line's slope must be for a moving finger to have
// stopped, and how many of the newest readings must lie together.
constexpr double kStoppedSlope = 1.0;
constexpr double kStoppedReadings = 3.0;
// How much slower than the whole line the short line must be (in its own
// slope deviations) for a moving finger to be slowing down: noise alone
// hardly ever makes it so.
constexpr double kSlowingSlope = 3.0;
// The slope must stay that sure for this long (ms), and for two reports at
// least, before the finger counts as moving.
constexpr double kSureForMs = 30.0;
// Readings that swing (a scrub) scatter about their line this many times
// the noise before the finger counts as moving: the motion's own spread is
// then at least 1.5 noise deviations, beyond the tremor of a finger resting
// on glass (a 2 px tremor at 10 Hz made a held pointer jitter 4 to 10 times
// a second, up to 4.7 px, at a threshold of the noise's own spread).
constexpr double kSwingDeviations = 1.8;
// The line's window (ms): as many readings as that spans at the
// controller's report interval, never fewer than at 40 reports a second,
// nor more than the ring holds. A short window tells a slow drag from a
// rest too late: at 32 readings, a 10 px/s drag at 100 reports a second
// stood still, then crept up to 10 px behind the finger.
constexpr double kWindowMs = 800.0;
constexpr std::size_t kShortestWindow = 32;
// Over that long a circle's or a scrub's line goes nowhere, and a finger
// setting off from a rest shows late (its readings lie off a rest's long
// line, and wait): whether the finger moves is also told, and its pace and
// a resting finger's course only, by the line through its newest this
// many readings (all that a window at 40 reports a second holds beside the
// reading being taken).
constexpr std::size_t kRecentReadings = kShortestWindow - 1;
// A window longer than that counts the finger as moving only this sure of
// its slope: consecutive windows share most of their readings, so a slope
// that noise made sure stays so for reports on end (at kMovingSlope, a
// resting pointer wandered past 2 px half as often again at 100 reports a
// second); a slow drag's slope passes it well within a window.
constexpr double kWindowMovingSlope = 6.0;
// How many readings of a rest tell the noise on each axis.
constexpr std::size_t kAxisNoiseReadings = 8;
// While the mean of so few readings still settles, the pointer follows it.
constexpr std::size_t kSettleReadings = 16;
// How long (ms) a resting finger's readings count in its mean.
constexpr double kRestMemoryMs = 1000.0;
// The longest step of a moving pointer, in noise deviations, unless the
// finger itself moves farther at a report.
constexpr double kLongestStepDeviations = 1.0;
// A moving pointer follows a line through the readings of the finger's
// last this many noise deviations of travel (never fewer than
// kShortestLine): long enough to still the noise, short enough that a
// curve or a stop bends it at once.
constexpr double kTravelDeviations = 4.0;
constexpr std::size_t kShortestLine = 6;
// A line through n readings puts the finger a report ahead with about
// 1 + this / n times the variance of one reading.
constexpr double kLineUncertainty = 3.0;
// A reading this many noise deviations off where the course puts the
// finger a report on may follow a lost report.
constexpr double kLostReportOff = 3.0;

// How many times less surely than a reading a line through lineCount
// readings places the finger ahead reports past its newest reading.
double Uncertainty(double ahead, double lineCount) {
  return std::sqrt(1.0 + kLineUncertainty * ahead * ahead / lineCount);
}

// The nearest point in absolute units.
IntPoint Rounded(double x, double y) {
  return {static_cast<std::int32_t>(std::lround(x)), static_cast<std::int32_t>(std::lround(y))};
}

bool Far(IntPoint a, double x, double y, double limit) {
  const double dx = a.x - x;
  const double dy = a.y - y;
  return dx * dx + dy * dy > limit * limit;
}

bool Far(IntPoint a, IntPoint b, double limit) {
  return Far(a, b.x, b.y, limit);
}

// The part of an offset (dx, dy) that lies along the way (slopeX, slopeY).
double Along(double dx, double dy, double slopeX, double slopeY) {
  const double speed = std::hypot(slopeX, slopeY);
  return speed > 0.0 ? (dx * slopeX + dy * slopeY) / speed : 0.0;
}

// The reading with the part of its offset from the course's point (x, y)
// that lies ahead of or beside the way (slopeX, slopeY) no longer than
// limit; the part behind, a finger slowing or stopping, is kept whole as
// far back as stopped (at least 0), and beyond that no farther than limit.
IntPoint NearCourse(IntPoint point, double x, double y, double slopeX, double slopeY, double limit,
                    double stopped) {
  const double speed = std::hypot(slopeX, slopeY);
  const double ux = speed > 0.0 ? slopeX / speed : 0.0;
  const double uy = speed > 0.0 ? slopeY / speed : 0.0;
  const double along = (point.x - x) * ux + (point.y - y) * uy;
  const double behind = std::min(0.0, along);
  const double offX = point.x - x - behind * ux;
  const double offY = point.y - y - behind * uy;
  const double off = std::hypot(offX, offY);
  const double kept = off <= limit ? 1.0 : limit / off;
  const double back = std::max(behind, -stopped - limit);
  return Rounded(x + back * ux + offX * kept, y + back * uy + offY * kept);
}

// The squared distances of readings from their mean.
double RestScatter(const std::array<IntPoint, 3>& readings) {
  double x = 0.0;
  double y = 0.0;
  for (const IntPoint& reading : readings) {
    x += reading.x / 3.0;
    y += reading.y / 3.0;
  }
  double scatter = 0.0;
  for (const IntPoint& reading : readings) {
    scatter += (reading.x - x) * (reading.x - x) + (reading.y - y) * (reading.y - y);
  }
  return scatter;
}

// The squared distances of four readings, one a report, from the
// least-squares line through them.
double LineScatter(const std::array<IntPoint, 4>& readings) {
  double scatter = 0.0;
  for (const auto along : {&IntPoint::x, &IntPoint::y}) {
    double mean = 0.0;
    double slope = 0.0;
    for (std::size_t i = 0; i < 4; ++i) {
      mean += readings[i].*along / 4.0;
      slope += (static_cast<double>(i) - 1.5) * readings[i].*along / 5.0;
    }
    for (std::size_t i = 0; i < 4; ++i) {
      const double off = readings[i].*along - mean - slope * (static_cast<double>(i) - 1.5);
      scatter += off * off;
    }
  }
  return scatter;
}

std::pair<double, double> Mean(std::span<const IntPoint> readings) {
  double x = 0.0;
  double y = 0.0;
  for (const IntPoint& reading : readings) {
    x += reading.x;
    y += reading.y;
  }
  const auto n = static_cast<double>(readings.size());
  return {x / n, y / n};
}

}  // namespace

SmoothedReports CTouchSmoother::Filter(std::int32_t status, IntPoint point, std::int32_t level,
                                       std::int32_t holdZone, std::uint32_t tick) {
  // The gap is measured against the interval before it: a long one folded
  // into the mean first would count fewer reports than it lost.
  const double reports = ReportsSinceNewest(tick);
  NoteTime(status == kTouchBegins || m_phase == Phase::kIdle, tick);
  m_newestTick = tick;
  SmoothedReports out;
  if (level <= kSmoothingOff || level > kSmoothingStrongest ||
      (status != kTouchBegins && status != kTouchContinues && status != kTouchEnds)) {
    m_phase = Phase::kIdle;
    out.Add(status, point);
    return out;
  }
  const Strength strength = StrengthOf(level, holdZone);
  if (status == kTouchEnds) {
    if (m_phase == Phase::kIdle) {
      out.Add(status, point);  // a lift without a touch: nothing to smooth
    }
    EndTouch(out);
  } else if (status == kTouchBegins || m_phase != Phase::kTracking) {
    Start(status, point, strength, out);
  } else {
    Track(point, reports, strength, out);
  }
  return out;
}

CTouchSmoother::Strength CTouchSmoother::StrengthOf(std::int32_t level, std::int32_t holdZone) {
  const double noise =
      kSmoothingNoise[static_cast<std::size_t>(std::clamp(level, 1, kSmoothingStrongest) - 1)];
  return {noise, kSpikeDeviations * noise, kBreakDeviations * noise,
          std::min(kRestMarginDeviations * noise, static_cast<double>(std::max(holdZone, 0)))};
}

std::optional<std::uint32_t> CTouchSmoother::StartWaitRemaining(std::uint32_t tick) const {
  if (m_phase != Phase::kStarting) {
    return std::nullopt;
  }
  const auto wait = static_cast<std::uint32_t>(
      std::clamp(kStartWaitIntervals * m_intervalMs, static_cast<double>(kShortestStartWaitMs),
                 static_cast<double>(kLongestStartWaitMs)));
  // The tick counter wraps every 2^32 ms: the difference is taken across it.
  const std::uint32_t since = tick - m_newestTick;
  return since >= wait ? 0 : wait - since;
}

// The silence says the finger stays where the newest reading put it: on a
// lone reading, or on the readings after a wild first one (with a single
// reading after it, that one).
SmoothedReports CTouchSmoother::Expire(std::int32_t level, std::int32_t holdZone,
                                       std::uint32_t tick) {
  SmoothedReports out;
  if (StartWaitRemaining(tick) != 0U) {
    return out;
  }
  const Strength strength = StrengthOf(level, holdZone);
  switch (m_firstCount) {
    case 1:
      Begin({m_first[0]}, strength, out);
      break;
    case 2:
      Begin({m_first[1]}, strength, out);
      break;
    case 3:
      Begin({m_first[1], m_first[2]}, strength, out);
      break;
    default:
      Begin(AfterSpike(), strength, out);
      break;
  }
  return out;
}

// The report interval over a touch, from its first report to its last: the
// tick counter's coarse steps (15.6 ms on Windows) and reports read in one
// burst even out over many reports.
void CTouchSmoother::NoteTime(bool touchStarts, std::uint32_t tick) {
  if (touchStarts) {
    m_firstTick = tick;
    m_reportsSince = 0;
    return;
  }
  ++m_reportsSince;
  if (m_reportsSince >= kIntervalReports) {
    m_intervalMs = std::max(1.0, static_cast<double>(tick - m_firstTick) / m_reportsSince);
    m_intervalKnown = true;
  }
}

// How many report intervals may have passed since the newest report, as
// after a few reports lost (a bad checksum): more than one only where the
// gap is a quarter of an interval longer than the mean or more (a tick
// counter that steps by 15.6 ms has reports 10 ms apart arrive 0 or 15.6 ms
// apart, and a report lost between them 15.6 or 31.2 ms after the one
// before), and only where the tick's step could hide two intervals in it
// (at 40 reports a second such a counter reads 31.2 ms for one interval,
// and a lost report 46.9 or more). A longer silence is a controller that
// paused (one that reports only changes).
double CTouchSmoother::ReportsSinceNewest(std::uint32_t tick) const {
  if (!m_intervalKnown) {
    return 1.0;
  }
  const double gap = static_cast<double>(tick - m_newestTick) / m_intervalMs;
  const double shortest = std::max(kLostReportGap, 2.0 - kCoarsestTickMs / m_intervalMs);
  const double most = std::max(kMostLostReports, std::floor(kLongestLostMs / m_intervalMs));
  const double reports = std::max(2.0, std::round(gap));
  return gap >= shortest && reports <= 1.0 + most ? reports : 1.0;
}

int CTouchSmoother::MovingReportsNeeded() const {
  return std::max(2, static_cast<int>(std::ceil(kSureForMs / std::max(m_intervalMs, 1.0) - 0.01)));
}

std::size_t CTouchSmoother::WindowReadings() const {
  const auto readings =
      static_cast<std::size_t>(std::lround(kWindowMs / std::max(m_intervalMs, 1.0)));
  return std::clamp(readings, kShortestWindow, kWindow);
}

// The touch-down's readings wait until they agree: two close together
// begin the touch on their mean; a first one far from the second waits for
// a third, which tells what explains it: near the second, the first was a
// spike; on the line the first two began, a finger already moving (where
// both fit, a fourth tells); near the first, the second was a spike; near
// neither, it may be the spike itself.
void CTouchSmoother::Start(std::int32_t status, IntPoint point, const Strength& strength,
                           SmoothedReports& out) {
  if (status == kTouchBegins) {
    m_phase = Phase::kStarting;
    m_startStatus = status;
    m_first[0] = point;
    m_firstCount = 1;
    return;
  }
  if (m_phase == Phase::kIdle) {
    // A move whose touch-down was lost starts a touch where it is.
    m_startStatus = status;
    Begin({point}, strength, out);
    return;
  }
  const IntPoint first = m_first[0];
  if (m_firstCount == 1) {
    if (Far(point, first, kAgreeDeviations * strength.noise)) {
      m_first[1] = point;
      m_firstCount = 2;
    } else {
      Begin({first, point}, strength, out);
    }
    return;
  }
  if (m_firstCount == 2) {
    StartThird(point, strength, out);
    return;
  }
  if (m_firstCount == 3 && LandsMoving(point)) {
    BeginMoving({first, m_first[1], m_first[2], point}, strength, out);
    return;
  }
  // The rest after a spike: the press is on five readings (their mean
  // keeps a noisier axis's noise whole on that axis: four left one press
  // in fifty farther off than the noise where a panel reads one axis
  // three times noisier, three a few in a hundred on any panel). A reading
  // far from those gathered so far is pressed on none of them: the press
  // goes on them, and the reading waits on the line like any other.
  const auto [meanX, meanY] = Mean(AfterSpike());
  if (Far(point, meanX, meanY, strength.spike)) {
    Begin(AfterSpike(), strength, out);
    Track(point, 1.0, strength, out);
    return;
  }
  m_first[m_firstCount++] = point;
  if (m_firstCount == m_first.size()) {
    Begin(AfterSpike(), strength, out);
  }
}

// A line through the first four readings, or a rest on the last three (the
// same degrees of freedom): the line only where it leaves the readings far
// less scattered, since a finger rarely lands moving fast.
bool CTouchSmoother::LandsMoving(IntPoint fourth) const {
  const std::array<IntPoint, 4> four{m_first[0], m_first[1], m_first[2], fourth};
  return kLandingMovingOdds * LineScatter(four) < RestScatter({m_first[1], m_first[2], fourth});
}

// The third of the touch-down's readings.
void CTouchSmoother::StartThird(IntPoint point, const Strength& strength, SmoothedReports& out) {
  const IntPoint first = m_first[0];
  const IntPoint second = m_first[1];
  const auto distance = [&](IntPoint other) {
    return std::hypot(point.x - other.x, point.y - other.y);
  };
  const IntPoint ahead{2 * second.x - first.x, 2 * second.y - first.y};
  const bool nearSecond = distance(second) <= strength.spike;
  const bool onLine = distance(ahead) <= kAheadUncertainty * strength.spike;
  if (nearSecond) {
    // The first was a spike, or the finger landed moving: a fourth reading
    // tells, and a press after a spike rests on three readings.
    m_first[2] = point;
    m_firstCount = 3;
  } else if (onLine) {
    BeginMoving({first, second, point}, strength, out);
  } else if (distance(first) <= strength.spike) {
    Begin({first, point}, strength, out);  // the second was
  } else if (m_reportsSince == 2) {
    // The touch's first three readings agree on nothing: one at least is
    // wild, this one as likely as any. The wait begins again on it, as on
    // a touch-down's first reading; readings that still agree on nothing
    // after that are pressed on the newest.
    m_first[0] = point;
    m_firstCount = 1;
  } else {
    Begin({point}, strength, out);
  }
}

// A finger already moving at its touch-down: pressed where it went down,
// moved along the line of its first readings from there.
void CTouchSmoother::BeginMoving(std::initializer_list<IntPoint> points, const Strength& strength,
                                 SmoothedReports& out) {
  Begin({*points.begin()}, strength, out);
  for (auto point = points.begin() + 1; point != points.end(); ++point) {
    m_t += 1.0;
    Push(*point);
  }
  m_resting = false;
  m_movingReports = MovingReportsNeeded();
  Estimate(strength);
  out.Add(kTouchContinues, Output());
}

std::span<const IntPoint> CTouchSmoother::AfterSpike() const {
  return {m_first.data() + 1, m_firstCount - 1};
}

// The touch begins where its first good readings put the finger (also
// when it is already moving).
void CTouchSmoother::Begin(std::initializer_list<IntPoint> points, const Strength& strength,
                           SmoothedReports& out) {
  Begin(std::span<const IntPoint>(points.begin(), points.size()), strength, out);
}

void CTouchSmoother::Begin(std::span<const IntPoint> points, const Strength& strength,
                           SmoothedReports& out) {
  Restart();
  m_axisNoiseX = m_axisNoiseY = 1.0;  // each touch learns its own
  m_resting = true;
  m_onLine = false;
  m_phase = Phase::kTracking;
  for (const IntPoint& point : points) {
    if (m_count > 0) {
      m_t += 1.0;
    }
    Push(point);
  }
  Estimate(strength);
  out.Add(m_startStatus, Output());
}

void CTouchSmoother::Track(IntPoint point, double reports, const Strength& strength,
                           SmoothedReports& out) {
  m_reportsThisStep = LineTimeStep(point, reports, strength);
  m_t += m_reportsThisStep;
  double x = 0.0;
  double y = 0.0;
  // A line through few readings places the finger less surely, and the
  // less the farther past its newest reading (after a reading waited).
  const auto lineCount = static_cast<double>(Predict(strength, m_t, x, y));
  const Sample& newest = NewestReading();
  const double ahead = m_t - newest.t;
  const double uncertainty = Uncertainty(ahead, lineCount);
  // How much the newest of n readings moves the line's newest point.
  const double leverage = (4.0 * lineCount - 2.0) / (lineCount * (lineCount + 1.0));
  const double spike = strength.spike * uncertainty;
  if (m_suspect) {
    m_suspect = false;
    const std::optional<IntPoint> pairStart = std::exchange(m_pairStart, std::nullopt);
    // After a pair, a third reading off the rest that agrees with the pair
    // says the finger went there (the wider limit of a course drawn on past
    // two stand-ins would drop a finger setting off slowly); one that does
    // not, wild in its turn, would otherwise be taken whole.
    const bool confirmed =
        (pairStart ? !OnTheRest(point, strength) : FarInNoise(point, x, y, spike)) &&
        Confirms(point, spike, kAheadUncertainty * spike);
    if (confirmed) {
      FollowSuspect(point, pairStart, x, y, spike, strength, out);
      return;
    }
    // The suspect was a lone wild reading (or a pair); this one is judged
    // on its own.
  }
  // A reading that waits stands in no farther behind the course than the
  // newest reading lies: a wild reading may lie anywhere, also far behind.
  const double newestBehind =
      std::min(0.0, Along(newest.x - x, newest.y - y, m_lineSlopeX, m_lineSlopeY));
  // Far from the course and from the newest reading alike (a finger that
  // stops short is no spike), or as far from the course as a new one would
  // be where no stop explains it: at rest (a wild reading next to a noisy
  // one), or behind the newest reading along the way (a finger that stops
  // reads where it stopped, not back along its way). It waits a report;
  // meanwhile the course's own point stands in for it, so the line and the
  // pointer go on as if the reading had been a good one.
  const bool backAlongTheWay = Along(point.x - newest.x, point.y - newest.y, m_lineSlopeX,
                                     m_lineSlopeY) < -kAgreeDeviations * strength.noise;
  if (FarInNoise(point, x, y, spike) && (FarInNoise(point, newest.x, newest.y, spike) ||
                                         (m_count >= 3 && (m_resting || backAlongTheWay) &&
                                          FarInNoise(point, x, y, strength.breakAway)))) {
    m_suspect = true;
    m_suspectPoint = point;
    m_suspectFrom = Rounded(newest.x, newest.y);
    Push(NearCourse(point, x, y, m_lineSlopeX, m_lineSlopeY, 0.0, -newestBehind), false);
    Take(strength, out);
    return;
  }
  // A settled rest places the finger well within the noise: a reading as
  // far off it as a wild one, while the newest reading still lies on it
  // (nothing says the finger set off), is dropped. Taken at the end of the
  // rest's long line, it would tilt the line as much as a start does, and
  // the finger would count as moving. The newest reading is held against
  // the rest's mean, not the course: readings of a finger setting off tilt
  // the course toward them, and their successors would all be dropped.
  if (m_resting && m_restCount >= kSettleReadings && FarInNoise(point, x, y, spike) &&
      OnTheRest(Rounded(newest.x, newest.y), strength)) {
    return;
  }
  if (m_count >= 3 && FarInNoise(point, x, y, strength.breakAway)) {
    // A new course: a line through the newest reading and this one, as
    // many reports apart as they came (a reading that waited between them
    // and was dropped leaves two).
    RestartLine({static_cast<std::int32_t>(newest.x), static_cast<std::int32_t>(newest.y)}, ahead);
    // One sure report is enough to follow the new course; a finger that
    // stopped rests on its first readings.
    m_movingReports = MovingReportsNeeded() - 1;
  } else if (!m_resting && m_count >= 3) {
    // A reading off the course moves the line's newest point no more than
    // a fraction of the noise, and counts at least as far off as the
    // course's own uncertainty. Behind it, it counts whole as far back as
    // the course put the finger at the newest reading (a finger that stops
    // is followed at once, and reads where it stopped, which is no farther
    // back than where it was then); beyond that a reading behind a moving
    // finger is as doubtful as one beside it, and counts as little.
    const double limit = std::max(kInfluenceDeviations * strength.noise / leverage,
                                  kOffCourseDeviations * strength.noise * uncertainty);
    const double sinceNewest = ahead * std::hypot(m_lineSlopeX, m_lineSlopeY);
    point = NearCourse(point, x, y, m_lineSlopeX, m_lineSlopeY, limit, sinceNewest);
  }
  Push(point);
  Take(strength, out);
}

// The reports the tick says may have passed since the newest reading
// count in the line's time only where the reading says so too: it lies
// well off where the course puts the finger a report on (kLostReportOff),
// that course and the one after them lie farther apart than two readings
// that agree, and it lies nearer the latter, within its spike limit (the
// nearest such count). A tick counter's coarse steps (15.6 ms on Windows)
// and reports read in bursts make gaps look a report longer than they were
// (and a lost report's gap no longer than a report's), and a noisy reading
// of a slow drag always lies nearer one course or the other: counted, it
// doubled the pointer's step there. The reading after a lost one of a fast
// drag is no wild one, nor taken as one a report on.
double CTouchSmoother::LineTimeStep(IntPoint point, double reports, const Strength& strength) {
  if (reports <= 1.0 || m_count == 0) {
    return 1.0;
  }
  const double newestT = NewestReading().t;
  const auto courseAt = [&](double step) {
    double x = 0.0;
    double y = 0.0;
    const auto lineCount = static_cast<double>(Predict(strength, m_t + step, x, y));
    return std::tuple{x, y, strength.noise * Uncertainty(m_t + step - newestT, lineCount)};
  };
  const auto [nextX, nextY, nextNoise] = courseAt(1.0);
  const double nextOff = NoiseDistance(point, nextX, nextY) / nextNoise;
  if (nextOff <= kLostReportOff) {
    return 1.0;
  }
  double counted = 1.0;
  double nearest = std::min(nextOff, kSpikeDeviations);  // in noise deviations
  for (double step = 2.0; step <= reports; step += 1.0) {
    const auto [x, y, noise] = courseAt(step);
    const double off = NoiseDistance(point, x, y) / noise;
    const double apart = std::hypot((x - nextX) / m_axisNoiseX, (y - nextY) / m_axisNoiseY);
    if (apart > kAgreeDeviations * nextNoise && off < nearest) {
      nearest = off;
      counted = step;
    }
  }
  return counted;
}

// The next reading agreed with the waiting one: the finger went there
// (x, y: the course's point now).
void CTouchSmoother::FollowSuspect(IntPoint point, std::optional<IntPoint> pairStart, double x,
                                   double y, double spike, const Strength& strength,
                                   SmoothedReports& out) {
  // Off a rest that has settled, a reading no farther on from the rest
  // than the suspect one is a finger that jumped and stopped dead,
  // which is rare, or the second of two wild readings (the pressure
  // faltering): a third tells, and the rest's point stands in for both
  // meanwhile, so that a held touch stays held. A finger setting off
  // reads farther on at each report, and is followed at once.
  const double farther = Along(point.x - m_suspectPoint.x, point.y - m_suspectPoint.y,
                               m_suspectPoint.x - x, m_suspectPoint.y - y);
  if (!pairStart && m_resting && m_restCount >= kSettleReadings &&
      farther <= kAgreeDeviations * strength.noise && OnTheRest(m_suspectFrom, strength)) {
    m_pairStart = m_suspectPoint;
    m_suspectFrom = m_suspectPoint;
    m_suspectPoint = point;
    m_suspect = true;
    Push(Rounded(x, y), false);
    Take(strength, out);
    return;
  }
  if (m_resting) {
    // Off a rest, the finger setting off: the suspect reading (and the
    // first of a pair) takes its stand-in's place, and the line keeps
    // the rest's readings, which tell where the way began, until the
    // finger counts as moving.
    ReplaceNewest(m_suspectPoint);
    if (pairStart) {
      ReplaceNewest(*pairStart, 1);
    }
    // Taken whole, this reading alone sets the slope of the short line
    // kept once the finger sets off: it must lie within the noise of
    // where the suspect's step carries on, not only on its way.
    if (!pairStart && !Confirms(point, spike, spike)) {
      WaitOnTheWay(point, strength, out);
      return;
    }
    Push(point);
    m_movingReports = MovingReportsNeeded();
    Take(strength, out);
    return;
  }
  // The finger is where the suspect reading was (the first of a pair):
  // a new line from there.
  RestartLine(pairStart.value_or(m_suspectPoint));
  if (pairStart) {
    Push(m_suspectPoint);  // the pair's second, a report later
    m_t += 1.0;
  }
  Push(point);
  m_resting = false;
  m_movingReports = MovingReportsNeeded();
  Take(strength, out);
}

// A suspect reading is the finger's only where the next one, off the
// course too, agrees with it: near it, or on the way from the reading
// before it through it, within aheadSpike of where that step carries on
// (wider for a flick speeding up). A moving finger's way goes on past the
// suspect reading: a next reading behind it, which that wide limit still
// reaches, is no flick (a noisy reading and a wild one after it were taken
// for one, and the pointer jumped up to 16 px toward the wild one). Off a
// rest the suspect's step is mostly the noise of a finger setting off, and
// is no way to hold the next reading to. A next reading off all of them
// says nothing for it.
bool CTouchSmoother::Confirms(IntPoint point, double spike, double aheadSpike) const {
  const IntPoint ahead{2 * m_suspectPoint.x - m_suspectFrom.x,
                       2 * m_suspectPoint.y - m_suspectFrom.y};
  const bool onward = m_resting || Along(point.x - m_suspectPoint.x, point.y - m_suspectPoint.y,
                                         m_suspectPoint.x - m_suspectFrom.x,
                                         m_suspectPoint.y - m_suspectFrom.y) > 0.0;
  return !FarInNoise(point, m_suspectPoint.x, m_suspectPoint.y, spike) ||
         (onward && (m_resting ? !FarInNoise(point, ahead.x, ahead.y, aheadSpike)
                               : SpeedsUpFrom(point, ahead, spike, aheadSpike)));
}

// Whether a reading lies where a flick speeding up puts it: on past where
// the suspect's step carries on (ahead) by up to aheadSpike, and beside or
// short of that point no farther than the noise allows (spike). A noisy
// suspect reading off to the side of a moving finger has a step that
// points anywhere, and a round wide limit about where it carries on took a
// wild reading after it for a flick (41 px at level 3). Off a rest the
// step's direction is the set-off's noise, and the limit stays round.
bool CTouchSmoother::SpeedsUpFrom(IntPoint point, IntPoint ahead, double spike,
                                  double aheadSpike) const {
  const double offX = (point.x - ahead.x) / m_axisNoiseX;
  const double offY = (point.y - ahead.y) / m_axisNoiseY;
  const double along = Along(offX, offY, (m_suspectPoint.x - m_suspectFrom.x) / m_axisNoiseX,
                             (m_suspectPoint.y - m_suspectFrom.y) / m_axisNoiseY);
  if (along <= 0.0) {
    return !FarInNoise(point, ahead.x, ahead.y, spike);
  }
  const double off = NoiseDistance(point, ahead.x, ahead.y);
  const double beside = std::sqrt(std::max(0.0, off * off - along * along));
  return std::hypot(along / aheadSpike, beside / spike) <= 1.0;
}

// The suspect reading is the finger's, but the one after it lies farther
// off where its step carries on than the noise: it waits in its turn, and
// the suspect one stands in for it (a stand-in carried on along that step
// has two readings' noise, and on a noisy axis led the pointer aside).
void CTouchSmoother::WaitOnTheWay(IntPoint point, const Strength& strength, SmoothedReports& out) {
  Push(m_suspectPoint, false);
  m_movingReports = MovingReportsNeeded();
  Take(strength, out);
  m_suspectFrom = m_suspectPoint;
  m_suspectPoint = point;
  m_suspect = true;
}

// The line with its newest reading: the pointer where it now puts the
// finger.
void CTouchSmoother::Take(const Strength& strength, SmoothedReports& out) {
  // The interval the touch's first reports tell may shorten the window.
  while (m_count > WindowReadings() - 1) {
    Pop();
  }
  const IntPoint before = Output();
  Estimate(strength);
  if (Output() != before) {
    out.Add(kTouchContinues, Output());
  }
}

// A stop is told by readings: where the course stood in for one of the
// newest, a noisy stretch next to it could pass for one.
bool CTouchSmoother::StoodInLately() const {
  const auto newest = std::min(m_count, static_cast<std::size_t>(kStoppedReadings) + 1);
  for (std::size_t back = 1; back <= newest; ++back) {
    if (!m_samples[(m_head + m_count - back) % kWindow].read) {
      return true;
    }
  }
  return false;
}

// The newest reading the finger gave, past the course's stand-ins for
// readings that waited.
const CTouchSmoother::Sample& CTouchSmoother::NewestReading() const {
  for (std::size_t back = 1; back <= m_count; ++back) {
    const Sample& sample = m_samples[(m_head + m_count - back) % kWindow];
    if (sample.read) {
      return sample;
    }
  }
  return m_samples[(m_head + m_count - 1) % kWindow];
}

// The lift goes where the pointer is. A touch still waiting for its
// readings to agree begins where Expire would have begun it, whenever the
// lift comes: on its one reading, or on the readings after a wild first one.
void CTouchSmoother::EndTouch(SmoothedReports& out) {
  if (m_phase == Phase::kStarting) {
    const std::size_t from = m_firstCount > 1 ? 1 : 0;
    const auto count = static_cast<double>(m_firstCount - from);
    m_outX = m_outY = 0.0;
    for (std::size_t i = from; i < m_firstCount; ++i) {
      m_outX += m_first[i].x / count;
      m_outY += m_first[i].y / count;
    }
    out.Add(m_startStatus, Output());
  }
  if (m_phase != Phase::kIdle) {
    out.Add(kTouchEnds, Output());
  }
  m_phase = Phase::kIdle;
  m_suspect = false;
}

void CTouchSmoother::ResetRest() {
  m_restX = m_restY = 0.0;
  m_restCount = 0;
  m_restSeeded = false;
}

void CTouchSmoother::RestartLine(IntPoint from, double reportsBefore) {
  Restart();
  m_t = -reportsBefore;
  Push(from);
  m_t = 0.0;
}

void CTouchSmoother::Restart() {
  ResetRest();
  m_head = 0;
  m_count = 0;
  m_t = 0.0;
  m_reportsThisStep = 1.0;
  m_sums = LineSums{};
  m_movingReports = 0;
  m_swinging = false;
  m_suspect = false;
  m_pairStart.reset();
}

void CTouchSmoother::Push(IntPoint point, bool read) {
  const Sample sample{m_t, static_cast<double>(point.x), static_cast<double>(point.y), read};
  m_samples[(m_head + m_count) % kWindow] = sample;
  ++m_count;
  m_sums.Add(sample, 1.0);
}

void CTouchSmoother::ReplaceNewest(IntPoint point, std::size_t back) {
  Sample& sample = m_samples[(m_head + m_count - 1 - back) % kWindow];
  m_sums.Add(sample, -1.0);
  sample = {sample.t, static_cast<double>(point.x), static_cast<double>(point.y), true};
  m_sums.Add(sample, 1.0);
}

void CTouchSmoother::Pop() {
  const Sample& sample = m_samples[m_head];
  m_head = (m_head + 1) % kWindow;
  --m_count;
  m_sums.Add(sample, -1.0);
}

void CTouchSmoother::LineSums::Add(const Sample& sample, double weight) {
  t += weight * sample.t;
  tt += weight * sample.t * sample.t;
  x += weight * sample.x;
  y += weight * sample.y;
  xx += weight * sample.x * sample.x;
  yy += weight * sample.y * sample.y;
  tx += weight * sample.t * sample.x;
  ty += weight * sample.t * sample.y;
}

CTouchSmoother::Fit CTouchSmoother::LineSums::Line(std::size_t count) const {
  Fit fit;
  const auto n = static_cast<double>(count);
  const double spread = n * tt - t * t;
  fit.t = t / n;
  fit.x = x / n;
  fit.y = y / n;
  if (count >= 2 && spread > 0.0) {
    fit.slopeX = (n * tx - t * x) / spread;
    fit.slopeY = (n * ty - t * y) / spread;
  }
  return fit;
}

// The deviation of n readings about their line on one axis: their squares
// about the mean, less what the slope explains.
double CTouchSmoother::LineSums::Scatter(double n, double sum, double squares, double mean,
                                         double slope) const {
  if (n < 3.0) {
    return 0.0;
  }
  const double spread = tt - t * t / n;
  return std::sqrt(std::max(0.0, (squares - sum * mean - slope * slope * spread) / (n - 2.0)));
}

double CTouchSmoother::NoiseDistance(IntPoint a, double x, double y) const {
  return std::hypot((a.x - x) / m_axisNoiseX, (a.y - y) / m_axisNoiseY);
}

bool CTouchSmoother::FarInNoise(IntPoint a, double x, double y, double limit) const {
  return NoiseDistance(a, x, y) > limit;
}

// A resting finger's readings scatter about their line as the panel's
// noise on each axis; where an axis is noisier than the strength is meant
// for, its distances count for less. The scatter of few readings strays,
// so it counts only as far as it surely goes. A slow scrub read as a rest
// scatters far more than its noise, yet each of its readings lies near the
// middle of its neighbours (noise is new at every report, a finger's
// motion is not): where the scatter exceeds what the neighbours show by
// more than twice its stray, the readings tell nothing of that axis's
// noise, and what the touch learnt before stands.
void CTouchSmoother::NoteAxisNoise(const Strength& strength, const Fit& all) {
  if (m_count < kAxisNoiseReadings) {
    return;
  }
  const auto n = static_cast<double>(m_count);
  const double sure = strength.noise * (1.0 + 1.0 / std::sqrt(2.0 * (n - 2.0)));
  const AxisScatter scatter = ScatterAboutTheLine(all);
  if (!scatter.swingsX) {
    m_axisNoiseX = std::max(1.0, scatter.x / sure);
  }
  if (!scatter.swingsY) {
    m_axisNoiseY = std::max(1.0, scatter.y / sure);
  }
}

// A reading that lies on the rest's mean: nothing in it says the finger
// set off.
bool CTouchSmoother::OnTheRest(IntPoint reading, const Strength& strength) const {
  return m_restCount > 0.0 && !FarInNoise(reading, m_restX / m_restCount, m_restY / m_restCount,
                                          kAgreeDeviations * strength.noise);
}

// The readings' scatter about their line on each axis, and whether it is
// far more than each lies off the middle of its neighbours: noise is new at
// every report, a finger's motion is not, so such readings swing with a
// motion (a slow scrub) rather than scatter about a rest.
CTouchSmoother::AxisScatter CTouchSmoother::ScatterAboutTheLine(const Fit& all) const {
  const auto n = static_cast<double>(m_count);
  const double stray = 1.0 / std::sqrt(2.0 * (n - 2.0));
  AxisScatter scatter;
  std::tie(scatter.bendX, scatter.bendY) = NeighbourScatter();
  scatter.x = m_sums.Scatter(n, m_sums.x, m_sums.xx, all.x, all.slopeX);
  scatter.y = m_sums.Scatter(n, m_sums.y, m_sums.yy, all.y, all.slopeY);
  scatter.swingsX = scatter.x > scatter.bendX * (1.0 + 2.0 * stray);
  scatter.swingsY = scatter.y > scatter.bendY * (1.0 + 2.0 * stray);
  return scatter;
}

// A finger that scrubs back and forth in a small space moves the line
// through the window little, so its slope says the finger rests: its
// readings swing about that line by more than the noise (by kSwingDeviations:
// more than a resting finger's tremor), each near the middle of its
// neighbours. A
// finger setting off from a rest or coming to a stop swings about one line
// too, but a rest and a steady way (a knee) explain its readings as well
// as the noise allows; a scrub's turns no knee explains. Both sides of
// that comparison are estimates that stray, hence twice the margin.
bool CTouchSmoother::Swings(const Strength& strength, const Fit& all) const {
  if (m_count < kSettleReadings) {
    return false;
  }
  const AxisScatter scatter = ScatterAboutTheLine(all);
  const double bendX = scatter.bendX;
  const double bendY = scatter.bendY;
  const bool swingsX =
      scatter.swingsX &&
      scatter.x > kSwingDeviations * std::max(strength.noise * m_axisNoiseX, bendX);
  const bool swingsY =
      scatter.swingsY &&
      scatter.y > kSwingDeviations * std::max(strength.noise * m_axisNoiseY, bendY);
  if (!swingsX && !swingsY) {
    return false;
  }
  double knee = KneeScatter(0);
  for (std::size_t split = 1; split + 3 <= m_count; ++split) {
    knee = std::min({knee, KneeScatter(split), KneeScatter(split, Knee::kStop)});
  }
  const auto n = static_cast<double>(m_count);
  const double stray = 1.0 / std::sqrt(2.0 * (n - 3.0));
  const double noise = std::pow(bendX / m_axisNoiseX, 2.0) + std::pow(bendY / m_axisNoiseY, 2.0);
  return knee / (n - 3.0) > noise * (1.0 + 4.0 * stray);
}

// The deviation of the readings on each axis, told from how far each lies
// off the middle of the readings either side of it: for noise alone, 1.5
// times its variance; a motion at a steady speed adds nothing, and one
// that slowly turns little.
std::pair<double, double> CTouchSmoother::NeighbourScatter() const {
  double x = 0.0;
  double y = 0.0;
  for (std::size_t i = 1; i + 1 < m_count; ++i) {
    const Sample& before = m_samples[(m_head + i - 1) % kWindow];
    const Sample& sample = m_samples[(m_head + i) % kWindow];
    const Sample& after = m_samples[(m_head + i + 1) % kWindow];
    const double offX = sample.x - (before.x + after.x) / 2.0;
    const double offY = sample.y - (before.y + after.y) / 2.0;
    x += offX * offX;
    y += offY * offY;
  }
  const double count = 1.5 * static_cast<double>(m_count - 2);
  return {std::sqrt(x / count), std::sqrt(y / count)};
}

CTouchSmoother::Fit CTouchSmoother::FitNewest(std::size_t count) const {
  LineSums sums;
  for (std::size_t i = m_count - count; i < m_count; ++i) {
    sums.Add(m_samples[(m_head + i) % kWindow], 1.0);
  }
  return sums.Line(count);
}

std::pair<CTouchSmoother::Fit, std::size_t> CTouchSmoother::FitRecent() const {
  const std::size_t count = std::min(m_count, kRecentReadings);
  return {count == m_count ? m_sums.Line(m_count) : FitNewest(count), count};
}

// Resting: the line through the recent readings. Moving: the line through
// the newest readings that span kTravelDeviations of the finger's travel.
std::size_t CTouchSmoother::Predict(const Strength& strength, double t, double& x, double& y) {
  std::size_t count = std::min(m_count, kRecentReadings);
  if (!m_resting) {
    // A scrub's line through its recent readings goes nowhere: its pace
    // is the shortest line's. Other lines go as fast as the recent line or
    // the window's, whichever is faster: a curve's line through the window
    // goes nowhere, and so does a stopped finger's recent line; a line
    // through the whole window would shrink the curve, or pass the stop
    // (a 20 px/s drag's by 2.5 px for a third of a second), its way and
    // rest on one line.
    const auto speedOf = [](const Fit& fit) { return std::hypot(fit.slopeX, fit.slopeY); };
    const double speed = m_swinging
                             ? speedOf(FitNewest(std::min(kShortestLine, m_count)))
                             : std::max(speedOf(FitRecent().first), speedOf(m_sums.Line(m_count)));
    const double wanted = speed > 0.0 ? std::ceil(kTravelDeviations * strength.noise / speed) + 1.0
                                      : static_cast<double>(m_count);
    count = std::clamp(static_cast<std::size_t>(std::min(wanted, 1e6)),
                       std::min(kShortestLine, m_count), m_count);
  }
  const Fit fit = FitNewest(count);
  x = fit.x + fit.slopeX * (t - fit.t);
  y = fit.y + fit.slopeY * (t - fit.t);
  m_lineSlopeX = fit.slopeX;
  m_lineSlopeY = fit.slopeY;
  return count;
}

// Moving: the newest point of the line through the finger's last few
// pixels of travel, never farther along the way than the newest reading
// (less a noise deviation, or half the finger's step), reached in steps no
// longer than the finger's own (half as long again) or a noise deviation,
// so that the jitter of a short line never jerks the pointer. Until the
// pointer first reaches the line after the touch-down, the finger's step
// is the one the line is sure of (its speed less a deviation of its
// slope): the pointer sets off from the touch-down's mean behind the
// finger, while the slope of the touch's first few readings still strays
// most, and a slope overrated by their noise made it jump onto the line.
// Resting: the mean of the readings of the rest's last second (the longer
// the finger rests, up to that, the surer the point), held still within the
// rest margin once it has settled.
void CTouchSmoother::Estimate(const Strength& strength) {
  const Fit all = m_sums.Line(m_count);
  const auto [recent, recentCount] = FitRecent();
  const double speed = std::hypot(recent.slopeX, recent.slopeY);
  const double slopeDeviation = m_count >= 3 ? SlopeDeviation(strength, recentCount) : 0.0;
  if (m_count >= 3) {
    // The window's slope counts against kWindowMovingSlope, the recent
    // line's against kMovingSlope.
    const double windowSureness =
        recentCount < m_count ? Sureness(strength, all, m_count) * kMovingSlope / kWindowMovingSlope
                              : 0.0;
    const double slopeSureness = std::max(windowSureness, Sureness(strength, recent, recentCount));
    m_swinging = slopeSureness < kMovingSlope && Swings(strength, all);
    const double sureness = m_swinging ? kMovingSlope : slopeSureness;
    m_movingReports = sureness >= kMovingSlope   ? m_movingReports + 1
                      : sureness < kRestingSlope ? 0
                                                 : m_movingReports;
    const bool setOff =
        m_resting && m_movingReports >= MovingReportsNeeded() && m_restCount >= kSettleReadings;
    m_resting = m_movingReports < MovingReportsNeeded();
    if (setOff) {
      TakeSuspectAlong(strength, all);
      ForgetRest(strength);
    }
  }
  double x = 0.0;
  double y = 0.0;
  bool slowing = false;
  if (!m_resting) {
    const std::size_t count = Predict(strength, m_t, x, y);
    // The short line no longer sure the finger moves: it stopped.
    const double shortSpeed = std::hypot(m_lineSlopeX, m_lineSlopeY);
    const double shortDeviation = SlopeDeviation(strength, count);
    slowing = speed - shortSpeed > kSlowingSlope * shortDeviation;
    if (count >= kShortestLine && count < m_count && !StoodInLately() &&
        shortSpeed < kStoppedSlope * shortDeviation) {
      SeedRest(strength);
      m_resting = m_restCount >= kStoppedReadings - 1;
      m_movingReports = m_resting ? 0 : m_movingReports;
      // The line keeps only the readings of the rest: the way there would
      // still say the finger moves.
      while (m_resting && static_cast<double>(m_count) > m_restCount + 1.0) {
        Pop();
      }
    }
  }
  if (!m_resting) {
    ResetRest();
    const double pace = m_swinging ? std::hypot(m_lineSlopeX, m_lineSlopeY) : speed;
    // The finger's step since the report before: more than a report's
    // where reports were lost on the way.
    const double step = m_onLine ? pace : std::max(0.0, speed - slopeDeviation);
    MovePointer(strength, x, y, step * m_reportsThisStep, slowing);
    return;
  }
  NoteAxisNoise(strength, all);
  if (m_restCount == 0.0 && !m_restSeeded) {
    for (std::size_t i = 0; i + 1 < m_count; ++i) {
      AddToRest(m_samples[(m_head + i) % kWindow]);
    }
  }
  AddToRest(m_samples[(m_head + m_count - 1) % kWindow]);
  x = m_restX / m_restCount;
  y = m_restY / m_restCount;
  if (m_restCount < kSettleReadings || Far(Output(), x, y, strength.restMargin)) {
    m_outX = x;
    m_outY = y;
  }
}

// Along the way the finger goes, the pointer moves on no farther than
// the newest reading, less its noise: a finger that stops is not overrun,
// not even by the noise of the readings after it. Only a finger that moves
// less than two noise deviations a report all along keeps half its step
// behind instead, or a slow drag would trail by the noise; one slowing
// down from a faster stroke keeps the stroke's step (fingerStep, from the
// whole line), since the short line's step shrinks as it slows while its
// readings stay as noisy (only while it slows: a steady drag keeping the
// whole line's step trailed by more than a report at 60 reports a second). While it slows, the
// reading before the newest, carried on by the short line's step (still longer than the finger's),
// bounds the pointer too: one reading a few deviations ahead, just as the
// finger stops, no longer carries it past the stop.
void CTouchSmoother::MovePointer(const Strength& strength, double x, double y, double fingerStep,
                                 bool slowing) {
  const Sample& newest = m_samples[(m_head + m_count - 1) % kWindow];
  const double lineSpeed = std::hypot(m_lineSlopeX, m_lineSlopeY);
  if (lineSpeed > 0.0) {
    const double ux = m_lineSlopeX / lineSpeed;
    const double uy = m_lineSlopeY / lineSpeed;
    const double margin =
        std::min(strength.noise, (slowing ? std::max(lineSpeed, fingerStep) : lineSpeed) / 2.0);
    double reach = (newest.x - m_outX) * ux + (newest.y - m_outY) * uy;
    if (slowing && m_count >= 2) {
      const Sample& before = m_samples[(m_head + m_count - 2) % kWindow];
      reach = std::min(reach, (before.x - m_outX) * ux + (before.y - m_outY) * uy +
                                  lineSpeed * (newest.t - before.t));
    }
    const double allowed = std::max(0.0, reach - margin);
    const double ahead = (x - m_outX) * ux + (y - m_outY) * uy - allowed;
    if (ahead > 0.0) {
      x -= ahead * ux;
      y -= ahead * uy;
    }
  }
  const double longest = std::max(kLongestStepDeviations * strength.noise, 1.5 * fingerStep);
  const double step = std::hypot(x - m_outX, y - m_outY);
  m_onLine = m_onLine || step <= longest;
  if (step > longest) {
    x = m_outX + (x - m_outX) * longest / step;
    y = m_outY + (y - m_outY) * longest / step;
  }
  m_outX = x;
  m_outY = y;
}

// A finger that sets off from a settled rest: the line keeps only the
// readings since it set off, where a rest followed by a steady way fits
// them best (among the splits that leave a line still sure the finger
// moves). The rest's readings do not lie on the way, and left in the line
// they would hold its slope, and the pointer's steps, far below the
// finger's speed for as long as they stay in it (up to a window of
// readings: the pointer trailed a drag at 40 reports a second by 140 ms).
void CTouchSmoother::ForgetRest(const Strength& strength) {
  std::size_t knee = 0;
  double best = 0.0;
  for (std::size_t split = 0; split + 3 <= m_count; ++split) {
    if (split > 0 &&
        Sureness(strength, FitNewest(m_count - split), m_count - split) < kMovingSlope) {
      continue;
    }
    const double scatter = KneeScatter(split);
    if (split == 0 || scatter < best) {
      best = scatter;
      knee = split;
    }
  }
  for (; knee > 0; --knee) {
    Pop();
  }
}

// A reading waiting because it lay off the rest, ahead along the way the
// finger now sets off, is the finger's as far as it lies along that way,
// up to kSetOffLeadSpikes: its stand-in on the rest's course moves there.
// Beside the way it is as doubtful as ever, and the short line kept after
// the rest would take its whole offset as the way's slope; farther ahead it
// is a wild reading (one 300 px ahead took a drag 170 px out and back).
void CTouchSmoother::TakeSuspectAlong(const Strength& strength, const Fit& all) {
  const Sample& standIn = m_samples[(m_head + m_count - 1) % kWindow];
  const double along = std::min(
      kSetOffLeadSpikes * strength.spike,
      Along(m_suspectPoint.x - standIn.x, m_suspectPoint.y - standIn.y, all.slopeX, all.slopeY));
  if (m_suspect && !standIn.read && along > 0.0) {
    const double speed = std::hypot(all.slopeX, all.slopeY);
    ReplaceNewest(
        Rounded(standIn.x + along * all.slopeX / speed, standIn.y + along * all.slopeY / speed));
    m_suspect = false;
  }
}

// How many of its own deviations the slope of a line through count
// readings lies from none.
double CTouchSmoother::Sureness(const Strength& strength, const Fit& fit, std::size_t count) const {
  return std::hypot(fit.slopeX / m_axisNoiseX, fit.slopeY / m_axisNoiseY) /
         SlopeDeviation(strength, count);
}

// How far the slope of a line through count readings, one a report, strays
// (units a report).
double CTouchSmoother::SlopeDeviation(const Strength& strength, std::size_t count) {
  const auto n = static_cast<double>(count);
  return strength.noise * std::sqrt(12.0 / (n * (n * n - 1.0)));
}

// How far the readings stray, each axis against its noise, from a rest
// until the reading at split and a steady way from there on (a finger
// setting off), or from a steady way until it and a rest (a stop).
double CTouchSmoother::KneeScatter(std::size_t split, Knee knee) const {
  const double from = m_samples[(m_head + split) % kWindow].t;
  const auto n = static_cast<double>(m_count);
  double h = 0.0, hh = 0.0, x = 0.0, y = 0.0, hx = 0.0, hy = 0.0, xx = 0.0, yy = 0.0;
  for (std::size_t i = 0; i < m_count; ++i) {
    const Sample& sample = m_samples[(m_head + i) % kWindow];
    const double way =
        knee == Knee::kSetOff ? std::max(0.0, sample.t - from) : std::min(0.0, sample.t - from);
    h += way;
    hh += way * way;
    x += sample.x;
    y += sample.y;
    hx += way * sample.x;
    hy += way * sample.y;
    xx += sample.x * sample.x;
    yy += sample.y * sample.y;
  }
  const double spread = hh - h * h / n;
  const auto left = [&](double sum, double squares, double along) {
    const double covariance = along - h * sum / n;
    return squares - sum * sum / n - (spread > 0.0 ? covariance * covariance / spread : 0.0);
  };
  return left(x, xx, hx) / (m_axisNoiseX * m_axisNoiseX) +
         left(y, yy, hy) / (m_axisNoiseY * m_axisNoiseY);
}

// A finger that stopped rests on its newest readings that lie near the
// newest one (not on the readings of its way there); the newest itself is
// added by the rest.
void CTouchSmoother::SeedRest(const Strength& strength) {
  ResetRest();
  const Sample& newest = m_samples[(m_head + m_count - 1) % kWindow];
  for (std::size_t back = 2; back <= m_count; ++back) {
    const Sample& sample = m_samples[(m_head + m_count - back) % kWindow];
    if (std::hypot(sample.x - newest.x, sample.y - newest.y) > kAgreeDeviations * strength.noise) {
      break;
    }
    AddToRest(sample);
  }
  m_restSeeded = true;
}

// The rest's mean forgets its older readings by the time they are
// kRestMemoryMs old: a finger creeping slower than the line can tell is
// followed within that time's travel, not left farther behind the longer
// it creeps.
void CTouchSmoother::AddToRest(const Sample& sample) {
  const double memory =
      std::max(static_cast<double>(kSettleReadings), kRestMemoryMs / std::max(m_intervalMs, 1.0));
  if (m_restCount >= memory) {
    const double kept = (memory - 1.0) / m_restCount;
    m_restX *= kept;
    m_restY *= kept;
    m_restCount = memory - 1.0;
  }
  m_restX += sample.x;
  m_restY += sample.y;
  ++m_restCount;
}

IntPoint CTouchSmoother::Output() const {
  return Rounded(m_outX, m_outY);
}

}  // namespace zt
