#include "app/session_start.h"

#include <algorithm>
#include <vector>

namespace zt {
namespace {

// The system's error for a session without a logged-on user (ERROR_NO_TOKEN):
// one that logged off between the list and the start.
constexpr std::uint32_t kErrorNoToken = 1008;

// The console's session when its user is at it; kNoSession otherwise. The
// touch screen hangs on the machine's console: a remote session, or the
// console at the logon screen, is no place for the program (it would hold
// the port the console's user needs). A console session the list does not
// show (Wine lists none) is tried: whether the system finds its user's
// token decides.
std::uint32_t ConsoleUserSession(std::uint32_t console, const std::vector<UserSession>& sessions) {
  if (console == kNoSession || console == 0) {
    return kNoSession;
  }
  const auto listed = std::find_if(sessions.begin(), sessions.end(),
                                   [&](const UserSession& each) { return each.id == console; });
  const bool active = listed == sessions.end() || listed->state == SessionState::kActive;
  return active ? console : kNoSession;
}

}  // namespace

SessionStart StartInUserSession(IUserSessions& sessions) {
  SessionStart start;
  std::vector<UserSession> listed;
  if (!sessions.ListSessions(listed, start.error)) {
    return start;
  }
  // One instance on the machine: running for another user (a switch of
  // users), it holds the port already.
  start.session = sessions.SessionOfProgram();
  if (start.session != kNoSession) {
    start.outcome = SessionStartOutcome::kAlreadyRunning;
    return start;
  }
  start.session = ConsoleUserSession(sessions.ConsoleSession(), listed);
  if (start.session == kNoSession) {
    start.outcome = SessionStartOutcome::kNoUserLoggedOn;
    return start;
  }
  start.error = sessions.StartProgramAs(start.session);
  start.outcome = start.error == 0               ? SessionStartOutcome::kStarted
                  : start.error == kErrorNoToken ? SessionStartOutcome::kNoUserLoggedOn
                                                 : SessionStartOutcome::kRefused;
  return start;
}

}  // namespace zt
