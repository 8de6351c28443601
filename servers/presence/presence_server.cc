#include "servers/presence/presence_server.h"

#include <algorithm>
#include <cstdio>

#include "net/wire/call_messages.h"
#include "servers/presence/event_log.h"

namespace kestrelio {

namespace {

// "127.0.0.2:8200" for the log.
struct AddressPort {
  explicit AddressPort(const NetAddress& address) {
    std::snprintf(text, sizeof text, "%s:%u", DottedAddress(address.ipv4).c_str(), address.port);
  }
  char text[32];
};

}  // namespace

PresenceServer::PresenceServer(const PresenceConfig& config, DatagramSender& sender, std::FILE* log)
    : config_(config),
      sender_(sender),
      log_(log),
      users_(config.offline_after_ms),
      list_limit_(config.lists_per_source_per_second, 1000),
      signin_limit_(config.signins_per_source_per_minute, 60000) {}

void PresenceServer::HandleDatagram(std::span<const uint8_t> datagram, const NetAddress& from,
                                    uint64_t now_ms) {
  auto header = ParseHeader(datagram);
  if (!header) {
    Malformed(datagram, from, now_ms);
    return;
  }
  switch (static_cast<MessageType>(header->type)) {
    case MessageType::kKeepAlive:
      OnKeepAlive(datagram, from, now_ms);
      return;
    case MessageType::kCallRequest:
      OnCallRequest(datagram, from, now_ms);
      return;
    case MessageType::kCallSetupReport:
      OnSetupReport(datagram, from, now_ms);
      return;
    default:
      break;
  }
  ++stats_.unexpected;
  const char* name = MessageTypeName(header->type);
  JsonLine(log_, now_ms, "unexpected")
      .Number("type", header->type)
      .Text("name", name != nullptr ? name : "undefined")
      .Number("bytes", static_cast<int64_t>(datagram.size()))
      .Text("from", AddressPort(from).text)
      .Finish();
}

void PresenceServer::HandleOversized(std::span<const uint8_t> start, size_t bytes,
                                     const NetAddress& from, uint64_t now_ms) {
  Malformed(start.size() > 1 ? start[1] : -1, bytes, from, now_ms);
}

void PresenceServer::Malformed(std::span<const uint8_t> datagram, const NetAddress& from,
                               uint64_t now_ms) {
  Malformed(datagram.size() > 1 ? datagram[1] : -1, datagram.size(), from, now_ms);
}

void PresenceServer::Malformed(int type, size_t bytes, const NetAddress& from, uint64_t now_ms) {
  ++stats_.malformed;
  JsonLine(log_, now_ms, "malformed")
      .Number("type", type)
      .Number("bytes", static_cast<int64_t>(bytes))
      .Text("from", AddressPort(from).text)
      .Finish();
}

void PresenceServer::Answer(std::span<const uint8_t> message, const NetAddress& to) {
  if (!sender_.Send(message, to).whole()) ++stats_.send_failures;
}

void PresenceServer::OnKeepAlive(std::span<const uint8_t> datagram, const NetAddress& from,
                                 uint64_t now_ms) {
  auto keep_alive = ParseKeepAlive(datagram);
  if (!keep_alive) {
    Malformed(datagram, from, now_ms);
    return;
  }
  ++stats_.keep_alives;
  if (users_.Find(keep_alive->phone) == nullptr && !signin_limit_.Allow(from, now_ms)) {
    ++stats_.signins_limited;
    JsonLine(log_, now_ms, "signin-limited")
        .Text("phone", keep_alive->phone.view())
        .Text("from", AddressPort(from).text)
        .Finish();
    return;
  }
  bool added = false;
  PresenceUser* user = users_.FindOrAdd(keep_alive->phone, now_ms, &added);
  if (user == nullptr) {
    ++stats_.table_full;
    JsonLine(log_, now_ms, "table-full")
        .Text("phone", keep_alive->phone.view())
        .Text("from", AddressPort(from).text)
        .Finish();
    return;
  }
  bool signed_in = added || users_.IsOffline(*user, now_ms);
  bool status_changed = !signed_in && user->reported_status != keep_alive->status;
  user->user_name = keep_alive->user_name;
  user->device_id = keep_alive->device_id;
  user->version = keep_alive->version;
  user->local_address = keep_alive->local_address;
  user->local_port = keep_alive->local_port;
  if (user->public_address != from || added) {
    user->public_address = from;
    user->public_text = DottedAddress(from.ipv4).c_str();
  }
  user->reported_status = keep_alive->status;
  user->last_seen_ms = now_ms;
  user->offline_reported = false;

  JsonLine(log_, now_ms, "keepalive")
      .Text("phone", user->phone.view())
      .Text("name", user->user_name.view())
      .Number("status", user->reported_status)
      .Number("counter", keep_alive->counter)
      .Text("from", AddressPort(from).text)
      .Bool("signin", signed_in)
      .Bool("status_changed", status_changed)
      .Finish();
  // The user is kept up to date either way; only the answer is bounded.
  if (!list_limit_.Allow(from, now_ms)) {
    ++stats_.lists_limited;
    return;
  }
  SendUserList(*user, keep_alive->counter, now_ms);
}

void PresenceServer::SendUserList(const PresenceUser& to, uint16_t word4, uint64_t now_ms) {
  auto all = users_.users();
  size_t pages =
      std::max<size_t>(1, (all.size() + kUserListPageEntries - 1) / kUserListPageEntries);
  page_.word4 = word4;
  page_.public_address = to.public_text;
  page_.public_port = to.public_address.port;
  page_.page_count = static_cast<uint16_t>(pages);
  page_.total = static_cast<uint16_t>(all.size());
  for (size_t p = 0; p < pages; ++p) {
    size_t first = p * kUserListPageEntries;
    size_t count = std::min(kUserListPageEntries, all.size() - first);
    page_.page = static_cast<uint16_t>(p + 1);
    page_.entry_count = static_cast<uint16_t>(count);
    for (size_t i = 0; i < count; ++i) {
      const PresenceUser& user = all[first + i];
      page_.entries[i].status = users_.ListedStatus(user, now_ms);
      page_.entries[i].phone = user.phone;
      page_.entries[i].user_name = user.user_name;
    }
    size_t length = BuildUserListInd(out_, page_);
    if (length == 0) continue;  // cannot happen: a page always fits the buffer
    Answer(std::span(out_).first(length), to.public_address);
    ++stats_.list_pages_sent;
  }
}

void PresenceServer::OnCallRequest(std::span<const uint8_t> datagram, const NetAddress& from,
                                   uint64_t now_ms) {
  auto request = ParseCallRequest(datagram);
  if (!request) {
    Malformed(datagram, from, now_ms);
    return;
  }
  ++stats_.call_requests;
  auto refuse = [&](const char* reason) {
    ++stats_.calls_refused;
    JsonLine(log_, now_ms, "call-refused")
        .Text("caller", request->phone.view())
        .Text("callee", request->callee.view())
        .Text("reason", reason)
        .Text("from", AddressPort(from).text)
        .Finish();
  };
  PresenceUser* caller = users_.Find(request->phone);
  if (caller == nullptr) return refuse("caller-unknown");
  if (request->callee == request->phone) return refuse("own-number");
  PresenceUser* callee = users_.Find(request->callee);
  if (callee == nullptr) return refuse("callee-unknown");
  uint16_t callee_status = users_.ListedStatus(*callee, now_ms);
  if (callee_status == kStatusOffline) return refuse("callee-offline");

  // The request comes from the caller's own socket: its source is where the answer goes.
  if (caller->public_address != from) {
    caller->public_address = from;
    caller->public_text = DottedAddress(from.ipv4).c_str();
  }

  if (callee_status == kStatusInCall) {
    ++stats_.calls_busy;
    AnswerFields busy;
    busy.type = MessageType::kCallBusyRsp;
    busy.phone = callee->phone;
    busy.user_name = callee->user_name;
    size_t length = BuildCallAnswer(out_, busy);
    if (length != 0) Answer(std::span(out_).first(length), caller->public_address);
    JsonLine(log_, now_ms, "call-busy")
        .Text("caller", caller->phone.view())
        .Text("callee", callee->phone.view())
        .Finish();
    return;
  }

  ++calls_;
  auto call_number = static_cast<uint16_t>(calls_);
  char note_text[SetupNote::kSlotBytes];
  std::snprintf(note_text, sizeof note_text, "K%08X-%u", config_.server_id, calls_ % 100000000u);
  SetupNote note(note_text);
  SendConnect(*caller, *callee, 1, call_number, note);
  SendConnect(*callee, *caller, 0, call_number, note);
  ++stats_.calls_connected;
  JsonLine(log_, now_ms, "call-connect")
      .Text("caller", caller->phone.view())
      .Text("callee", callee->phone.view())
      .Number("call", calls_)
      .Text("note", note.view())
      .Text("caller_at", AddressPort(caller->public_address).text)
      .Text("callee_at", AddressPort(callee->public_address).text)
      .Finish();
}

void PresenceServer::SendConnect(const PresenceUser& to, const PresenceUser& peer, uint16_t role,
                                 uint16_t call_number, const SetupNote& note) {
  CallConnectFields connect;
  connect.call_number = call_number;
  connect.role = role;
  connect.peer = peer.AsEndpoint();
  connect.own_public_address = to.public_text;
  connect.own_public_port = to.public_address.port;
  connect.note = note;
  size_t length = BuildCallConnectInd(out_, connect);
  if (length != 0) Answer(std::span(out_).first(length), to.public_address);
}

void PresenceServer::OnSetupReport(std::span<const uint8_t> datagram, const NetAddress& from,
                                   uint64_t now_ms) {
  auto report = ParseCallSetupReport(datagram);
  if (!report) {
    Malformed(datagram, from, now_ms);
    return;
  }
  ++stats_.setup_reports;
  JsonLine(log_, now_ms, "setup-report")
      .Text("phone", report->own.phone.view())
      .Text("peer", report->peer.phone.view())
      .Number("counter", report->counter)
      .Number("outcome", report->outcome)
      .Number("role", report->role)
      .Number("state", report->state)
      .Number("repetitions", report->repetitions)
      .Text("from", AddressPort(from).text)
      .Finish();
}

void PresenceServer::Sweep(uint64_t now_ms) {
  for (PresenceUser& user : users_.users()) {
    if (user.offline_reported || !users_.IsOffline(user, now_ms)) continue;
    user.offline_reported = true;
    JsonLine(log_, now_ms, "offline")
        .Text("phone", user.phone.view())
        .Number("silent_ms", static_cast<int64_t>(now_ms - user.last_seen_ms))
        .Finish();
  }
}

}  // namespace kestrelio
