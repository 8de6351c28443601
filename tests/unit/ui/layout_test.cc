#include "ui/layout.h"

#include <gtest/gtest.h>

namespace kestrelio {
namespace {

Layout Compute(int w, int h, int view, bool status = true, int chat = 0,
               VideoRect prev_primary = {}, VideoRect prev_secondary = {}) {
  LayoutInput in;
  in.client_width = w;
  in.client_height = h;
  in.status_line_on = status;
  in.chat_mode = chat;
  in.view_mode = view;
  in.previous_primary = prev_primary;
  in.previous_secondary = prev_secondary;
  return ComputeLayout(in);
}

TEST(LayoutPortrait, AllViewsOn240x320WithStatusLine) {
  // P = 320 - 15 = 305.
  const VideoRect keep{1, 2, 3, 4};
  Layout v0 = Compute(240, 320, 0, true, 0, {}, keep);
  EXPECT_EQ(v0.primary, (VideoRect{0, 0, 240, 305}));
  EXPECT_EQ(v0.secondary, keep);  // view 0 leaves the secondary rectangle alone

  Layout v1 = Compute(240, 320, 1);
  EXPECT_EQ(v1.primary, (VideoRect{0, 0, 159, 191}));
  EXPECT_EQ(v1.secondary, (VideoRect{159, 203, 240, 305}));  // 2*305/3 = 203

  Layout v2 = Compute(240, 320, 2);
  EXPECT_EQ(v2.primary, (VideoRect{0, 0, 160, 244}));  // 4*305/5 = 244
  EXPECT_EQ(v2.secondary, (VideoRect{160, 160, 240, 305}));

  Layout v3 = Compute(240, 320, 3);
  EXPECT_EQ(v3.primary, (VideoRect{0, 0, 240, 152}));
  EXPECT_EQ(v3.secondary, (VideoRect{0, 152, 240, 305}));
}

TEST(LayoutPortrait, ControlsOfStatusLineAndCalling) {
  Layout on = Compute(240, 320, 1);
  ASSERT_TRUE(on.status_line);
  EXPECT_EQ(*on.status_line, (ControlRect{0, 305, 240, 15}));
  EXPECT_EQ(on.cancel, (ControlRect{90, 185, 60, 20}));
  EXPECT_EQ(on.calling, (ControlRect{75, 135, 90, 80}));
  EXPECT_FALSE(on.chat_list);
  EXPECT_FALSE(on.plus_visible);

  Layout off = Compute(240, 320, 1, false);
  EXPECT_FALSE(off.status_line);
  EXPECT_EQ(off.cancel, (ControlRect{90, 200, 60, 20}));
}

TEST(LayoutPortrait, StatusLineHiddenGainsFifteenPixels) {
  for (int view = 0; view < 4; ++view) {
    Layout on = Compute(240, 320, view);
    Layout off = Compute(240, 320, view, false);
    EXPECT_EQ(on.picture_height + 15, off.picture_height) << view;
    const VideoRect& bottom_rect = view == 0 ? off.primary : off.secondary;
    EXPECT_EQ(bottom_rect.bottom, 320) << view;
  }
}

TEST(LayoutLandscape, AllViewsOn320x240) {
  // P = 225.
  Layout v0 = Compute(320, 240, 0);
  EXPECT_EQ(v0.primary, (VideoRect{0, 0, 320, 225}));

  Layout v1 = Compute(320, 240, 1);
  EXPECT_EQ(v1.primary, (VideoRect{16, 0, 207, 159}));
  EXPECT_EQ(v1.primary.Width(), 191);
  EXPECT_EQ(v1.secondary, (VideoRect{208, 80, 303, 159}));
  EXPECT_EQ(v1.secondary.Width(), 95);

  Layout v2 = Compute(320, 240, 2);
  EXPECT_EQ(v2.primary, (VideoRect{0, 0, 213, 225}));
  EXPECT_EQ(v2.secondary, (VideoRect{213, 112, 320, 225}));

  Layout v3 = Compute(320, 240, 3);
  EXPECT_EQ(v3.primary, (VideoRect{0, 0, 160, 225}));
  EXPECT_EQ(v3.secondary, (VideoRect{160, 0, 320, 225}));

  EXPECT_EQ(v1.cancel, (ControlRect{130, 165, 60, 20}));
  EXPECT_EQ(v1.calling, (ControlRect{115, 115, 90, 80}));
}

TEST(LayoutLandscape, View1LimitsOnSmallAndLargeClients) {
  // Narrow: L clamps to 0, R = 2W/3, secondary clipped to W.
  Layout narrow = Compute(250, 200, 1, false);
  EXPECT_EQ(narrow.primary, (VideoRect{0, 0, 166, 159}));
  EXPECT_EQ(narrow.secondary, (VideoRect{167, 80, 250, 159}));
  // Short: P < 80 puts the secondary at the top and the primary bottom at P.
  Layout short_client = Compute(400, 70, 1, false);
  EXPECT_EQ(short_client.primary, (VideoRect{56, 0, 247, 70}));
  EXPECT_EQ(short_client.secondary, (VideoRect{248, 0, 343, 70}));
  // Wide: the primary never exceeds 191 x 159.
  Layout wide = Compute(1000, 700, 1, false);
  EXPECT_EQ(wide.primary.Width(), 191);
  EXPECT_EQ(wide.primary.Height(), 159);
}

TEST(LayoutLandscape, SquareClientCountsAsLandscape) {
  Layout square = Compute(240, 255, 3);  // P = 240 = W
  EXPECT_EQ(square.primary, (VideoRect{0, 0, 120, 240}));
}

TEST(LayoutChat, ModeOnePanelUnderThePictures) {
  Layout l = Compute(240, 320, 1, true, 1);
  EXPECT_EQ(l.picture_height, 235);
  EXPECT_EQ(*l.chat_list, (ControlRect{0, 235, 240, 50}));
  EXPECT_EQ(*l.chat_edit, (ControlRect{0, 285, 180, 20}));
  EXPECT_EQ(*l.plus, (ControlRect{220, 285, 20, 20}));
  EXPECT_EQ(*l.send, (ControlRect{180, 285, 40, 20}));
  EXPECT_FALSE(l.minus);
  EXPECT_EQ(l.plus_visible, true);
  EXPECT_EQ(l.minus_visible, false);
  // P = 235 < W = 240: the panel turns the picture area landscape.
  EXPECT_EQ(l.primary, (VideoRect{0, 0, 160, 159}));
  EXPECT_EQ(l.secondary, (VideoRect{161, 80, 240, 159}));
}

TEST(LayoutChat, ModeOneTurnsLandscapeWhenPanelEatsHeight) {
  // 240 x 300 client: P = 300 - 15 - 70 = 215 < 240 -> landscape arithmetic.
  Layout l = Compute(240, 300, 2, true, 1);
  EXPECT_EQ(l.primary, (VideoRect{0, 0, 160, 215}));
  EXPECT_EQ(l.secondary, (VideoRect{160, 107, 240, 215}));
}

TEST(LayoutChat, ModeTwoFillsTheWindowAndKeepsVideoRectangles) {
  const VideoRect primary{5, 6, 7, 8};
  const VideoRect secondary{9, 10, 11, 12};
  Layout l = Compute(240, 320, 2, true, 2, primary, secondary);
  EXPECT_EQ(l.primary, primary);
  EXPECT_EQ(l.secondary, secondary);
  EXPECT_EQ(*l.chat_list, (ControlRect{0, 0, 240, 285}));
  EXPECT_EQ(*l.chat_edit, (ControlRect{0, 285, 180, 20}));
  EXPECT_EQ(*l.minus, (ControlRect{220, 285, 20, 20}));
  EXPECT_EQ(*l.send, (ControlRect{180, 285, 40, 20}));
  EXPECT_FALSE(l.plus);
  EXPECT_EQ(l.plus_visible, false);
  EXPECT_EQ(l.minus_visible, true);
  EXPECT_EQ(*l.status_line, (ControlRect{0, 305, 240, 15}));
}

TEST(LayoutEdge, TinyClientDoesNotCrashAndTruncatesTowardZero) {
  Layout l = Compute(10, 10, 2, true, 1);  // negative heights, divisions of negatives
  EXPECT_EQ(l.picture_height, -75);
  EXPECT_EQ(l.secondary, (VideoRect{6, -37, 10, -75}));  // -75/2 = -37 (toward zero)
}

}  // namespace
}  // namespace kestrelio
