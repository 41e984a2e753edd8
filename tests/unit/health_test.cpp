#include "engine/health.h"

#include "engine/event_reporter.h"
#include "fake_registry.h"
#include "platform/linux/posix_file_replacer.h"
#include "platform_fakes.h"
#include "settings/last_touch_record.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string_view>
#include <vector>

#include <sys/stat.h>

namespace zt {
namespace {

std::string Read(const std::string& path) {
  std::ostringstream text;
  text << std::ifstream(path).rdbuf();
  return text.str();
}

TEST(Health, OnlyAConnectedLinkThatGoesCountsAsLost) {
  CHealth health;
  for (LinkState state :
       {LinkState::kWaiting, LinkState::kRetrying, LinkState::kConnected, LinkState::kConnected,
        LinkState::kRetrying, LinkState::kConnected, LinkState::kLost}) {
    health.OnLinkState(state);
  }
  EXPECT_EQ(health.Figures().linkChanges, 6U);
  EXPECT_EQ(health.Figures().linkLosses, 2U);
}

TEST(Health, ARestartOnTheSameLinkIsNoChange) {
  CHealth health;
  health.OnLinkStarts(LinkState::kOpening);
  health.OnLinkState(LinkState::kConnected);
  for (int apply = 0; apply < 3; ++apply) {  // Apply, /import, reload
    health.OnLinkStarts(LinkState::kOpening);
    EXPECT_EQ(health.Figures().link, LinkState::kOpening);
    health.OnLinkState(LinkState::kConnected);
  }
  EXPECT_EQ(health.Figures().linkChanges, 1U);
  health.OnLinkStarts(LinkState::kOpening);  // restarted on a port that is gone
  health.OnLinkState(LinkState::kRetrying);
  EXPECT_EQ(health.Figures().linkChanges, 2U);
  EXPECT_EQ(health.Figures().linkLosses, 1U);
}

TEST(Health, TheFileIsWrittenAtAChangeAndOnceAMinute) {
  const mode_t umaskBefore = ::umask(027);
  const std::string folder = testing::TempDir() + "zt-health";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  CHealth health;
  PosixFileReplacer files;
  CMetricsFile file(folder + "/zt.prom", {files, ""});
  // A link planted where the file beside goes (by the collector's user,
  // who owns its folder) is not written through, nor its target's mode.
  std::ofstream(folder + "/victim") << "victim";
  ::chmod((folder + "/victim").c_str(), 0600);
  std::filesystem::create_symlink(folder + "/victim", folder + "/zt.prom.new");
  ASSERT_TRUE(file.Update(health, 1000));
  EXPECT_EQ(Read(folder + "/victim"), "victim");
  EXPECT_EQ(std::filesystem::status(folder + "/victim").permissions(),
            std::filesystem::perms(0600));
  std::ofstream(folder + "/zt.prom") << "stale";
  ASSERT_TRUE(file.Update(health, 1059));
  EXPECT_EQ(Read(folder + "/zt.prom"), "stale");
  health.OnChecksumError();
  ASSERT_TRUE(file.Update(health, 1059));
  EXPECT_NE(Read(folder + "/zt.prom").find("zeltratouch_checksum_errors_total 1\n"),
            std::string::npos);
  for (std::int64_t now : {1119, 500}) {  // a minute after; the clock set back: at once
    std::ofstream(folder + "/zt.prom") << "stale";
    ASSERT_TRUE(file.Update(health, now));
    EXPECT_EQ(MetricsText(health.Figures()), Read(folder + "/zt.prom"));
  }
  EXPECT_FALSE(std::filesystem::exists(folder + "/zt.prom.new"));
  EXPECT_EQ(std::filesystem::status(folder + "/zt.prom").permissions(),
            std::filesystem::perms(0644));  // written under a service's umask of 027
  health.OnLinkState(LinkState::kConnected);
  ASSERT_TRUE(file.Update(health, 1120));
  ASSERT_TRUE(file.WriteStopped(health));  // the program ends
  EXPECT_NE(Read(folder + "/zt.prom").find("zeltratouch_link_up 0\n"), std::string::npos);
  EXPECT_EQ(Read(folder + "/zt.prom").find("_state{state=\"connected\"} 1"), std::string::npos);
  ::umask(umaskBefore);
}

TEST(Health, TheLastTouchOutlivesARestartButNotAClockSetBack) {
  test::FakeRegistry key(settings::kSettingsKey.root, settings::kSettingsKey.subKey);
  test::RecordingLog log;
  settings::CLastTouchRecord first(key, &log);
  for (std::int64_t now : {1000, 1030, 1059, 1060, 500}) {  // a touch each second
    first.Update(now - 1, now);
  }
  EXPECT_EQ(key.Writes().size(), 3U);  // at 1000, 1060 and at once after the clock set back
  key.SetKey(true, true);              // refused: logged once, tried again
  first.Update(1120, 1120);
  first.Flush(1121);
  key.SetKey(true, false);
  first.Flush(1122);  // the program ends
  EXPECT_EQ(log.lines.size(), 1U);
  EXPECT_EQ(settings::CLastTouchRecord(key, &log).Load(2000), 1122);  // at the next start
  EXPECT_EQ(settings::CLastTouchRecord(key, &log).Load(1121), 0);     // the clock set back
}

// Records each report as the event log would take it (its id, its kind:
// E error, W warning, I information, and its text) and the lines of the
// program's log.
class FakeEventLog final : public IEventLog, public ILog {
public:
  void Report(std::uint32_t id, EventKind kind, const std::string& text) override {
    const char* kinds[] = {"I", "W", "E"};
    reports.push_back(std::to_string(id) + " " + kinds[static_cast<int>(kind)] + " " + text);
  }
  void Write(std::string_view line) override { reports.emplace_back(line); }
  std::vector<std::string> reports;
};

TEST(Events, EachIsReportedOnceForEachChange) {
  FakeEventLog log;
  CEventReporter events(log);
  for (LinkState state :
       {LinkState::kOpening, LinkState::kWaiting, LinkState::kWaiting, LinkState::kOpening,
        LinkState::kWaiting, LinkState::kConnected, LinkState::kRetrying, LinkState::kRetrying,
        LinkState::kConnected, LinkState::kConnected, LinkState::kLost}) {
    events.OnLinkState(state, "COM12");
  }
  for (std::int64_t stored : {1000, 1000, 2000, 2000}) {  // the first: the one at start
    events.OnCalibrationStored(stored);
  }
  for (bool refused : {true, true, false, true}) {
    events.OnTouchOutputRefused(refused);
  }
  events.OnSettingsImported("C:\\fleet\\kiosk.conf");
  events.OnSettingsImportedInPart("C:\\fleet\\kiosk.conf", "imported in part: Beep");
  EXPECT_EQ(log.reports,
            (std::vector<std::string>{"3 E COM12", "2 I COM12", "1 W COM12", "2 I COM12",
                                      "1 W COM12", "4 I 2000", "6 W Output=1", "6 W Output=1",
                                      "5 I C:\\fleet\\kiosk.conf",
                                      "9 W C:\\fleet\\kiosk.conf: imported in part: Beep"}));
}

// A collector's folder the program may not write: said once as it starts
// failing, with the system's reason, and once as it is over: Metrics=
// corrected to a file that is written, or removed (an alert on the failure
// clears).
TEST(Events, AMetricsFileThatCannotBeWrittenIsReportedOnceForEachChange) {
  const std::string path = testing::TempDir() + "zt-health-denied/zt.prom";
  const std::string other = testing::TempDir() + "zt-health-denied/other.prom";
  const std::string moved = testing::TempDir() + "zt-health-moved.prom";
  std::filesystem::remove_all(testing::TempDir() + "zt-health-denied");
  FakeEventLog log;
  CEventReporter events(log);
  CHealth health;
  PosixFileReplacer files;
  const MetricsOutput output{files, "", &log, &events};
  std::optional<CMetricsFile> file;
  FollowMetricsSetting(file, path, output);
  for (std::int64_t now : {0, 1, 61, 62, 63}) {
    if (now >= 61) {  // changed to another file that fails too, then to one that does not
      FollowMetricsSetting(file, now == 61 ? other : moved, output);
    }
    health.OnChecksumError();
    EXPECT_EQ(file->Update(health, now), now >= 62);
  }
  FollowMetricsSetting(file, path, output);
  EXPECT_FALSE(file->Update(health, 64));
  FollowMetricsSetting(file, "", output);
  const std::string reason = std::strerror(ENOENT);
  const std::string cannot = "cannot write the metrics file " + path + ": " + reason;
  const std::string warning = "7 W " + path + " (" + reason + ")";
  EXPECT_EQ(log.reports,
            (std::vector<std::string>{
                cannot, warning, "cannot write the metrics file " + other + ": " + reason,
                "7 W " + other + " (" + reason + ")",
                "the metrics file " + moved + " is written again", "8 I " + moved, cannot, warning,
                "the metrics file " + path + " is no longer named by Metrics=", "8 I " + path}));
}

// Any user may set Metrics=, and the Windows program writes as whoever is
// logged on: only a file in its own folder is written, anything else is
// refused once, never handed to the system.
TEST(Events, OnWindowsTheMetricsFileIsOnlyOneInItsOwnFolder) {
  const std::string folder = "C:\\ProgramData\\ZeltraTouch\\metrics";
  for (const char* inside : {"zt.prom", "c:\\programdata\\zeltratouch\\METRICS\\zt.prom"}) {
    EXPECT_EQ(MetricsFileIn(folder, inside), folder + "\\zt.prom") << inside;
  }
  for (const char* elsewhere :
       {"C:\\Users\\A\\report.docx", "\\\\server\\share\\zt.prom", "..\\zt.prom", "D:zt.prom",
        "C:\\ProgramData\\ZeltraTouch\\metrics\\..\\x.prom",
        "C:\\ProgramData\\ZeltraTouch\\metrics\\s\\z", "zt.prom:stream", "sub/zt.prom", "NUL",
        "nul.prom", "COM1", "lpt9 .txt", "\\\\?\\C:\\x"}) {
    EXPECT_EQ(MetricsFileIn(folder, elsewhere), "") << elsewhere;
  }
  struct RecordingReplacer final : IFileReplacer {
    std::string Replace(const std::string& path, const std::string&) override {
      replaced.push_back(path);
      return "";
    }
    std::vector<std::string> replaced;
  } files;
  FakeEventLog log;
  CEventReporter events(log);
  CHealth health;
  CMetricsFile file("C:\\Users\\A\\report.docx", {files, folder, &log, &events});
  EXPECT_FALSE(file.Update(health, 0));
  file.MoveTo("zt.prom");
  EXPECT_TRUE(file.Update(health, 1));
  EXPECT_EQ(files.replaced, std::vector<std::string>{folder + "\\zt.prom"});
  EXPECT_EQ(log.reports.size(), 4U);  // refused once (log, event 7), then written (log, event 8)
}

}  // namespace
}  // namespace zt
