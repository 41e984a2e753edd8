#include "engine/health.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

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

TEST(Health, TheFileIsWrittenAtAChangeAndOnceAMinute) {
  const std::string folder = testing::TempDir() + "zt-health";
  std::filesystem::create_directories(folder);
  CHealth health;
  CMetricsFile file(folder + "/zt.prom");
  ASSERT_TRUE(file.Update(health, 1000));
  std::ofstream(folder + "/zt.prom") << "stale";
  ASSERT_TRUE(file.Update(health, 1059));
  EXPECT_EQ(Read(folder + "/zt.prom"), "stale");
  health.OnChecksumError();
  ASSERT_TRUE(file.Update(health, 1059));
  EXPECT_NE(Read(folder + "/zt.prom").find("zeltratouch_checksum_errors_total 1\n"),
            std::string::npos);
  std::ofstream(folder + "/zt.prom") << "stale";
  ASSERT_TRUE(file.Update(health, 1119));
  EXPECT_EQ(MetricsText(health.Figures()), Read(folder + "/zt.prom"));
  EXPECT_FALSE(std::filesystem::exists(folder + "/zt.prom.new"));
  EXPECT_FALSE(CMetricsFile(folder + "/missing/zt.prom").Update(health, 0));
}

}  // namespace
}  // namespace zt
