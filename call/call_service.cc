#include "call/call_service.h"

#include "base/window/ids.h"

namespace kestrelio {

CallService::CallService(CallServiceContext c)
    : chat_(c.window, c.call_flags, c.devices, c.identity,
            [this](std::u16string_view line) { return signalling_.SendChatText(line); }),
      control_(CallControlContext{c.window, c.call_flags, c.view_flags, c.devices, c.study_files,
                                  c.online_db, c.presence, c.identity, c.sessions,
                                  c.connection_mutex, c.pump_events, c.pick_entry, c.network_loss},
               signalling_, chat_),
      signalling_(SignallingContext{c.sender, c.presence, c.peer_link, c.call_flags, c.view_flags,
                                    c.identity, control_, c.sessions, c.connection_mutex,
                                    c.presence_server, c.timings}),
      connection_mutex_(c.connection_mutex),
      call_flags_(c.call_flags) {}

CallService::~CallService() { signalling_.Stop(); }

bool CallService::OnCommand(int command_id) {
  switch (command_id) {
    case kCommandDial:
      control_.OnDial();
      return true;
    case kCommandHangUp:
      control_.OnHangUp();
      return true;
    case kCommandPause:
      control_.OnPauseToggled();
      return true;
    case kCommandSend:
      chat_.Send();
      return true;
    case kCommandHistoryCall:
      control_.OnHistoryCall();
      return true;
    case kCommandCancel:
      control_.OnCancel();
      return true;
    default:
      return false;
  }
}

bool CallService::OnTimer(int timer_id) {
  switch (timer_id) {
    case kTimerStatusTick:
      control_.OnStatusTick();
      return true;
    case kTimerNoAnswer:
      control_.OnNoAnswer();
      return true;
    case kTimerIncomingPrompt:
      control_.OnPromptTimeout();
      return true;
    case kTimerNetworkLoss:
      control_.OnNetworkLoss();
      return true;
    case kTimerIdleReset:
      control_.OnIdleReset();
      return true;
    case kTimerCloseMissedCall:
      control_.OnCloseMissedCall();
      return true;
    case kTimerShowNotices:
      control_.OnShowNotices();
      return true;
    default:
      return false;
  }
}

void CallService::Shutdown() {
  signalling_.Stop();
  // The window may close from inside a GUI frame that holds the Connection Mutex (the
  // hang-up question, the wait after a hang-up, the network-loss box): this thread owns
  // it already, so no other end of call can run, and waiting for it would never end.
  std::unique_lock<std::mutex> lock;
  if (!control_.GuiHoldsConnection()) lock = std::unique_lock(connection_mutex_);
  if (call_flags_.in_call.load()) {
    // The peer hears the call end now rather than five seconds later from the silence.
    signalling_.SendCallRelease();
    control_.EndOfCall(/*close_decoder=*/true);
  }
}

}  // namespace kestrelio
