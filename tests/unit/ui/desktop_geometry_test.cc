// Opening size, window scale, remembered placement and the scaled layout.
#include <gtest/gtest.h>

#include <vector>

#include "ui/layout_scale.h"
#include "ui/window_geometry.h"

namespace kestrelio {
namespace {

// The phone window: 240 x 320 client plus a 26-pixel soft-key bar.
constexpr int kPhoneW = 240;
constexpr int kPhoneH = 346;

TEST(OpeningScale, WindowHeightStaysWithinTwoThirdsOfTheScreen) {
  // 2/3 of 768 = 512: one phone (346) fits, two (692) do not.
  EXPECT_EQ(OpeningScale(kPhoneW, kPhoneH, {0, 0, 1366, 768}), 1);
  // 2/3 of 1080 = 720 holds 692; three (1038) do not.
  EXPECT_EQ(OpeningScale(kPhoneW, kPhoneH, {0, 0, 1920, 1080}), 2);
  // 2/3 of 2160 = 1440 holds four (1384), not five (1730).
  EXPECT_EQ(OpeningScale(kPhoneW, kPhoneH, {0, 0, 3840, 2160}), 4);
  // A panel takes some height: 1040 available gives 693, still two.
  EXPECT_EQ(OpeningScale(kPhoneW, kPhoneH, {0, 40, 1920, 1040}), 2);
}

TEST(OpeningScale, AtLeastOneAndNeverWiderThanTheScreen) {
  EXPECT_EQ(OpeningScale(kPhoneW, kPhoneH, {0, 0, 200, 300}), 1);
  EXPECT_EQ(OpeningScale(kPhoneW, kPhoneH, {0, 0, 0, 0}), 1);
  EXPECT_EQ(OpeningScale(kPhoneW, kPhoneH, {0, 0, 500, 4000}), 2);  // width limits
  EXPECT_EQ(OpeningScale(0, 0, {0, 0, 1920, 1080}), 1);
}

TEST(ScaleForWindow, WholePhonesAcrossAndDown) {
  EXPECT_EQ(ScaleForWindow(240, 346, kPhoneW, kPhoneH), 1);
  EXPECT_EQ(ScaleForWindow(480, 692, kPhoneW, kPhoneH), 2);
  EXPECT_EQ(ScaleForWindow(479, 692, kPhoneW, kPhoneH), 1);
  EXPECT_EQ(ScaleForWindow(1000, 700, kPhoneW, kPhoneH), 2);  // height limits
  EXPECT_EQ(ScaleForWindow(100, 100, kPhoneW, kPhoneH), 1);
}

TEST(Placement, RoundTripsAndRejectsDamagedText) {
  const ScreenRect r{-10, 25, 480, 692};
  EXPECT_EQ(ParsePlacement(FormatPlacement(r)), r);
  for (const char* bad :
       {"", "1,2,3", "1,2,3,4,5", "a,b,c,d", "1,2,0,4", "1,2,3,-4", "1,2,3,4 ", " 1,2,3,4",
        "1,,3,4", "1,2,3,999999", "1;2;3;4", "99999999999999999999,1,1,1"}) {
    EXPECT_FALSE(ParsePlacement(bad)) << bad;
  }
}

TEST(Placement, FitsOnlyWhollyOnAPresentScreen) {
  const std::vector<ScreenRect> screens{{0, 0, 1920, 1080}, {1920, 0, 1280, 1024}};
  EXPECT_TRUE(PlacementFits({100, 100, 480, 692}, screens, kPhoneW, kPhoneH));
  EXPECT_TRUE(PlacementFits({2000, 300, 480, 692}, screens, kPhoneW, kPhoneH));
  // Across the edge between the two screens, or on a screen that has gone.
  EXPECT_FALSE(PlacementFits({1700, 100, 480, 692}, screens, kPhoneW, kPhoneH));
  EXPECT_FALSE(PlacementFits({3300, 100, 480, 692}, screens, kPhoneW, kPhoneH));
  EXPECT_FALSE(PlacementFits({-50, 100, 480, 692}, screens, kPhoneW, kPhoneH));
  // Smaller than the phone.
  EXPECT_FALSE(PlacementFits({100, 100, 200, 692}, screens, kPhoneW, kPhoneH));
  EXPECT_FALSE(PlacementFits({100, 100, 480, 692}, {}, kPhoneW, kPhoneH));
}

Layout PhoneLayout(int w, int h, int view, int chat = 0) {
  LayoutInput in;
  in.client_width = w;
  in.client_height = h;
  in.view_mode = view;
  in.chat_mode = chat;
  return ComputeLayout(in);
}

TEST(ScaleLayout, ScaleOneIsThePhoneLayout) {
  const Layout phone = PhoneLayout(240, 320, 1, 1);
  const Layout same = ScaleLayout(phone, 1, 240, 320);
  EXPECT_EQ(same.primary, phone.primary);
  EXPECT_EQ(same.chat_list, phone.chat_list);
  EXPECT_EQ(same.status_line, phone.status_line);
}

TEST(ScaleLayout, TwiceThePhoneDoublesEveryRectangle) {
  const Layout phone = PhoneLayout(240, 320, 1, 1);
  const Layout big = ScaleLayout(phone, 2, 480, 640);
  EXPECT_EQ(big.scale, 2);
  // With the chat panel the picture area is landscape: primary (0, 0, 160, 159).
  EXPECT_EQ(phone.primary, (VideoRect{0, 0, 160, 159}));
  EXPECT_EQ(big.primary, (VideoRect{0, 0, 320, 318}));
  EXPECT_EQ(big.secondary, (VideoRect{2 * phone.secondary.left, 2 * phone.secondary.top, 480,
                                      2 * phone.secondary.bottom}));
  EXPECT_EQ(big.status_line, (ControlRect{0, 610, 480, 30}));
  EXPECT_EQ(big.send, (ControlRect{2 * phone.send->x, 2 * phone.send->y, 80, 40}));
  EXPECT_EQ(big.cancel.width, 120);
  EXPECT_EQ(big.picture_height, 2 * phone.picture_height);
}

TEST(ScaleLayout, OddSizesReachTheRealBorders) {
  // 485 x 645 at scale 2 is laid out as 242 x 322; edges on that border land on 485 / 645.
  const Layout phone = PhoneLayout(242, 322, 3);
  const Layout big = ScaleLayout(phone, 2, 485, 645);
  EXPECT_EQ(big.secondary.right, 485);
  EXPECT_EQ(big.status_line->y + big.status_line->height, 645);
  EXPECT_EQ(big.status_line->width, 485);
  EXPECT_EQ(big.primary.bottom, big.secondary.top);  // no gap and no overlap between them
}

}  // namespace
}  // namespace kestrelio
