#include "ui/line_framer.h"

#include <gtest/gtest.h>

#include <string>

namespace kestrelio {
namespace {

std::vector<std::string> Lines(const std::vector<LineFramer::Piece>& pieces) {
  std::vector<std::string> out;
  for (const auto& piece : pieces) out.push_back(piece.too_long ? "<too long>" : piece.line);
  return out;
}

TEST(LineFramerTest, CompleteLinesComeOutInOrderAndAPartOneWaits) {
  LineFramer framer(16);
  EXPECT_EQ(Lines(framer.Feed("a\nbc\n  \n\nd")), (std::vector<std::string>{"a", "bc"}));
  EXPECT_EQ(framer.buffered(), 1u);
  EXPECT_EQ(Lines(framer.Feed("ef\n")), (std::vector<std::string>{"def"}));
}

TEST(LineFramerTest, ATooLongLineIsRefusedAndTheLinesAfterItInTheSameReadStillComeOut) {
  LineFramer framer(8);
  const std::string data = std::string(50, 'x') + "\n{\"ok\":1}\nnext\n";
  EXPECT_EQ(Lines(framer.Feed(data)),
            (std::vector<std::string>{"<too long>", "{\"ok\":1}", "next"}));
  // Exactly at the bound is fine, also when it arrives in pieces.
  EXPECT_TRUE(framer.Feed("1234").empty());
  EXPECT_EQ(Lines(framer.Feed("5678\n")), (std::vector<std::string>{"12345678"}));
}

// A long line that comes in many reads is refused once, as soon as it passes the bound,
// and nothing of it is kept while its end is awaited; the line after it comes out.
TEST(LineFramerTest, ALongLineOverManyReadsIsRefusedOnceAndSkippedToItsEnd) {
  LineFramer framer(8);
  EXPECT_TRUE(framer.Feed("12345").empty());
  EXPECT_EQ(Lines(framer.Feed("6789")), (std::vector<std::string>{"<too long>"}));
  EXPECT_TRUE(framer.skipping());
  for (int i = 0; i < 1000; ++i) EXPECT_TRUE(framer.Feed(std::string(4096, 'y')).empty());
  EXPECT_EQ(framer.buffered(), 0u);
  EXPECT_EQ(Lines(framer.Feed("yyy\nok\n")), (std::vector<std::string>{"ok"}));
  EXPECT_FALSE(framer.skipping());
}

}  // namespace
}  // namespace kestrelio
