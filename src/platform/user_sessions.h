// The users' sessions on this machine, and this program started in one of
// them as the user logged on there: what a setup run as SYSTEM (by a
// deployment tool) needs to start the program on the user's desktop.
#pragma once

#include <cstdint>
#include <vector>

namespace zt {

// Where a session stands; only an active one has a user at its desktop.
enum class SessionState { kActive, kConnected, kDisconnected, kIdle, kOther };

struct UserSession {
  std::uint32_t id = 0;
  SessionState state = SessionState::kOther;
};

inline constexpr std::uint32_t kNoSession = 0xFFFFFFFF;

class IUserSessions {
public:
  virtual ~IUserSessions() = default;
  // The session attached to the physical console; kNoSession while none is
  // (during a switch of sessions).
  virtual std::uint32_t ConsoleSession() = 0;
  // Every session; false with the system's error when it refuses.
  virtual bool ListSessions(std::vector<UserSession>& sessions, std::uint32_t& error) = 0;
  // The session a process of this program runs in, this process left out;
  // kNoSession when it runs nowhere.
  virtual std::uint32_t SessionOfProgram() = 0;
  // Starts this program in the session as the user logged on there, on
  // that user's desktop and with that user's environment: 0, or the
  // system's error of the first call that refused (1314: the caller may not
  // take a user's token, it is not SYSTEM; 2: no such session; 1008: no
  // user logged on in it).
  virtual std::uint32_t StartProgramAs(std::uint32_t session) = 0;
};

}  // namespace zt
