// The calls of one handset, as the handset context builds and drives them: signalling
// (the transport's ControlMessageHandler), call control and chat in one object.
//
//   CallService calls(context);
//   transport.Start(config, calls.handler(), media_channel);
//   window handler: calls.OnCommand(id) / calls.OnTimer(id) (true when handled),
//                   Enter in the chat edit: calls.OnChatEnter()
//   shutdown:       calls.Shutdown() before the transport stops
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "base/state/call_flags.h"
#include "base/state/own_identity.h"
#include "base/state/view_flags.h"
#include "base/window/window.h"
#include "call/call_control.h"
#include "call/call_devices.h"
#include "call/call_state.h"
#include "call/chat.h"
#include "net/presence/online_db.h"
#include "net/presence/presence_client.h"
#include "net/signalling/call_signalling.h"
#include "net/signalling/control_sessions.h"
#include "net/transport/control_port.h"
#include "study/study_files.h"

namespace kestrelio {

struct CallServiceContext {
  Window& window;
  DatagramSender& sender;
  PresenceClient& presence;
  OnlineDb& online_db;
  PeerLink& peer_link;
  CallFlags& call_flags;
  ViewFlags& view_flags;
  OwnIdentity& identity;
  CallDevices& devices;
  StudyFiles& study_files;
  ControlSessions& sessions;
  std::mutex& connection_mutex;  // the Connection Mutex
  NetAddress presence_server;
  std::function<void()> pump_events;  // QCoreApplication::processEvents in the app
  EntryPicker pick_entry;             // Contacts / History dialogs, when they exist
  SignallingTimings timings = {};
  NetworkLossWatch* network_loss = nullptr;  // stamped by the video path
};

class CallService {
 public:
  explicit CallService(CallServiceContext context);
  ~CallService();
  CallService(const CallService&) = delete;
  CallService& operator=(const CallService&) = delete;

  ControlMessageHandler& handler() { return signalling_; }

  // Commands kCommandDial, kCommandHangUp, kCommandPause, kCommandSend,
  // kCommandHistoryCall and kCommandCancel; false for any other id.
  bool OnCommand(int command_id);
  // Timers kTimerStatusTick, kTimerNoAnswer, kTimerIncomingPrompt, kTimerNetworkLoss,
  // kTimerIdleReset, kTimerCloseMissedCall and kTimerShowNotices; false for any other id.
  bool OnTimer(int timer_id);
  // The Enter key in the chat edit box (kControlChatEdit).
  void OnChatEnter() { chat_.Send(); }
  // The status line was turned on.
  void OnStatusLineShown() { control_.RefreshStatusLine(); }

  // Ends a running call and the signalling threads (ordered shutdown, GUI thread).
  void Shutdown();

  CallSnapshot Snapshot() const { return control_.Snapshot(); }
  std::vector<std::string> ChatLines() const { return chat_.Lines(); }

  CallControl& control() { return control_; }
  CallSignalling& signalling() { return signalling_; }
  const CallSignalling& signalling() const { return signalling_; }
  ChatControl& chat() { return chat_; }

 private:
  ChatControl chat_;
  CallControl control_;
  CallSignalling signalling_;
  std::mutex& connection_mutex_;
  CallFlags& call_flags_;
};

}  // namespace kestrelio
