// ControlSessions over the transport's TCP listener. The handset never sends on a control
// session and leaves closing it to the far end, so only the question whether one is open
// has an effect: a prompt that goes unanswered then replies CallNoAnswerRsp (5) rather
// than the cancel form (52).
#pragma once

#include "net/signalling/control_sessions.h"
#include "net/transport/transport.h"

namespace kestrelio {

class TransportSessions final : public ControlSessions {
 public:
  explicit TransportSessions(const Transport& transport) : transport_(transport) {}
  bool HasOpenSession() const override { return transport_.open_sessions() > 0; }
  void CloseSession() override {}
  void ForgetSession() override {}
  void RestoreSavedSession() override {}

 private:
  const Transport& transport_;
};

}  // namespace kestrelio
