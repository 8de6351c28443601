// The socket-free presence server core with a stepped clock, a recording sender and its
// event log in memory: handsets are phone numbers at loopback addresses, and what the
// server answers is read back per address.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "net/wire/call_messages.h"
#include "net/wire/presence_messages.h"
#include "servers/presence/presence_server.h"

namespace kestrelio::testing {

// Milliseconds from an arbitrary origin, moved only by the test.
class SteppedClock {
 public:
  uint64_t now_ms() const { return now_ms_; }
  void Advance(uint64_t ms) { now_ms_ += ms; }

 private:
  uint64_t now_ms_ = 1'000'000;
};

class RecordingDatagramSender : public DatagramSender {
 public:
  struct Sent {
    std::vector<uint8_t> bytes;
    NetAddress to;
  };
  SendResult Send(std::span<const uint8_t> message, const NetAddress& to) override {
    sent_.push_back({{message.begin(), message.end()}, to});
    return SendResult::Sent(message.size());
  }
  const std::vector<Sent>& sent() const { return sent_; }
  // What went to `to`, removed from the record.
  std::vector<std::vector<uint8_t>> TakeFor(const NetAddress& to) {
    std::vector<std::vector<uint8_t>> out;
    std::vector<Sent> rest;
    for (auto& sent : sent_) {
      if (sent.to == to) {
        out.push_back(std::move(sent.bytes));
      } else {
        rest.push_back(std::move(sent));
      }
    }
    sent_ = std::move(rest);
    return out;
  }
  void Clear() { sent_.clear(); }

 private:
  std::vector<Sent> sent_;
};

class PresenceCoreRig {
 public:
  static constexpr uint64_t kOfflineAfterMs = 30000;
  static constexpr uint32_t kServerId = 0xABCD;

  PresenceCoreRig()
      : log_(std::tmpfile()),
        server_(PresenceConfig{.offline_after_ms = kOfflineAfterMs, .server_id = kServerId},
                sender_, log_) {}
  ~PresenceCoreRig() {
    if (log_ != nullptr) std::fclose(log_);
  }
  PresenceCoreRig(const PresenceCoreRig&) = delete;
  PresenceCoreRig& operator=(const PresenceCoreRig&) = delete;

  // A handset's address: 127.0.1.n, port 8200 + n.
  static NetAddress AddressOf(int handset) {
    return NetAddress{0x7F000100u + static_cast<uint32_t>(handset),
                      static_cast<uint16_t>(8200 + handset)};
  }
  // Its phone number: "120655501" followed by n in three digits.
  static std::string PhoneOf(int handset) {
    char text[16];
    std::snprintf(text, sizeof text, "120655501%03d", handset % 1000);
    return text;
  }
  static std::string NameOf(int handset) { return "User " + std::to_string(handset); }

  void KeepAlive(int handset, uint16_t status = kStatusIdle, uint16_t counter = 7) {
    KeepAliveFields fields;
    fields.counter = counter;
    fields.phone.Assign(PhoneOf(handset));
    fields.local_address = "192.168.7.1";
    fields.user_name.Assign(NameOf(handset));
    fields.device_id = "00112233445566778899";
    fields.status = status;
    std::vector<uint8_t> out(kMaxMessageBytes);
    out.resize(BuildKeepAlive(out, fields));
    Deliver(out, AddressOf(handset));
  }

  void CallRequest(int caller, const std::string& callee) {
    CallRequestFields fields;
    fields.counter = 3;
    fields.phone.Assign(PhoneOf(caller));
    fields.callee.Assign(callee);
    std::vector<uint8_t> out(kMaxMessageBytes);
    out.resize(BuildCallRequest(out, fields));
    Deliver(out, AddressOf(caller));
  }

  void Deliver(std::span<const uint8_t> datagram, const NetAddress& from) {
    server_.HandleDatagram(datagram, from, clock_.now_ms());
  }
  void Sweep() { server_.Sweep(clock_.now_ms()); }

  // The list pages the last keep-alive of `handset` was answered with (and anything else
  // sent there since the last take, which is then not a page and fails the parse).
  std::vector<UserListFields> TakePages(int handset) {
    std::vector<UserListFields> pages;
    for (const auto& bytes : sender_.TakeFor(AddressOf(handset))) {
      auto page = ParseUserListInd(bytes);
      if (page) pages.push_back(*page);
    }
    return pages;
  }
  // The status `handset` sees `other` listed with in its pages; nullopt when not listed.
  static std::optional<uint16_t> ListedStatus(const std::vector<UserListFields>& pages, int other) {
    for (const auto& page : pages) {
      for (const auto& entry : page.page_entries()) {
        if (entry.phone.view() == PhoneOf(other)) return entry.status;
      }
    }
    return std::nullopt;
  }

  // Every line of the event log so far.
  std::vector<std::string> LogLines() const {
    std::vector<std::string> lines;
    if (log_ == nullptr) return lines;
    std::fflush(log_);
    std::rewind(log_);
    std::string line;
    for (int c; (c = std::fgetc(log_)) != EOF;) {
      if (c == '\n') {
        lines.push_back(line);
        line.clear();
      } else {
        line.push_back(static_cast<char>(c));
      }
    }
    std::fseek(log_, 0, SEEK_END);
    return lines;
  }
  // Log lines of one event ("keepalive", "offline", ...).
  std::vector<std::string> Events(const std::string& event) const {
    std::vector<std::string> out;
    for (auto& line : LogLines()) {
      if (line.find("\"event\":\"" + event + "\"") != std::string::npos) out.push_back(line);
    }
    return out;
  }

  SteppedClock& clock() { return clock_; }
  RecordingDatagramSender& sender() { return sender_; }
  PresenceServer& server() { return server_; }

 private:
  SteppedClock clock_;
  RecordingDatagramSender sender_;
  std::FILE* log_;
  PresenceServer server_;
};

}  // namespace kestrelio::testing
