#include "net/signalling/call_signalling.h"

#include <array>
#include <chrono>
#include <ctime>
#include <memory>
#include <random>

#include "base/diag.h"
#include "base/tick.h"
#include "net/socket/socket_address.h"
#include "net/wire/media_messages.h"
#include "study/survey_trigger.h"

namespace kestrelio {
namespace {

// The history line of an answered attempt keeps as much of the name as the call log.
constexpr size_t kHistoryAnswerNameChars = kDirectionNameChars;

std::string Cut(std::string_view text, size_t max_chars) {
  return std::string(text.substr(0, max_chars));
}

SignallingPath PathOf(const ReceivedMessage& message) {
  return message.channel == Channel::kTcp ? SignallingPath::kSession : SignallingPath::kUdp;
}

// A call ID as the handset has always drawn it: a generator seeded with the sum of the
// wall clock's hour, minute, second and millisecond, first draw cut to 16 bits.
uint16_t DrawCallId() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&seconds, &local);
  const auto millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::minstd_rand generator(
      static_cast<uint32_t>(local.tm_hour + local.tm_min + local.tm_sec + millis));
  return static_cast<uint16_t>(generator());
}

NetAddress AddressOf(const AddressText& text, uint16_t port) {
  return NetAddress{ParseDottedAddress(text.view()).value_or(0), port};
}

}  // namespace

CallSignalling::CallSignalling(SignallingContext context) : ctx_(context) {}

CallSignalling::~CallSignalling() { Stop(); }

void CallSignalling::Stop() {
  std::list<std::unique_ptr<SignallingThread>> threads;
  {
    std::lock_guard lock(threads_mutex_);
    stopping_ = true;
    threads.swap(threads_);
  }
  // Every wait and every box of these threads ends on its worker's stop request, so
  // the joins never wait for a person.
  for (auto& thread : threads) thread->worker.RequestStop();
  for (auto& thread : threads) thread->worker.Stop();
}

bool CallSignalling::StartThread(std::string name, std::function<void(Worker&)> body) {
  threads_started_.fetch_add(1);
  std::lock_guard lock(threads_mutex_);
  if (stopping_) return false;
  // Threads that have ended are joined here, so the list stays as short as the calls.
  threads_.remove_if(
      [](const std::unique_ptr<SignallingThread>& thread) { return thread->done.load(); });
  auto thread = std::make_unique<SignallingThread>();
  SignallingThread* self = thread.get();
  const bool started =
      self->worker.Start(std::move(name), [self, body = std::move(body)](std::stop_token) {
        body(self->worker);
        self->done.store(true);
      });
  if (started) threads_.push_back(std::move(thread));
  return started;
}

CallSignalling::IncomingSlot CallSignalling::ReserveIncoming(int32_t call_id) {
  std::lock_guard lock(threads_mutex_);
  if (state_.last_call_id.load() == call_id) return IncomingSlot::kKnown;
  int32_t* free_slot = nullptr;
  for (int32_t& id : incoming_ids_) {
    if (id == call_id) return IncomingSlot::kKnown;
    if (id == kNoCallId && free_slot == nullptr) free_slot = &id;
  }
  if (free_slot == nullptr) return IncomingSlot::kFull;
  *free_slot = call_id;
  incoming_running_.fetch_add(1);
  state_.last_call_id.store(call_id);
  return IncomingSlot::kReserved;
}

void CallSignalling::ReleaseIncoming(int32_t call_id) {
  std::lock_guard lock(threads_mutex_);
  for (int32_t& id : incoming_ids_) {
    if (id == call_id) {
      id = kNoCallId;
      incoming_running_.fetch_sub(1);
      return;
    }
  }
}

// ---------------------------------------------------------------------------------------
// Who may say what.

bool CallSignalling::FromServer(const ReceivedMessage& message) const {
  return message.channel == Channel::kUdp && message.from == ctx_.presence_server;
}

