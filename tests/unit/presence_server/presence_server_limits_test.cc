// The presence server's core without sockets: keep-alives in, list pages out, with a
// stepped clock.
#include "servers/presence/presence_server.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrelio {
namespace {

struct SentDatagram {
  std::vector<uint8_t> bytes;
  NetAddress to;
};

class Recorder : public DatagramSender {
 public:
  SendResult Send(std::span<const uint8_t> message, const NetAddress& to) override {
    sent.push_back({std::vector<uint8_t>(message.begin(), message.end()), to});
    return SendResult::Sent(message.size());
  }
  // Lists (last pages) sent to `to`.
  size_t ListsTo(const NetAddress& to) const {
    size_t n = 0;
    for (const SentDatagram& d : sent) {
      auto page = ParseUserListInd(d.bytes);
      if (page && d.to == to && page->page == page->page_count) ++n;
    }
    return n;
  }
  std::vector<SentDatagram> sent;
};

std::string Number(int i) {
  std::string digits = std::to_string(i);
  return "0106" + std::string(7 - digits.size(), '0') + digits;
}

NetAddress Source(int i) {
  return NetAddress{0x0A000000u + static_cast<uint32_t>(i), static_cast<uint16_t>(8200)};
}

class PresenceServerLimitsTest : public ::testing::Test {
 protected:
  void KeepAlive(const std::string& phone, const NetAddress& from, uint64_t now_ms) {
    KeepAliveFields fields;
    fields.phone.Assign(phone);
    fields.user_name = "User";
    std::vector<uint8_t> out(kKeepAliveBytes);
    server_.HandleDatagram(std::span(out).first(BuildKeepAlive(out, fields)), from, now_ms);
  }
  bool Listed(const std::string& phone) {
    for (const PresenceUser& user : server_.users().users()) {
      if (user.phone.view() == phone) return true;
    }
    return false;
  }

  PresenceConfig config_;
  Recorder sender_;
  PresenceServer server_{config_, sender_, nullptr};
};

TEST_F(PresenceServerLimitsTest, EveryKeepAliveOfAHandsetIsAnswered) {
  for (uint64_t t = 0; t < 600000; t += 10000) KeepAlive(Number(1), Source(1), t);
  EXPECT_EQ(sender_.ListsTo(Source(1)), 60u);
  EXPECT_EQ(server_.stats().lists_limited, 0u);
}

TEST_F(PresenceServerLimitsTest, AFloodFromOneSourceGetsAFewListsASecondAndIsStillRecorded) {
  for (int i = 0; i < 1000; ++i) KeepAlive(Number(1), Source(1), 1000 + i / 100);
  EXPECT_EQ(sender_.ListsTo(Source(1)), config_.lists_per_source_per_second);
  EXPECT_EQ(server_.stats().lists_limited, 1000u - config_.lists_per_source_per_second);
  EXPECT_EQ(server_.stats().keep_alives, 1000u);
  // The next second the source is answered again, and others never waited.
  KeepAlive(Number(1), Source(1), 2000);
  EXPECT_EQ(sender_.ListsTo(Source(1)), config_.lists_per_source_per_second + 1);
  KeepAlive(Number(2), Source(2), 1500);
  EXPECT_EQ(sender_.ListsTo(Source(2)), 1u);
}

TEST_F(PresenceServerLimitsTest, OneSourceSignsInOnlyAFewNewNumbersAMinute) {
  for (int i = 0; i < 100; ++i) KeepAlive(Number(i), Source(1), 1000);
  EXPECT_EQ(server_.users().size(), config_.signins_per_source_per_minute);
  EXPECT_EQ(server_.stats().signins_limited, 100u - config_.signins_per_source_per_minute);
  // A number already listed keeps being refreshed from that source.
  KeepAlive(Number(0), Source(1), 2000);
  EXPECT_EQ(server_.users().users()[0].last_seen_ms, 2000u);
  // Other sources sign in as usual; a minute later the first may add more.
  KeepAlive(Number(500), Source(2), 2000);
  EXPECT_TRUE(Listed(Number(500)));
  KeepAlive(Number(99), Source(1), 61000);
  EXPECT_TRUE(Listed(Number(99)));
}

TEST_F(PresenceServerLimitsTest, AFullTableTakesANewcomerOnlyInThePlaceOfAUserWhoWentOffline) {
  // A full table: user i from source i, all online.
  for (int i = 0; i < static_cast<int>(kMaxListedUsers); ++i) {
    KeepAlive(Number(i), Source(i), 1000);
  }
  ASSERT_EQ(server_.users().size(), kMaxListedUsers);
  KeepAlive(Number(1000), Source(1000), 2000);
  EXPECT_FALSE(Listed(Number(1000)));
  EXPECT_EQ(server_.stats().table_full, 1u);

  // Everyone but users 7 and 9 keeps alive; 9 fell silent first.
  KeepAlive(Number(9), Source(9), 500);  // an older, out-of-order stamp: 9 is the oldest
  for (uint64_t t = 11000; t <= 41000; t += 10000) {
    for (int i = 0; i < static_cast<int>(kMaxListedUsers); ++i) {
      if (i != 7 && i != 9) KeepAlive(Number(i), Source(i), t);
    }
  }
  const uint64_t now = 41000;  // 7 and 9 have been silent past the offline time
  KeepAlive(Number(1000), Source(1000), now);
  EXPECT_TRUE(Listed(Number(1000)));
  EXPECT_FALSE(Listed(Number(9)));  // the one silent longest went
  EXPECT_TRUE(Listed(Number(7)));
  KeepAlive(Number(1001), Source(1001), now);
  EXPECT_TRUE(Listed(Number(1001)));
  EXPECT_FALSE(Listed(Number(7)));
  // Now only online users are left: the next newcomer is refused, nobody displaced.
  KeepAlive(Number(1002), Source(1002), now);
  EXPECT_FALSE(Listed(Number(1002)));
  for (int i = 0; i < static_cast<int>(kMaxListedUsers); ++i) {
    if (i != 7 && i != 9) {
      EXPECT_TRUE(Listed(Number(i))) << i;
    }
  }
}

}  // namespace
}  // namespace kestrelio
