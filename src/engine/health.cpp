#include "engine/health.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <utility>

namespace zt {
namespace {

struct StateName {
  LinkState state;
  const char* name;
};
constexpr StateName kStateNames[] = {
    {LinkState::kOpening, "opening"},   {LinkState::kConnected, "connected"},
    {LinkState::kWaiting, "waiting"},   {LinkState::kCantOpen, "cant_open"},
    {LinkState::kRetrying, "retrying"}, {LinkState::kLost, "lost"},
};

const char* Name(LinkState state) {
  for (const StateName& each : kStateNames) {
    if (each.state == state) {
      return each.name;
    }
  }
  return "unknown";
}

void Metric(std::string& text, const char* name, const char* type, const char* help) {
  text.append("# HELP zeltratouch_").append(name).append(" ").append(help).append("\n");
  text.append("# TYPE zeltratouch_").append(name).append(" ").append(type).append("\n");
}

void Sample(std::string& text, const char* name, const std::string& labels, std::uint64_t value) {
  text.append("zeltratouch_").append(name).append(labels).append(" ");
  text.append(std::to_string(value)).append("\n");
}

bool SameLetters(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// A name Windows opens as a device whatever follows it (NUL.prom), or
// COM and LPT with any one character after them (superscript digits too).
bool IsDeviceName(std::string name) {
  name = name.substr(0, name.find('.'));
  name.erase(name.find_last_not_of(' ') + 1);
  for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
    if (SameLetters(name, device)) {
      return true;
    }
  }
  const std::string head = name.substr(0, 3);
  return name.size() == 4 && (SameLetters(head, "COM") || SameLetters(head, "LPT"));
}

bool IsPlainFileName(const std::string& name) {
  const bool badCharacter = std::any_of(name.begin(), name.end(), [](char c) {
    return static_cast<unsigned char>(c) < 0x20 || std::strchr("<>:\"/\\|?*", c) != nullptr;
  });
  return !name.empty() && name.size() <= 255 && !badCharacter && name.back() != '.' &&
         name.back() != ' ' && !IsDeviceName(name);
}

}  // namespace

void CHealth::OnLinkState(LinkState state) {
  const auto shown = static_cast<LinkState>(
      m_link.exchange(static_cast<std::uint8_t>(state), std::memory_order_relaxed));
  const auto previous = static_cast<LinkState>(
      m_counted.exchange(static_cast<std::uint8_t>(state), std::memory_order_relaxed));
  if (previous != state) {
    m_linkChanges.fetch_add(1, std::memory_order_relaxed);
    if (previous == LinkState::kConnected &&
        (state == LinkState::kRetrying || state == LinkState::kLost)) {
      m_linkLosses.fetch_add(1, std::memory_order_relaxed);
    }
  }
  if (shown != state) {
    Changed();
  }
}

void CHealth::OnLinkStarts(LinkState state) {
  if (m_link.exchange(static_cast<std::uint8_t>(state), std::memory_order_relaxed) !=
      static_cast<std::uint8_t>(state)) {
    Changed();
  }
}

void CHealth::OnTouchBegins() {
  m_touches.fetch_add(1, std::memory_order_relaxed);
  m_lastTouch.store(UnixNow(), std::memory_order_relaxed);
  Changed();
}

void CHealth::RestoreLastTouch(std::int64_t unixSeconds) {
  std::int64_t none = 0;
  if (unixSeconds != 0 &&
      m_lastTouch.compare_exchange_strong(none, unixSeconds, std::memory_order_relaxed)) {
    Changed();
  }
}

void CHealth::OnChecksumError() {
  m_checksumErrors.fetch_add(1, std::memory_order_relaxed);
  Changed();
}

void CHealth::SetCalibrationStored(std::int64_t unixSeconds) {
  if (m_calibrationStored.exchange(unixSeconds, std::memory_order_relaxed) != unixSeconds) {
    Changed();
  }
}

void CHealth::SetTouchOutput(bool touch) {
  if (m_touchOutput.exchange(touch, std::memory_order_relaxed) != touch) {
    Changed();
  }
}

HealthFigures CHealth::Figures() const {
  HealthFigures figures;
  figures.link = static_cast<LinkState>(m_link.load(std::memory_order_relaxed));
  figures.linkChanges = m_linkChanges.load(std::memory_order_relaxed);
  figures.linkLosses = m_linkLosses.load(std::memory_order_relaxed);
  figures.touches = m_touches.load(std::memory_order_relaxed);
  figures.checksumErrors = m_checksumErrors.load(std::memory_order_relaxed);
  figures.lastTouch = m_lastTouch.load(std::memory_order_relaxed);
  figures.calibrationStored = m_calibrationStored.load(std::memory_order_relaxed);
  figures.touchOutput = m_touchOutput.load(std::memory_order_relaxed);
  return figures;
}

std::string MetricsText(const HealthFigures& figures) {
  std::string text;
  Metric(text, "link_up", "gauge", "Whether the link to the touch controller is connected.");
  Sample(text, "link_up", "", figures.running && figures.link == LinkState::kConnected ? 1 : 0);
  Metric(text, "link_state", "gauge", "The link's state: 1 for the one it is in.");
  for (const StateName& each : kStateNames) {
    Sample(text, "link_state", std::string("{state=\"") + each.name + "\"}",
           figures.running && figures.link == each.state ? 1 : 0);
  }
  const struct {
    const char* name;
    const char* help;
    std::uint64_t value;
  } counters[] = {
      {"link_changes_total", "Changes of the link's state.", figures.linkChanges},
      {"link_losses_total", "Times the connected controller went away.", figures.linkLosses},
      {"touches_total", "Touches (a finger put down).", figures.touches},
      {"checksum_errors_total", "Touch reports dropped for a bad checksum.",
       figures.checksumErrors},
  };
  for (const auto& counter : counters) {
    Metric(text, counter.name, "counter", counter.help);
    Sample(text, counter.name, "", counter.value);
  }
  Metric(text, "last_touch_timestamp_seconds", "gauge", "When the last touch began; 0: none.");
  Sample(text, "last_touch_timestamp_seconds", "", static_cast<std::uint64_t>(figures.lastTouch));
  Metric(text, "calibration_stored_timestamp_seconds", "gauge",
         "When the calibration in use was stored; 0: not known.");
  Sample(text, "calibration_stored_timestamp_seconds", "",
         static_cast<std::uint64_t>(figures.calibrationStored));
  Metric(text, "output", "gauge", "The output touches go to: 1 for the one in use.");
  Sample(text, "output", "{output=\"mouse\"}", figures.touchOutput ? 0 : 1);
  Sample(text, "output", "{output=\"touch\"}", figures.touchOutput ? 1 : 0);
  return text;
}

std::string StatusJson(const HealthFigures& figures) {
  std::string json = "{\"link\":\"";
  json.append(Name(figures.link)).append("\",\"link_up\":");
  json.append(figures.link == LinkState::kConnected ? "true" : "false");
  const std::pair<const char*, std::int64_t> numbers[] = {
      {"link_changes", static_cast<std::int64_t>(figures.linkChanges)},
      {"link_losses", static_cast<std::int64_t>(figures.linkLosses)},
      {"touches", static_cast<std::int64_t>(figures.touches)},
      {"last_touch", figures.lastTouch},
      {"checksum_errors", static_cast<std::int64_t>(figures.checksumErrors)},
      {"calibration_stored", figures.calibrationStored},
  };
  for (const auto& [name, value] : numbers) {
    json.append(",\"").append(name).append("\":").append(std::to_string(value));
  }
  json.append(",\"output\":\"").append(figures.touchOutput ? "touch" : "mouse").append("\"}");
  return json;
}

bool CMetricsFile::Update(const CHealth& health, std::int64_t nowSeconds) {
  const std::uint64_t changes = health.Changes();
  // A clock set back (a negative time since the last write) makes a write
  // due, as a minute passed does.
  const std::int64_t elapsed = nowSeconds - m_writtenAt;
  if (changes == m_written && elapsed >= 0 && elapsed < kRefreshSeconds) {
    return true;
  }
  if (!Write(health.Figures())) {
    return false;
  }
  m_written = changes;
  m_writtenAt = nowSeconds;
  return true;
}

bool CMetricsFile::WriteStopped(const CHealth& health) {
  HealthFigures figures = health.Figures();
  figures.running = false;
  return Write(figures);
}

CMetricsFile::CMetricsFile(std::string path, const MetricsOutput& output) : m_output(output) {
  MoveTo(std::move(path));
}

bool CMetricsFile::Write(const HealthFigures& figures) {
  const std::string failure = !m_target.empty()
                                  ? m_output.files.Replace(m_target, MetricsText(figures))
                                  : "Metrics= may name only a file in " + m_output.folder;
  if (failure.empty() ? !m_failingPath.empty() : m_failingPath != m_path) {
    Said(failure);
  }
  return failure.empty();
}

void CMetricsFile::Said(const std::string& failure) {
  m_failingPath = failure.empty() ? "" : m_path;
  if (m_output.log != nullptr) {
    m_output.log->Write(!failure.empty()
                            ? "cannot write the metrics file " + m_path + ": " + failure
                            : "the metrics file " + m_path + " is written again");
  }
  if (m_output.events != nullptr) {
    m_output.events->OnMetricsFile(m_path, failure);
  }
}

void CMetricsFile::MoveTo(std::string path) {
  m_path = std::move(path);
  m_target = m_output.folder.empty() ? m_path : MetricsFileIn(m_output.folder, m_path);
  m_written = ~std::uint64_t{0};  // the new file is written at once
}

void CMetricsFile::Abandon() {
  if (m_failingPath.empty()) {
    return;
  }
  if (m_output.log != nullptr) {
    m_output.log->Write("the metrics file " + m_path + " is no longer named by Metrics=");
  }
  if (m_output.events != nullptr) {
    m_output.events->OnMetricsFile(m_path, "");
  }
  m_failingPath.clear();
}

std::string MetricsFileIn(const std::string& folder, const std::string& setting) {
  const std::string prefix = folder + "\\";
  const bool inFolder =
      setting.size() > prefix.size() && SameLetters(setting.substr(0, prefix.size()), prefix);
  const std::string name = inFolder ? setting.substr(prefix.size()) : setting;
  return IsPlainFileName(name) ? prefix + name : "";
}

void FollowMetricsSetting(std::optional<CMetricsFile>& file, const std::string& path,
                          const MetricsOutput& output) {
  if (path.empty()) {
    if (file) {
      file->Abandon();
    }
    file.reset();
  } else if (!file) {
    file.emplace(path, output);
  } else if (file->Path() != path) {
    file->MoveTo(path);
  }
}

std::int64_t UnixNow() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace zt