bool CallSignalling::FromPeer(const ReceivedMessage& message) const {
  return ctx_.peer_link.IsPeer(message.from.ipv4);
}

bool CallSignalling::PeerMaySpeak(const ReceivedMessage& message) {
  if (!FromPeer(message)) return Drop(drops_.not_peer, message, "not the peer");
  if (!ctx_.call_flags.in_call.load() && !state_.outgoing_open.load() &&
      incoming_running_.load() == 0) {
    return Drop(drops_.not_in_call, message, "no call with the peer");
  }
  return true;
}

bool CallSignalling::Drop(std::atomic<uint32_t>& counter, const ReceivedMessage& message,
                          const char* why) {
  counter.fetch_add(1);
  // One format for every reason: a flood folds into a few lines and a count.
  Diag("[%u] %s message type %u from %s:%u dropped: %s", TickCountMs(),
       message.channel == Channel::kTcp ? "TCP" : "UDP", message.header.type,
       DottedAddress(message.from.ipv4).c_str(), message.from.port, why);
  return false;
}

NetAddress CallSignalling::ReplyAddress(const ReceivedMessage& message) const {
  // Never an address written inside the message: anyone could name a third party there.
  return ctx_.peer_link.Named() ? ctx_.peer_link.Get() : message.from;
}

// ---------------------------------------------------------------------------------------
// Dispatch.

void CallSignalling::OnControlMessage(const ReceivedMessage& message) {
  Dispatch(message);
  // A control session takes the Calling indicator down after every message it reads.
  if (message.channel == Channel::kTcp) ctx_.events.TakeDownCallingIndicator();
}

// And once more when the session ends.
void CallSignalling::OnSessionEnded() { ctx_.events.TakeDownCallingIndicator(); }

void CallSignalling::Dispatch(const ReceivedMessage& message) {
  const bool tcp = message.channel == Channel::kTcp;
  switch (static_cast<MessageType>(message.header.type)) {
    case MessageType::kCallSetupReq:
      OnSetupReq(message);
      return;
    case MessageType::kCallAcceptRsp:
    case MessageType::kCallRejectRsp:
    case MessageType::kCallBusyRsp:
    case MessageType::kCallNoAnswerRsp:
      OnAnswer(message);
      return;
    case MessageType::kCallSetupReqAck: {
      if (tcp) break;
      auto ack = ParseCallSetupReqAck(message.datagram);
      if (ack && SetupEchoCounts(message, ack->call_id, /*caller=*/true)) {
        state_.state.store(SetupPhase::kAnswered);
      }
      return;
    }
    case MessageType::kCallSetupDummyRsp: {
      if (tcp) break;
      auto echo = ParseCallSetupDummyRsp(message.datagram);
      if (echo && SetupEchoCounts(message, echo->call_id, /*caller=*/false)) {
        state_.state.store(SetupPhase::kAnswered);
      }
      return;
    }
    case MessageType::kCallSetupDummyReq: {
      if (tcp) break;
      auto request = ParseCallSetupDummyReq(message.datagram);
      if (!request) return;
      if (ctx_.peer_link.Named() && !FromPeer(message)) {
        Drop(drops_.not_peer, message, "not the peer");
        return;
      }
      std::array<uint8_t, kCallMessageBytes> out{};
      const size_t n = BuildCallSetupDummyRsp(out, EchoOf(*request));
      if (!ctx_.sender.SendTo(std::span(out).first(n), ReplyAddress(message))) {
        ctx_.events.ShowSendError("CallSetupDummyRsp Sending Error", {});
      }
      return;
    }
    case MessageType::kCallReleaseReq:
      OnCallRelease(message);
      return;
    case MessageType::kChatText:
      OnChatText(message);
      return;
    case MessageType::kVideoPauseInd: {
      auto paused = ParseVideoPauseInd(message.datagram);
      if (!paused || !PeerMaySpeak(message)) return;
      ctx_.view_flags.peer_video_paused.store(*paused);
      ctx_.events.PeerPauseChanged();
      return;
    }
    case MessageType::kCallCancelReq:
      OnCancel(message);
      return;
    case MessageType::kUserListInd: {
      if (tcp) break;
      auto page = ParseUserListInd(message.datagram);
      if (!page) return;
      if (!FromServer(message)) {
        Drop(drops_.not_server, message, "not the presence server");
        return;
      }
      ctx_.presence.OnUserListInd(*page);
      return;
    }
    case MessageType::kCallConnectInd:
      if (tcp) break;
      OnCallConnect(message);
      return;
    case MessageType::kPacketLoss:
    case MessageType::kRttProbeReq:
    case MessageType::kRttProbeRsp:
    case MessageType::kVideoData:
      // The media channel takes these on UDP; a control session does not carry them.
      if (tcp) break;
      Diag("[%u] media message type %u reached signalling: dropped", TickCountMs(),
           message.header.type);
      return;
    default:
      break;
  }
  ReportUndefined(message);
}

