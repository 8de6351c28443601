// The presence server's logic with a scripted sender: answers that the socket does not
// take whole are counted, and a datagram the socket reported as oversized is malformed.
#include "servers/presence/presence_server.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

#include "base/diag.h"
#include "net/wire/presence_messages.h"

namespace kestrelio {
namespace {

constexpr NetAddress kHandset{0x7F000002, 8200};

class ScriptedSender final : public DatagramSender {
 public:
  SendResult Send(std::span<const uint8_t> message, const NetAddress& to) override {
    sent.emplace_back(message.begin(), message.end());
    destinations.push_back(to);
    return fail ? SendResult::Failed(ENOBUFS) : SendResult::Sent(message.size());
  }
  bool fail = false;
  std::vector<std::vector<uint8_t>> sent;
  std::vector<NetAddress> destinations;
};

std::vector<uint8_t> KeepAlive(const char* phone) {
  KeepAliveFields fields;
  fields.phone = phone;
  fields.user_name = "Alice";
  fields.local_address = "127.0.0.2";
  std::vector<uint8_t> message(kKeepAliveBytes);
  message.resize(BuildKeepAlive(message, fields));
  return message;
}

TEST(PresenceServerTest, AnswersTheKeepAliveThroughTheSender) {
  ScriptedSender sender;
  PresenceServer server(PresenceConfig{}, sender, nullptr);
  server.HandleDatagram(KeepAlive("01000000002"), kHandset, 1000);
  ASSERT_EQ(sender.sent.size(), 1u);
  EXPECT_EQ(sender.destinations[0], kHandset);
  EXPECT_TRUE(ParseUserListInd(sender.sent[0]).has_value());
  EXPECT_EQ(server.stats().send_failures, 0u);
}

TEST(PresenceServerTest, AnswersTheSocketRefusesAreCounted) {
  DiagQuietScope quiet;
  ScriptedSender sender;
  sender.fail = true;
  PresenceServer server(PresenceConfig{}, sender, nullptr);
  server.HandleDatagram(KeepAlive("01000000002"), kHandset, 1000);
  server.HandleDatagram(KeepAlive("01000000002"), kHandset, 2000);
  EXPECT_EQ(server.stats().list_pages_sent, 2u);
  EXPECT_EQ(server.stats().send_failures, 2u);
  // The user is listed all the same.
  EXPECT_EQ(server.users().size(), 1u);
}

TEST(PresenceServerTest, AnOversizedDatagramIsMalformedAndAnswersNothing) {
  ScriptedSender sender;
  PresenceServer server(PresenceConfig{}, sender, nullptr);
  const std::vector<uint8_t> start(kMaxMessageBytes, 0x11);
  server.HandleOversized(start, kMaxMessageBytes + 100, kHandset, 1000);
  server.HandleOversized({}, 70000, kHandset, 1000);
  EXPECT_EQ(server.stats().malformed, 2u);
  EXPECT_TRUE(sender.sent.empty());
  EXPECT_EQ(server.users().size(), 0u);
}

}  // namespace
}  // namespace kestrelio
