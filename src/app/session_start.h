// Starting the program for the user at the machine, from a process of
// another session (a setup run as SYSTEM by Group Policy or Intune): in the
// console's session when a user is logged on there, else in another active
// session; never a second instance in a session where it already runs.
#pragma once

#include <cstdint>

#include "platform/user_sessions.h"

namespace zt {

enum class SessionStartOutcome {
  kStarted,
  kAlreadyRunning,
  kNoUserLoggedOn,  // nothing started: the start at logon serves
  kRefused,         // the system refused; error says why
};

struct SessionStart {
  SessionStartOutcome outcome = SessionStartOutcome::kRefused;
  std::uint32_t session = kNoSession;
  std::uint32_t error = 0;
};

SessionStart StartInUserSession(IUserSessions& sessions);

}  // namespace zt