void CallSignalling::ReportUndefined(const ReceivedMessage& message) {
  Diag("[%u] Undefined Message Type (%u) in %s Socket", TickCountMs(), message.header.type,
       message.channel == Channel::kTcp ? "TCP" : "UDP");
}

void CallSignalling::OnSetupReq(const ReceivedMessage& message) {
  auto request = ParseCallSetupReq(message.datagram);
  if (!request) return;
  // Once the server has named a peer, only that peer may call.
  if (ctx_.peer_link.Named() && !FromPeer(message)) {
    Drop(drops_.not_peer, message, "not the peer");
    return;
  }
  const bool udp = message.channel == Channel::kUdp;
  if (udp) {
    std::array<uint8_t, kCallMessageBytes> out{};
    const size_t n = BuildCallSetupReqAck(out, EchoOf(*request));
    if (!ctx_.sender.SendTo(std::span(out).first(n), ReplyAddress(message))) {
      ctx_.events.ShowSendError("CallSetupReqAck Sending Error", {});
    }
  }
  // One prompt per call ID: the repetitions of a request are acknowledged, no more.
  const int32_t id = request->call_id;
  switch (ReserveIncoming(id)) {
    case IncomingSlot::kKnown:
      return;
    case IncomingSlot::kFull:
      TurnAwayIncoming(message);
      return;
    case IncomingSlot::kReserved:
      break;
  }
  std::string address = PeerAddressText(message);
  const uint32_t from = message.from.ipv4;
  const bool started =
      StartThread("incoming call", [this, fields = *request, address, from](Worker& worker) {
        RunIncomingCall(worker, fields, address, from);
        ReleaseIncoming(fields.call_id);
      });
  if (!started) ReleaseIncoming(id);
}

void CallSignalling::TurnAwayIncoming(const ReceivedMessage& message) {
  drops_.incoming_turned_away.fetch_add(1);
  Diag("[%u] incoming call from %s turned away: %d incoming calls run", TickCountMs(),
       DottedAddress(message.from.ipv4).c_str(), kMaxIncomingCalls);
  if (message.channel != Channel::kUdp) return;  // nothing is sent on a control session
  // Answered as a handset in a call answers: not taken, at once.
  AnswerFields fields;
  fields.type = MessageType::kCallCancelReq;
  fields.phone.Assign(ctx_.identity.phone_number());
  fields.user_name.Assign(ctx_.identity.user_name());
  std::array<uint8_t, kCallMessageBytes> out{};
  const size_t n = BuildCallAnswer(out, fields);
  ctx_.sender.SendTo(std::span(out).first(n), ReplyAddress(message));
}

bool CallSignalling::SetupEchoCounts(const ReceivedMessage& message, uint16_t call_id,
                                     bool caller) {
  if (!FromPeer(message)) return Drop(drops_.not_peer, message, "not the peer");
  const bool current = state_.caller_role.load() == caller &&
                       state_.setup_call_id.load() == call_id &&
                       (!caller || state_.outgoing_open.load());
  if (!current) return Drop(drops_.not_current, message, "not the current attempt");
  return true;
}

