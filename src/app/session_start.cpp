#include "app/session_start.h"

#include <algorithm>
#include <vector>

namespace zt {
namespace {

// The system's error for a session without a logged-on user (ERROR_NO_TOKEN):
// one that logged off between the list and the start.
constexpr std::uint32_t kErrorNoToken = 1008;

// The console's session when its user is at it, else the first other
// active session; kNoSession when no user is logged on. A console session
// the list does not show (Wine lists none) is tried: whether the system
// finds its user's token decides.
std::uint32_t ChooseSession(std::uint32_t console, const std::vector<UserSession>& sessions) {
  const auto active = [](const UserSession& session) {
    return session.state == SessionState::kActive && session.id != 0;
  };
  const auto onConsole = std::find_if(sessions.begin(), sessions.end(),
                                      [&](const UserSession& each) { return each.id == console; });
  if (onConsole == sessions.end() ? console != kNoSession && console != 0 : active(*onConsole)) {
    return console;
  }
  const auto other = std::find_if(sessions.begin(), sessions.end(), active);
  return other != sessions.end() ? other->id : kNoSession;
}

}  // namespace

SessionStart StartInUserSession(IUserSessions& sessions) {
  SessionStart start;
  std::vector<UserSession> listed;
  if (!sessions.ListSessions(listed, start.error)) {
    return start;
  }
  start.session = ChooseSession(sessions.ConsoleSession(), listed);
  if (start.session == kNoSession) {
    start.outcome = SessionStartOutcome::kNoUserLoggedOn;
  } else if (sessions.ProgramRunsIn(start.session)) {
    start.outcome = SessionStartOutcome::kAlreadyRunning;
  } else {
    start.error = sessions.StartProgramAs(start.session);
    start.outcome = start.error == 0               ? SessionStartOutcome::kStarted
                    : start.error == kErrorNoToken ? SessionStartOutcome::kNoUserLoggedOn
                                                   : SessionStartOutcome::kRefused;
  }
  return start;
}

}  // namespace zt
