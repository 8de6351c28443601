// The status line's font fitting and the incoming-call prompt's recognition.
#include <gtest/gtest.h>

#include "ui/incoming_prompt.h"
#include "ui/status_fit.h"

namespace kestrelio {
namespace {

// A text of `chars` characters each 0.55 em wide, as a proportional font roughly is.
auto Measure(int chars, int* calls = nullptr) {
  return [chars, calls](int px) {
    if (calls != nullptr) ++*calls;
    return chars * px * 55 / 100;
  };
}

TEST(FitStatusFont, LargestSizeAtWhichTheWholeTextFits) {
  // "Disconnected, 0:00, 100%" at 1x: fits at the largest size.
  EXPECT_EQ(FitStatusFont(236, 12, 8, Measure(24)).pixel_size, 12);
  // A call's line of 48 characters in 236 pixels: 48 * 0.55 * px <= 236 gives px 8.
  StatusFit in_call = FitStatusFont(236, 12, 8, Measure(48));
  EXPECT_TRUE(in_call.fits);
  EXPECT_EQ(in_call.pixel_size, 8);
  EXPECT_LE(Measure(48)(in_call.pixel_size), 236);
  EXPECT_GT(Measure(48)(in_call.pixel_size + 1), 236);
  // At twice the size there is room for 18 px.
  EXPECT_EQ(FitStatusFont(476, 24, 8, Measure(48)).pixel_size, 18);
}

TEST(FitStatusFont, NeverBelowTheReadableMinimum) {
  StatusFit fit = FitStatusFont(100, 12, 8, Measure(99));
  EXPECT_FALSE(fit.fits);
  EXPECT_EQ(fit.pixel_size, 8);
  EXPECT_FALSE(FitStatusFont(0, 12, 8, Measure(1)).fits);
  // Bad bounds are put right rather than looping.
  EXPECT_EQ(FitStatusFont(1000, 4, 8, Measure(10)).pixel_size, 8);
}

TEST(FitStatusFont, EveryWidthGivesTheExactBestSize) {
  for (int width = 40; width < 400; width += 7) {
    StatusFit fit = FitStatusFont(width, 30, 6, Measure(20));
    if (!fit.fits) {
      EXPECT_GT(Measure(20)(6), width);
      continue;
    }
    EXPECT_LE(Measure(20)(fit.pixel_size), width);
    if (fit.pixel_size < 30) {
      EXPECT_GT(Measure(20)(fit.pixel_size + 1), width) << width;
    }
  }
}

TEST(IncomingPrompt, RecognisedOnlyInTheConnectionPrompt) {
  auto caller =
      ParseIncomingPrompt("Connection", "Incoming call from 12065550111 (Bob).\n\n Accept?");
  ASSERT_TRUE(caller);
  EXPECT_EQ(caller->number, "12065550111");
  EXPECT_EQ(caller->name, "Bob");
  EXPECT_EQ(IncomingCallSummary(*caller), "Incoming call from Bob (12065550111)");

  EXPECT_FALSE(ParseIncomingPrompt("Connection", "Do you want to hang up?"));
  EXPECT_FALSE(ParseIncomingPrompt("Other", "Incoming call from 1 (A).\n\n Accept?"));
  EXPECT_FALSE(ParseIncomingPrompt("Connection", "Incoming call from 1 A.\n\n Accept?"));
  EXPECT_FALSE(ParseIncomingPrompt("Connection", "Incoming call from 1 (A)."));
}

TEST(IncomingPrompt, NamesFromTheNetworkStayOnOneLine) {
  auto caller =
      ParseIncomingPrompt("Connection", "Incoming call from 555 (Eve (x)\n\x1b[2J).\n\n Accept?");
  ASSERT_TRUE(caller);
  EXPECT_EQ(caller->number, "555");
  EXPECT_EQ(caller->name, "Eve (x)  [2J");
  auto empty = ParseIncomingPrompt("Connection", "Incoming call from  ().\n\n Accept?");
  ASSERT_TRUE(empty);
  EXPECT_EQ(IncomingCallSummary(*empty), "Incoming call from  ()");
}

}  // namespace
}  // namespace kestrelio