void CallSignalling::OnAnswer(const ReceivedMessage& message) {
  auto answer = ParseCallAnswer(message.datagram);
  if (!answer) return;
  const bool tcp = message.channel == Channel::kTcp;
  if (!AnswerCounts(message, answer->type)) return;
  switch (answer->type) {
    case MessageType::kCallAcceptRsp:
      if (!ctx_.call_flags.cancelled.load()) {
        if (!tcp) {
          const PictureSize size =
              PeerPictureSize(answer->video_format, answer->video_width, answer->video_height);
          state_.peer_width.store(size.width);
          state_.peer_height.store(size.height);
          ctx_.events.SetPeerPictureSize(size.width, size.height);
        }
        ctx_.events.StartOfCall(answer->phone.view());
      }
      CloseAnsweredAttempt(*answer, PeerAddressText(message));
      break;
    case MessageType::kCallRejectRsp:
      // Logged and the attempt closed before the refusal is shown: its box holds this
      // thread until the user dismisses it, and the record must not wait for that.
      ctx_.events.LogUnansweredCall(CallDirection::kOutgoing, CallOutcome::kRejected,
                                    answer->user_name.view());
      CloseAnsweredAttempt(*answer, PeerAddressText(message));
      ctx_.events.OutgoingAttemptRefused(AttemptRefusal::kRejected, PathOf(message));
      break;
    case MessageType::kCallBusyRsp:
      // The attempt goes on until its no-answer timer.
      ctx_.events.LogUnansweredCall(CallDirection::kOutgoing, CallOutcome::kBusy,
                                    answer->user_name.view());
      ctx_.events.OutgoingAttemptRefused(AttemptRefusal::kBusy, PathOf(message));
      break;
    case MessageType::kCallNoAnswerRsp:
      CloseAnsweredAttempt(*answer, PeerAddressText(message));
      ctx_.events.OutgoingAttemptRefused(AttemptRefusal::kNoAnswer, PathOf(message));
      break;
    default:
      // The answer form of CallCancelReq is dispatched as a cancel, never here.
      break;
  }
}

bool CallSignalling::AnswerCounts(const ReceivedMessage& message, MessageType type) {
  if (type == MessageType::kCallBusyRsp && message.channel == Channel::kUdp) {
    // On UDP only the server says busy, in answer to this handset's own request.
    if (!FromServer(message)) return Drop(drops_.not_server, message, "not the presence server");
    if (!state_.request_pending.exchange(false) && !state_.outgoing_open.load()) {
      return Drop(drops_.not_current, message, "no call request waits");
    }
    return true;
  }
  if (!FromPeer(message)) return Drop(drops_.not_peer, message, "not the peer");
  if (!state_.outgoing_open.load()) {
    return Drop(drops_.not_current, message, "no outgoing attempt runs");
  }
  return true;
}

void CallSignalling::CloseAnsweredAttempt(const AnswerFields& answer, std::string peer_address) {
  state_.outgoing_open.store(false);
  ctx_.events.OutgoingAttemptAnswered();
  ctx_.call_flags.cancelled.store(true);  // a later answer starts nothing
  ctx_.events.AppendHistory(Cut(answer.user_name.view(), kHistoryAnswerNameChars),
                            answer.phone.view(), HistoryMark::kOut);
  std::lock_guard lock(state_.mutex);
  state_.direction.incoming = false;
  state_.direction.peer_user_name = Cut(answer.user_name.view(), kDirectionNameChars);
  state_.direction.peer_address = std::move(peer_address);
}

