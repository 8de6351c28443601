// Framing a control session's byte stream: messages split over receives, several in one
// receive, foreign bytes, lengths that cannot be framed, and the largest message.
#include "net/transport/session_framer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

#include "net/wire/header.h"

namespace kestrelio {
namespace {

std::vector<uint8_t> Message(uint8_t type, size_t length, uint8_t fill = 0xA5) {
  std::vector<uint8_t> bytes(length, fill);
  bytes[0] = kWireVersion;
  bytes[1] = type;
  bytes[2] = static_cast<uint8_t>(length & 0xFF);
  bytes[3] = static_cast<uint8_t>(length >> 8);
  return bytes;
}

class FramerTest : public ::testing::Test {
 protected:
  // Writes `bytes` as one receive would; false if they did not fit.
  bool Receive(std::span<const uint8_t> bytes) {
    auto space = framer_.FreeSpace();
    if (bytes.size() > space.size()) return false;
    std::copy(bytes.begin(), bytes.end(), space.begin());
    framer_.Commit(bytes.size());
    return true;
  }
  // Every item up to kNeedMore, messages copied out.
  std::vector<std::pair<FrameKind, std::vector<uint8_t>>> Drain() {
    std::vector<std::pair<FrameKind, std::vector<uint8_t>>> items;
    for (FrameItem item = framer_.Next(); item.kind != FrameKind::kNeedMore;
         item = framer_.Next()) {
      items.emplace_back(item.kind, std::vector<uint8_t>(item.bytes.begin(), item.bytes.end()));
      if (item.kind == FrameKind::kBadLength) break;
    }
    return items;
  }

  std::unique_ptr<uint8_t[]> storage_ = std::make_unique<uint8_t[]>(kMaxMessageBytes);
  SessionFramer framer_{std::span<uint8_t>(storage_.get(), kMaxMessageBytes)};
};

TEST_F(FramerTest, AMessageSplitOverReceivesComesOutWholeOnce) {
  const auto message = Message(1, 106);
  // Split inside the length field, then inside the body.
  for (size_t cut : {1u, 3u, 5u, 50u, 105u}) {
    ASSERT_TRUE(Receive(std::span(message).first(cut)));
    EXPECT_TRUE(Drain().empty()) << cut;
    ASSERT_TRUE(Receive(std::span(message).subspan(cut)));
    auto items = Drain();
    ASSERT_EQ(items.size(), 1u) << cut;
    EXPECT_EQ(items[0].first, FrameKind::kMessage);
    EXPECT_EQ(items[0].second, message);
    EXPECT_EQ(framer_.buffered(), 0u);
  }
}

TEST_F(FramerTest, SeveralMessagesInOneReceiveComeOutInOrderAndATailWaits) {
  std::vector<uint8_t> stream;
  const auto first = Message(1, 106, 0x01);
  const auto second = Message(51, 7, 0x02);
  const auto third = Message(52, 6, 0x03);
  for (const auto* m : {&first, &second, &third}) stream.insert(stream.end(), m->begin(), m->end());
  const auto fourth = Message(17, 106, 0x04);
  stream.insert(stream.end(), fourth.begin(), fourth.begin() + 20);  // the start of a fourth
  ASSERT_TRUE(Receive(stream));
  auto items = Drain();
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[0].second, first);
  EXPECT_EQ(items[1].second, second);
  EXPECT_EQ(items[2].second, third);
  EXPECT_EQ(framer_.buffered(), 20u);
  ASSERT_TRUE(Receive(std::span(fourth).subspan(20)));
  items = Drain();
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].second, fourth);
}

TEST_F(FramerTest, TheLargestMessageFitsAfterEarlierOnesWereTaken) {
  // A small message leaves the buffer's start used; the largest one still fits whole.
  ASSERT_TRUE(Receive(Message(52, 6)));
  const auto big = Message(49, kMaxMessageBytes);
  ASSERT_TRUE(Receive(std::span(big).first(100)));
  auto items = Drain();
  ASSERT_EQ(items.size(), 1u);
  ASSERT_TRUE(Receive(std::span(big).subspan(100)));
  items = Drain();
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].second.size(), kMaxMessageBytes);
  EXPECT_EQ(items[0].second, big);
}

TEST_F(FramerTest, ForeignBytesAreDroppedAndFramingStartsAgain) {
  std::vector<uint8_t> foreign = {0x10, 0x01, 0x06, 0x00, 0x00, 0x00, 0x11, 0x34};
  ASSERT_TRUE(Receive(foreign));
  auto items = Drain();
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].first, FrameKind::kForeign);
  EXPECT_EQ(items[0].second, foreign);  // everything held goes
  EXPECT_EQ(framer_.buffered(), 0u);
  const auto cancel = Message(52, 6);
  ASSERT_TRUE(Receive(cancel));
  items = Drain();
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].first, FrameKind::kMessage);
  // A sound message before foreign bytes is still handed out first.
  std::vector<uint8_t> mixed = cancel;
  mixed.push_back(0x99);
  ASSERT_TRUE(Receive(mixed));
  items = Drain();
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].first, FrameKind::kMessage);
  EXPECT_EQ(items[1].first, FrameKind::kForeign);
  EXPECT_EQ(items[1].second, std::vector<uint8_t>{0x99});
}

TEST_F(FramerTest, ALengthThatCannotBeFramedBreaksTheStreamForGood) {
  for (uint16_t length : std::array<uint16_t, 5>{0, 1, 5, kMaxMessageBytes + 1, 0xFFFF}) {
    SessionFramer framer(std::span<uint8_t>(storage_.get(), kMaxMessageBytes));
    const std::vector<uint8_t> header = {kWireVersion,
                                         0x01,
                                         static_cast<uint8_t>(length & 0xFF),
                                         static_cast<uint8_t>(length >> 8),
                                         0,
                                         0};
    auto space = framer.FreeSpace();
    std::copy(header.begin(), header.end(), space.begin());
    framer.Commit(header.size());
    const FrameItem item = framer.Next();
    EXPECT_EQ(item.kind, FrameKind::kBadLength) << length;
    EXPECT_EQ(item.length, length);
    // Nothing more is framed and nothing more is taken in.
    EXPECT_EQ(framer.Next().kind, FrameKind::kNeedMore);
    EXPECT_TRUE(framer.FreeSpace().empty());
  }
}

}  // namespace
}  // namespace kestrelio
