#pragma once

#include "platform/user_sessions.h"

namespace zt {

// IUserSessions over the Remote Desktop Services calls (wtsapi32): the
// sessions and their processes, a user's token (as SYSTEM; as an elevated
// administrator, that of an unelevated process of the session's user),
// environment (userenv) and a process on the session's interactive desktop.
class Win32UserSessions final : public IUserSessions {
public:
  std::uint32_t ConsoleSession() override;
  bool ListSessions(std::vector<UserSession>& sessions, std::uint32_t& error) override;
  std::uint32_t SessionOfProgram() override;
  std::uint32_t StartProgramAs(std::uint32_t session) override;
};

}  // namespace zt