void CallSignalling::OnCallRelease(const ReceivedMessage& message) {
  if (!ParseCallReleaseReq(message.datagram)) return;
  if (!FromPeer(message)) {
    Drop(drops_.not_peer, message, "not the peer");
    return;
  }
  if (!ctx_.call_flags.in_call.load()) {
    Drop(drops_.not_in_call, message, "no call runs");
    return;
  }
  bool ended = false;
  {
    std::lock_guard lock(ctx_.connection_mutex);
    if (ctx_.call_flags.in_call.load()) {
      ctx_.events.EndOfCall(/*close_decoder=*/true);
      ended = true;
    }
  }
  // The notice never waits for a person here: call control posts it to the GUI thread,
  // and the Connection Mutex is free before it shows.
  if (ended) ctx_.events.ShowRemoteRelease(PathOf(message));
  ctx_.view_flags.peer_video_paused.store(false);
  ctx_.events.PeerPauseChanged();
}

void CallSignalling::OnChatText(const ReceivedMessage& message) {
  auto chat = ParseChatText(message.datagram);
  if (!chat || !PeerMaySpeak(message)) return;
  ctx_.events.ChatMessageArrived(chat->has_text ? chat->view() : std::u16string_view(),
                                 chat->has_text);
}

void CallSignalling::OnCancel(const ReceivedMessage& message) {
  auto cancel = ParseCallCancelReq(message.datagram);
  if (!cancel) return;
  const bool tcp = message.channel == Channel::kTcp;
  // A cancel belongs to the incoming call being prompted (from the address its request
  // came from) or, as the callee's answer, to this handset's outgoing attempt.
  int32_t incoming_id = kNoCallId;
  {
    std::lock_guard lock(state_.mutex);
    if (state_.cancellable_call_id.load() != kNoCallId &&
        state_.cancellable_from.load() == message.from.ipv4) {
      incoming_id = state_.cancellable_call_id.exchange(kNoCallId);
    }
  }
  const bool outgoing =
      FromPeer(message) && (state_.outgoing_open.load() || state_.outgoing_cancelled.load());
  if (incoming_id == kNoCallId && !outgoing) {
    if (!FromPeer(message)) {
      Drop(drops_.not_peer, message, "not the peer");
    } else {
      Drop(drops_.not_current, message, "no attempt to cancel");
    }
    return;
  }
  if (incoming_id != kNoCallId) {
    ctx_.events.IncomingCallCancelled();  // the open prompt then answers "not answered"
  }
  ctx_.sessions.ForgetSession();
  if (tcp) return;
  std::string name(cancel->user_name.view());
  if (incoming_id != kNoCallId) {
    // A caller's cancel carries no name: log the caller being prompted.
    if (name.empty()) name = Caller().name;
    ctx_.events.LogUnansweredCall(CallDirection::kIncoming, CallOutcome::kCancelled, name);
  } else if (state_.outgoing_cancelled.exchange(false)) {
    // The callee confirms the user's cancel: the attempt is over, logged once.
    state_.outgoing_open.store(false);
    ctx_.events.LogUnansweredCall(CallDirection::kOutgoing, CallOutcome::kCancelled, name);
  }
}

void CallSignalling::OnCallConnect(const ReceivedMessage& message) {
  auto connect = ParseCallConnectInd(message.datagram);
  if (!connect) return;
  if (!FromServer(message)) {
    Drop(drops_.not_server, message, "not the presence server");
    return;
  }
  if (connect->caller() && !RequestAwaitsConnect(connect->peer.phone.view())) {
    Drop(drops_.not_requested, message, "no call request for that number");
    return;
  }
  const uint32_t generation = state_.attempt.fetch_add(1) + 1;
  const uint16_t call_id = DrawCallId();
  state_.setup_call_id.store(call_id);
  state_.outgoing_open.store(connect->caller());
  state_.state.store(SetupPhase::kIdle);
  state_.attempt_limit.store(kSetupAttempts);
  ctx_.call_flags.video_active.store(false);
  ctx_.call_flags.in_call.store(false);
  ctx_.call_flags.calling.store(false);
  ctx_.events.CallSetupBegun();
  state_.caller_role.store(connect->caller());
  ctx_.presence.SetOwnPublicAddress(
      AddressOf(connect->own_public_address, connect->own_public_port));
  {
    std::lock_guard lock(state_.mutex);
    state_.peer = connect->peer;
    state_.note = connect->note;
  }
  ctx_.peer_link.Set(AddressOf(connect->peer.public_address, connect->peer.public_port),
                     ParseDottedAddress(connect->peer.local_address.view()).value_or(0));
  StartThread("call set-up", [this, generation, call_id](Worker& worker) {
    RunSetup(worker, generation, call_id);
  });
}

