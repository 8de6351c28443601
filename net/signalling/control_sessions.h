// The receive-only TCP control sessions as signalling sees them: whether one is open,
// closing it, and the address of its peer. The transport that accepts the sessions
// implements this; without one (NoControlSessions) every call runs over UDP alone.
#pragma once

#include "net/socket/socket_address.h"

namespace kestrelio {

class ControlSessions {
 public:
  virtual ~ControlSessions() = default;
  // A call socket is current: the last accepted session, unless it was closed or
  // forgotten since (whether or not the far end still sends on it).
  virtual bool HasOpenSession() const = 0;
  // Closes the open session, if any, and marks it closed.
  virtual void CloseSession() = 0;
  // Marks the session closed without closing its socket.
  virtual void ForgetSession() = 0;
  // Makes the session that was current before the last accept current again.
  virtual void RestoreSavedSession() = 0;
};

class NoControlSessions final : public ControlSessions {
 public:
  bool HasOpenSession() const override { return false; }
  void CloseSession() override {}
  void ForgetSession() override {}
  void RestoreSavedSession() override {}
};

}  // namespace kestrelio
