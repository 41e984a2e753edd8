#include "engine/parameter_exchange.h"

#include <gtest/gtest.h>

#include <vector>

namespace zt {
namespace {

// A controller link whose reply arrives after a given number of sleeps.
class ScriptedLink final : public IParameterLink {
public:
  bool RequestParameters() override {
    ++requests;
    reply.ClearFlag();
    return true;
  }
  const ParameterReply& Reply() const override { return reply; }

  int requests = 0;
  ParameterReply reply;
};

struct ExchangeRun {
  bool ok = false;
  SensitivityParams values;
  int requests = 0;
  std::vector<std::uint32_t> sleeps;
  std::uint32_t TotalSleep() const {
    std::uint32_t total = 0;
    for (std::uint32_t ms : sleeps) {
      total += ms;
    }
    return total;
  }
};

// replyAfterSleeps < 0: the controller never answers.
ExchangeRun RunExchange(int replyAfterSleeps) {
  ScriptedLink link;
  ExchangeRun run;
  auto sleep = [&](std::uint32_t ms) {
    run.sleeps.push_back(ms);
    if (static_cast<int>(run.sleeps.size()) == replyAfterSleeps) {
      link.reply.Publish({705, 3, 7, 360});
    }
  };
  run.ok = ReadParameters(link, sleep, run.values);
  run.requests = link.requests;
  return run;
}

TEST(ParameterExchangeTest, SilentControllerFailsAfterThreeAttemptsAndFourAndAHalfSeconds) {
  const ExchangeRun run = RunExchange(-1);
  EXPECT_FALSE(run.ok);
  EXPECT_EQ(run.requests, 3);
  EXPECT_EQ(run.sleeps.size(), 33U);
  EXPECT_EQ(run.TotalSleep(), 4500U);
  EXPECT_EQ(run.sleeps[10], 500U);
  EXPECT_EQ(run.sleeps[21], 500U);
}

TEST(ParameterExchangeTest, SucceedsAtTheFirstCheckThatSeesTheReply) {
  const ExchangeRun run = RunExchange(1);
  EXPECT_TRUE(run.ok);
  EXPECT_EQ(run.requests, 1);
  EXPECT_EQ(run.sleeps, (std::vector<std::uint32_t>{100}));
  EXPECT_EQ(run.values, (SensitivityParams{705, 3, 7, 360}));
}

TEST(ParameterExchangeTest, ReplyDuringTheSecondAttemptIsTaken) {
  const ExchangeRun run = RunExchange(14);  // 10 polls, the pause, then 3 polls
  EXPECT_TRUE(run.ok);
  EXPECT_EQ(run.requests, 2);
  EXPECT_EQ(run.TotalSleep(), 10 * 100U + 500U + 3 * 100U);
}

TEST(ParameterExchangeTest, ReplyArrivingDuringThePauseIsLostToTheNextRequest) {
  // The reply lands in the pause after attempt 1; the next request clears
  // the flag, and the controller then stays silent.
  const ExchangeRun run = RunExchange(11);
  EXPECT_FALSE(run.ok);
  EXPECT_EQ(run.requests, 3);
}

}  // namespace
}  // namespace zt