bool CallSignalling::RequestAwaitsConnect(std::string_view peer_number) {
  if (!state_.request_pending.load()) return false;
  if (TickCountMs() - state_.request_sent_ms.load() > kCallRequestWaitMs) {
    state_.request_pending.store(false);
    return false;
  }
  {
    std::lock_guard lock(state_.mutex);
    if (state_.requested_number != peer_number) return false;
  }
  state_.request_pending.store(false);
  return true;
}

void CallSignalling::EndOutgoingAttempt() {
  state_.request_pending.store(false);
  state_.outgoing_open.store(false);
}

// ---------------------------------------------------------------------------------------
// Threads.

void CallSignalling::RunSetup(Worker& worker, uint32_t generation, uint16_t call_id) {
  const std::stop_token stop = worker.Token();
  const bool caller = state_.caller_role.load();
  std::array<uint8_t, kCallMessageBytes> out{};
  size_t n = 0;
  CallSetupFields fields;
  fields.call_id = call_id;
  fields.phone.Assign(ctx_.identity.phone_number());
  fields.public_address.Assign(ctx_.presence.OwnPublicAddressText());
  fields.public_port = ctx_.presence.OwnPublicAddress().port;
  fields.user_name.Assign(ctx_.identity.user_name());
  std::string_view error_text;
  if (caller) {
    n = BuildCallSetupReq(out, fields);
    error_text = "CallSetupReq Sending Error";
    // Cleared before the request goes out, so that an answer which arrives at once is
    // not taken for a late one.
    ctx_.call_flags.cancelled.store(false);
    ctx_.events.OutgoingAttemptStarting();
    if (!SendToPeer(std::span(out).first(n))) ctx_.events.ShowSendError(error_text, stop);
    ctx_.events.OutgoingAttemptRunning();
  } else {
    n = BuildCallSetupDummyReq(out, fields);
    error_text = "CallSetupDummyReq Sending Error";
    if (!SendToPeer(std::span(out).first(n))) ctx_.events.ShowSendError(error_text, stop);
  }
  // An acknowledgement may already have arrived: it is not overwritten.
  SetupPhase expected = SetupPhase::kIdle;
  state_.state.compare_exchange_strong(expected, SetupPhase::kRepeating);

  int repetitions = 0;
  const int limit = state_.attempt_limit.load();
  for (int i = 0; i < limit; ++i) {
    if (!worker.SleepFor(ctx_.timings.setup_repeat_ms)) break;
    // A later CallConnectInd began another attempt: this one's repetitions end, so an
    // old call ID never reaches the peer again.
    if (state_.attempt.load() != generation) break;
    if (state_.state.load() == SetupPhase::kAnswered) break;
    if (!SendToPeer(std::span(out).first(n))) ctx_.events.ShowSendError(error_text, stop);
    ++repetitions;
  }

  CallSetupReportFields report;
  report.counter = state_.server_message_counter.load();
  const SetupPhase final_phase = state_.state.load();
  report.outcome = final_phase == SetupPhase::kAnswered ? 1 : 0;
  report.role = caller ? 1 : 0;
  report.state = static_cast<uint16_t>(final_phase);
  report.repetitions = static_cast<uint16_t>(repetitions);
  report.peer = PeerEndpoint();
  report.own = OwnEndpoint();
  std::array<uint8_t, kCallSetupReportBytes> report_bytes{};
  const size_t report_n = BuildCallSetupReport(report_bytes, report);
  ctx_.sender.SendTo(std::span(report_bytes).first(report_n), ctx_.presence_server);
}

