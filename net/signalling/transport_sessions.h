// ControlSessions over the transport's TCP listener: the call socket and the saved call
// socket that the transport keeps (net/transport/transport.h).
#pragma once

#include "net/signalling/control_sessions.h"
#include "net/transport/transport.h"

namespace kestrelio {

class TransportSessions final : public ControlSessions {
 public:
  explicit TransportSessions(Transport& transport) : transport_(transport) {}
  bool HasOpenSession() const override { return transport_.has_call_socket(); }
  void CloseSession() override { transport_.CloseCallSocket(); }
  void ForgetSession() override { transport_.ForgetCallSocket(); }
  void RestoreSavedSession() override { transport_.RestoreSavedCallSocket(); }

 private:
  Transport& transport_;
};

}  // namespace kestrelio
