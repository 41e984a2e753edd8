#include "app/session_start.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

namespace zt {
namespace {

using enum SessionState;
using enum SessionStartOutcome;

// What the system knows of the sessions.
struct Machine {
  std::uint32_t console = 1;
  std::vector<UserSession> sessions;
  std::vector<std::uint32_t> running;  // the sessions the program runs in
  bool system = true;                  // the caller is SYSTEM
};

// A start is refused as WTSQueryUserToken refuses it: without SYSTEM's
// privilege (1314), for a session that is not there (2) or has no user
// logged on, session 0 included (1008). A start adds the program to the
// session's processes.
struct FakeUserSessions final : IUserSessions {
  explicit FakeUserSessions(Machine state) : machine(std::move(state)) {}
  std::uint32_t ConsoleSession() override { return machine.console; }
  bool ListSessions(std::vector<UserSession>& listed, std::uint32_t& /*error*/) override {
    listed = machine.sessions;
    return true;
  }
  std::uint32_t SessionOfProgram() override {
    return machine.running.empty() ? kNoSession : machine.running.front();
  }
  std::uint32_t StartProgramAs(std::uint32_t session) override {
    const auto found = std::find_if(machine.sessions.begin(), machine.sessions.end(),
                                    [&](UserSession each) { return each.id == session; });
    if (!machine.system || found == machine.sessions.end()) {
      return machine.system ? 2 : 1314;
    }
    if (session == 0 || (found->state != kActive && found->state != kDisconnected)) {
      return 1008;
    }
    machine.running.push_back(session);
    return 0;
  }
  Machine machine;
};

TEST(SessionStart, StartsOnceForTheUserAtTheMachine) {
  const UserSession services{0, kDisconnected};
  const struct {
    Machine machine;
    SessionStartOutcome outcome;
    std::vector<std::uint32_t> runningAfter;
  } cases[] = {
      {{1, {services, {1, kActive}}, {}, true}, kStarted, {1}},
      {{2, {services, {1, kActive}, {2, kActive}}, {}, true}, kStarted, {2}},  // console first
      // The console at the logon screen, an administrator in a remote session.
      {{1, {services, {1, kConnected}, {2, kActive}}, {}, true}, kNoUserLoggedOn, {}},
      {{kNoSession, {services, {3, kActive}}, {}, true}, kNoUserLoggedOn, {}},  // switching
      // Running for a user switched away from: it holds the port.
      {{1, {services, {1, kActive}, {2, kDisconnected}}, {2}, true}, kAlreadyRunning, {2}},
      {{1, {services}, {}, true}, kRefused, {}},  // a console the list does not show: tried
      {{1, {services, {1, kActive}}, {}, false}, kRefused, {}},  // not SYSTEM: no user's token
  };
  for (const auto& each : cases) {
    SCOPED_TRACE(testing::Message() << "case " << &each - cases);
    FakeUserSessions sessions(each.machine);
    EXPECT_EQ(StartInUserSession(sessions).outcome, each.outcome);
    EXPECT_EQ(sessions.machine.running, each.runningAfter);
  }
}

}  // namespace
}  // namespace zt
