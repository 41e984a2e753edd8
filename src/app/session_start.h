// Starting the program for the user at the machine, from a process of
// another session (a setup run as SYSTEM by Group Policy or Intune): in the
// console's session when a user is logged on there, and nowhere else; never
// a second instance while it runs in any session.
#pragma once

#include <cstdint>

#include "platform/user_sessions.h"

namespace zt {

enum class SessionStartOutcome {
  kStarted,
  kAlreadyRunning,
  kNoUserLoggedOn,  // nobody at the console: nothing started
  kRefused,         // the system refused; error says why
};

struct SessionStart {
  SessionStartOutcome outcome = SessionStartOutcome::kRefused;
  std::uint32_t session = kNoSession;
  std::uint32_t error = 0;
};

SessionStart StartInUserSession(IUserSessions& sessions);

}  // namespace zt