void CallSignalling::RunIncomingCall(Worker& worker, CallSetupFields request,
                                     std::string peer_address, uint32_t from_ipv4) {
  const std::stop_token stop = worker.Token();
  ctx_.events.IncomingCallArrived();
  const std::string number(request.phone.view());
  const std::string name(request.user_name.view());
  const std::string short_number = Cut(number, PhoneNumber::kMaxChars);
  const std::string short_name = Cut(name, UserName::kMaxChars);
  {
    std::lock_guard lock(state_.mutex);
    state_.caller = IncomingCaller{short_number, short_name};
  }
  ctx_.events.SetChatPeerName(short_name);
  const PictureSize size =
      PeerPictureSize(request.video_format, request.video_width, request.video_height);
  state_.peer_width.store(size.width);
  state_.peer_height.store(size.height);
  ctx_.events.SetPeerPictureSize(size.width, size.height);

  // A running call is not interrupted: the caller hears "not answered" at once.
  CallEvents::PromptOutcome prompt;
  if (!ctx_.call_flags.video_active.load() && !stop.stop_requested()) {
    {
      // The first of several incoming calls is the one a cancel closes and logs.
      std::lock_guard lock(state_.mutex);
      if (state_.cancellable_call_id.load() == kNoCallId) {
        state_.cancellable_call_id.store(request.call_id);
        state_.cancellable_from.store(from_ipv4);
      }
    }
    prompt = ctx_.events.PromptIncomingCall(request.call_id, number, name, stop);
    if (prompt.answer == PromptAnswer::kNo) {
      ctx_.events.LogUnansweredCall(CallDirection::kIncoming, CallOutcome::kRejected, name);
      ctx_.events.SetSurveyTrigger(static_cast<int>(SurveyTrigger::kDeclineCall));
    }
  }
  const PromptAnswer answer = prompt.answer;
  {
    // Answered, closed or timed out: a cancel from now on finds nothing to cancel.
    std::lock_guard lock(state_.mutex);
    if (state_.cancellable_call_id.load() == request.call_id) {
      state_.cancellable_call_id.store(kNoCallId);
    }
  }
  worker.SleepFor(ctx_.timings.after_prompt_ms);
  ctx_.events.IncomingPromptOver(request.call_id, prompt.prompted);

  AnswerFields fields;
  if (answer == PromptAnswer::kYes) {
    fields.type = MessageType::kCallAcceptRsp;
    SendVideoPause(ctx_.view_flags.own_video_paused.load());
  } else if (answer == PromptAnswer::kNo) {
    fields.type = MessageType::kCallRejectRsp;
  } else {
    fields.type = ctx_.sessions.HasOpenSession() ? MessageType::kCallNoAnswerRsp
                                                 : MessageType::kCallCancelReq;
  }
  fields.phone.Assign(ctx_.identity.phone_number());
  fields.user_name.Assign(ctx_.identity.user_name());
  std::array<uint8_t, kCallMessageBytes> out{};
  const size_t n = BuildCallAnswer(out, fields);
  SendToPeer(std::span(out).first(n));

  if (answer == PromptAnswer::kYes) {
    ctx_.events.SetLastDialledNumber(number);
    ctx_.events.StartOfCall(number);
  } else {
    ctx_.events.IncomingCallNotTaken();
    worker.SleepFor(ctx_.timings.after_refusal_ms);
    ctx_.sessions.CloseSession();
  }
  if (fields.type == MessageType::kCallNoAnswerRsp) {
    // A prompt the timer ended has its missed record and line from the timer already.
    if (!prompt.timed_out) {
      ctx_.events.LogUnansweredCall(CallDirection::kIncoming, CallOutcome::kMissed,
                                    ctx_.identity.user_name());
      ctx_.events.AppendHistory(short_name, short_number, HistoryMark::kInMissed);
    }
    ctx_.sessions.RestoreSavedSession();
  } else {
    ctx_.events.AppendHistory(short_name, short_number, HistoryMark::kIn);
    std::lock_guard lock(state_.mutex);
    state_.direction.incoming = true;
    state_.direction.peer_user_name = Cut(name, kDirectionNameChars);
    state_.direction.peer_address = peer_address;
  }
}

