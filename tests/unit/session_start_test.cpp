#include "app/session_start.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace zt {
namespace {

// The sessions as the system keeps them. Taking a user's token (the start)
// is refused as WTSQueryUserToken refuses it: without SYSTEM's privilege
// (1314), for a session that is not there (2), and for one with no user
// logged on, session 0 included (1008). A start adds the program to the
// session's processes.
class FakeUserSessions final : public IUserSessions {
public:
  std::uint32_t ConsoleSession() override { return console; }
  bool ListSessions(std::vector<UserSession>& listed, std::uint32_t& error) override {
    if (!mayList) {
      error = 5;  // ERROR_ACCESS_DENIED
      return false;
    }
    listed = sessions;
    return true;
  }
  bool ProgramRunsIn(std::uint32_t session) override {
    return std::count(running.begin(), running.end(), session) > 0;
  }
  std::uint32_t StartProgramAs(std::uint32_t session) override {
    if (!system) {
      return 1314;
    }
    const auto found = std::find_if(sessions.begin(), sessions.end(),
                                    [&](const UserSession& each) { return each.id == session; });
    if (found == sessions.end()) {
      return 2;
    }
    const bool userThere =
        found->state == SessionState::kActive || found->state == SessionState::kDisconnected;
    if (session == 0 || !userThere) {
      return 1008;
    }
    running.push_back(session);
    return 0;
  }

  std::uint32_t console = 1;
  std::vector<UserSession> sessions;
  std::vector<std::uint32_t> running;  // the sessions the program runs in
  bool system = true;
  bool mayList = true;
};

constexpr UserSession kServices{0, SessionState::kDisconnected};

struct Case {
  const char* what;
  std::uint32_t console;
  std::vector<UserSession> sessions;
  std::vector<std::uint32_t> running;
  bool system;
  SessionStartOutcome outcome;
  std::uint32_t session;  // where it runs afterwards (kNoSession: nowhere new)
};

TEST(SessionStart, StartsOnceForTheUserAtTheMachine) {
  using enum SessionState;
  using enum SessionStartOutcome;
  const Case cases[] = {
      {"user at the console", 1, {kServices, {1, kActive}}, {}, true, kStarted, 1},
      {"console first, then a remote user",
       2,
       {kServices, {1, kActive}, {2, kActive}},
       {},
       true,
       kStarted,
       2},
      {"logon screen on the console, a remote user",
       1,
       {kServices, {1, kConnected}, {2, kActive}},
       {},
       true,
       kStarted,
       2},
      {"a console switching sessions",
       kNoSession,
       {kServices, {3, kActive}},
       {},
       true,
       kStarted,
       3},
      {"nobody logged on", 1, {kServices, {1, kConnected}}, {}, true, kNoUserLoggedOn, kNoSession},
      {"only a disconnected user",
       1,
       {kServices, {1, kConnected}, {2, kDisconnected}},
       {},
       true,
       kNoUserLoggedOn,
       kNoSession},
      {"runs there already", 1, {kServices, {1, kActive}}, {1}, true, kAlreadyRunning, kNoSession},
      {"runs in another session only",
       1,
       {kServices, {1, kActive}, {2, kActive}},
       {2},
       true,
       kStarted,
       1},
      {"a list without the console's session", 1, {kServices}, {}, true, kRefused, kNoSession},
      {"not SYSTEM: no user's token",
       1,
       {kServices, {1, kActive}},
       {},
       false,
       kRefused,
       kNoSession},
  };
  for (const Case& each : cases) {
    SCOPED_TRACE(each.what);
    FakeUserSessions sessions;
    sessions.console = each.console;
    sessions.sessions = each.sessions;
    sessions.running = each.running;
    sessions.system = each.system;
    const SessionStart start = StartInUserSession(sessions);
    EXPECT_EQ(start.outcome, each.outcome);
    std::vector<std::uint32_t> expected = each.running;
    if (each.session != kNoSession) {
      expected.push_back(each.session);
    }
    EXPECT_EQ(sessions.running, expected);
    // A second setup (a repeated deployment) starts no second instance.
    StartInUserSession(sessions);
    EXPECT_EQ(sessions.running, expected);
  }
}

TEST(SessionStart, SaysWhyTheSystemRefused) {
  FakeUserSessions sessions;
  sessions.sessions = {kServices, {1, SessionState::kActive}};
  sessions.system = false;
  EXPECT_EQ(StartInUserSession(sessions).error, 1314U);
  sessions.mayList = false;
  const SessionStart start = StartInUserSession(sessions);
  EXPECT_EQ(start.outcome, SessionStartOutcome::kRefused);
  EXPECT_EQ(start.error, 5U);
}

}  // namespace
}  // namespace zt
