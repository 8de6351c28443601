// The presence server's logic, without sockets: datagrams in, datagrams and log lines out.
//
//   KeepAlive  ──> update the user ──> whole list as UserListInd pages to the source
//                  (a few lists a second per source address at most; a full table
//                  takes a newcomer only in the place of a user who went offline, and
//                  one source address signs in only a few new numbers a minute)
//   CallRequest ─> callee online and idle: CallConnectInd to both parties
//                  callee in a call:       CallBusyRsp to the caller
//                  unknown or offline:     nothing (the handset checked first)
//   CallSetupReport ─> logged
//   anything else ──> counted and logged, never fatal
//
// Single-threaded: the caller serialises HandleDatagram and Sweep. The clock is passed
// in (milliseconds from any fixed origin) so tests can step it.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <span>

#include "net/socket/datagram_sender.h"
#include "net/socket/socket_address.h"
#include "net/wire/header.h"
#include "net/wire/presence_messages.h"
#include "servers/presence/source_limit.h"
#include "servers/presence/user_table.h"

namespace kestrelio {

struct PresenceConfig {
  uint64_t offline_after_ms = 30000;
  // Lists sent to one source address per second (0: no limit, for load measurements).
  uint32_t lists_per_source_per_second = 4;
  // New numbers one source address may sign in per minute (0: no limit). A handset has
  // one number; made-up numbers from one source cannot fill the table.
  uint32_t signins_per_source_per_minute = 6;
  uint32_t server_id = 0;  // names this run in the set-up notes (the start time, say)
};

struct PresenceStats {
  uint64_t keep_alives = 0;
  uint64_t list_pages_sent = 0;
  uint64_t call_requests = 0;
  uint64_t calls_connected = 0;
  uint64_t calls_busy = 0;
  uint64_t calls_refused = 0;  // unknown, offline or own number
  uint64_t setup_reports = 0;
  uint64_t malformed = 0;   // a message that fails its parser
  uint64_t unexpected = 0;  // a sound header whose type the server does not take
  uint64_t table_full = 0;
  uint64_t send_failures = 0;  // answers the socket did not take whole
  uint64_t lists_limited = 0;    // a keep-alive left unanswered: its source had its share
  uint64_t signins_limited = 0;  // a new number refused: its source signed in enough
};

class PresenceServer {
 public:
  // `sender` takes the answers (the UDP socket, or a recorder in tests); `log` receives
  // one JSON line per event, nullptr for none.
  PresenceServer(const PresenceConfig& config, DatagramSender& sender, std::FILE* log);

  void HandleDatagram(std::span<const uint8_t> datagram, const NetAddress& from, uint64_t now_ms);
  // A datagram of `bytes` bytes, larger than any message, that the socket refused unread;
  // `start` is what of it fitted the buffer. Counted and logged as malformed.
  void HandleOversized(std::span<const uint8_t> start, size_t bytes, const NetAddress& from,
                       uint64_t now_ms);
  // Logs users who have gone silent for the offline time since the last sweep.
  void Sweep(uint64_t now_ms);

  const PresenceStats& stats() const { return stats_; }
  const UserTable& users() const { return users_; }

 private:
  void OnKeepAlive(std::span<const uint8_t> datagram, const NetAddress& from, uint64_t now_ms);
  void OnCallRequest(std::span<const uint8_t> datagram, const NetAddress& from, uint64_t now_ms);
  void OnSetupReport(std::span<const uint8_t> datagram, const NetAddress& from, uint64_t now_ms);
  void SendUserList(const PresenceUser& to, uint16_t word4, uint64_t now_ms);
  void SendConnect(const PresenceUser& to, const PresenceUser& peer, uint16_t role,
                   uint16_t call_number, const SetupNote& note);
  void Malformed(std::span<const uint8_t> datagram, const NetAddress& from, uint64_t now_ms);
  void Malformed(int type, size_t bytes, const NetAddress& from, uint64_t now_ms);
  void Answer(std::span<const uint8_t> message, const NetAddress& to);

  PresenceConfig config_;
  DatagramSender& sender_;
  std::FILE* log_;
  UserTable users_;
  SourceLimit list_limit_;
  SourceLimit signin_limit_;
  PresenceStats stats_;
  uint32_t calls_ = 0;
  std::array<uint8_t, kMaxMessageBytes> out_{};
  UserListFields page_{};
};

}  // namespace kestrelio