// ---------------------------------------------------------------------------------------
// Sends.

bool CallSignalling::SendToPeer(std::span<const uint8_t> message) {
  return ctx_.sender.SendTo(message, ctx_.peer_link.Get());
}

bool CallSignalling::SendCallRequest(std::string_view number) {
  CallRequestFields fields;
  fields.counter = state_.server_message_counter.fetch_add(1);
  fields.phone.Assign(ctx_.identity.phone_number());
  fields.callee = number;
  std::array<uint8_t, kCallRequestBytes> out{};
  const size_t n = BuildCallRequest(out, fields);
  {
    std::lock_guard lock(state_.mutex);
    state_.requested_number = std::string(fields.callee.view());
  }
  state_.request_sent_ms.store(TickCountMs());
  state_.request_pending.store(true);
  return ctx_.sender.SendTo(std::span(out).first(n), ctx_.presence_server);
}

bool CallSignalling::SendCallRelease() {
  std::array<uint8_t, kCallMessageBytes> out{};
  const size_t n = BuildCallReleaseReq(out);
  if (SendToPeer(std::span(out).first(n))) return true;
  ctx_.events.ShowSendError("CallReleaseReq Sending Error", {});
  return false;
}

bool CallSignalling::SendCallCancel() {
  std::array<uint8_t, kHeaderBytes> out{};
  const size_t n = BuildCallCancelReq(out);
  return SendToPeer(std::span(out).first(n));
}

bool CallSignalling::SendVideoPause(bool paused) {
  std::array<uint8_t, kVideoPauseIndBytes> out{};
  const size_t n = BuildVideoPauseInd(out, paused);
  return SendToPeer(std::span(out).first(n));
}

bool CallSignalling::SendChatText(std::u16string_view line) {
  std::array<uint8_t, kHeaderBytes + (kMaxChatChars + 1) * 2> out{};
  const size_t n = BuildChatText(out, line);
  return n != 0 && SendToPeer(std::span(out).first(n));
}

bool CallSignalling::SendRttProbe(uint16_t probe_number) {
  std::array<uint8_t, kRttProbeReqBytes> out{};
  const size_t n = BuildRttProbeReq(out, RttProbeFields{probe_number, TickCountMs()});
  return SendToPeer(std::span(out).first(n));
}

// ---------------------------------------------------------------------------------------
// State access.

Endpoint CallSignalling::PeerEndpoint() const {
  std::lock_guard lock(state_.mutex);
  return state_.peer;
}

std::string CallSignalling::SetupNoteText() const {
  std::lock_guard lock(state_.mutex);
  return std::string(state_.note.view());
}

CallDirectionRecord CallSignalling::Direction() const {
  std::lock_guard lock(state_.mutex);
  return state_.direction;
}

IncomingCaller CallSignalling::Caller() const {
  std::lock_guard lock(state_.mutex);
  return state_.caller;
}

Endpoint CallSignalling::OwnEndpoint() const {
  Endpoint own;
  own.phone.Assign(ctx_.identity.phone_number());
  own.local_address.Assign(ctx_.presence.OwnLocalAddress());
  own.local_port = kHandsetUdpPort;
  own.public_address.Assign(ctx_.presence.OwnPublicAddressText());
  own.public_port = ctx_.presence.OwnPublicAddress().port;
  return own;
}

std::string CallSignalling::PeerAddressText(const ReceivedMessage& message) const {
  if (message.channel == Channel::kTcp) return std::string(DottedAddress(message.from.ipv4).view());
  std::lock_guard lock(state_.mutex);
  return std::string(state_.peer.public_address.view());
}

}  // namespace kestrelio
