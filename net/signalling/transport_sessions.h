// ControlSessions over the transport's TCP listener.
//
// The production side does nothing yet: only HasOpenSession answers (from the
// transport's count of open sessions, so an unanswered prompt replies CallNoAnswerRsp
// rather than the cancel form CallCancelReq while one is open). CloseSession,
// ForgetSession and RestoreSavedSession are empty: the handset never sends on a control
// session and leaves closing it to the far end. The seam stays so that the TCP call
// socket, when it is built behind it, needs no change in signalling or call control.
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
