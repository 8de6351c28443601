#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "media/display_thread.h"
#include "tests/support/fake_window.h"

namespace kestrelio {
namespace {

struct DisplayFixture {
  std::unique_ptr<DecoderState> decoder = std::make_unique<DecoderState>();
  std::unique_ptr<PreviewBitmap> preview = std::make_unique<PreviewBitmap>();
  PeerBitmap peer;
  CallFlags call;
  ViewFlags view;
  FakeWindow window;
  DisplayContext context{*decoder, *preview, peer, call, view, window};

  void Queue(uint8_t marker) {
    PictureRing& ring = decoder->ring;
    std::fill(ring.Slot(ring.write_index), ring.Slot(ring.write_index) + kPictureSlotBytes, marker);
    CommitPictureSlot(ring);
  }
};

TEST(DisplayTickTest, PaintsTheOldestPictureAndThePreviewWhenFramesArrived) {
  DisplayFixture t;
  t.Queue(1);
  t.Queue(2);
  t.preview->counter = 3;
  EXPECT_TRUE(DisplayTick(t.context));
  const auto drawings = t.window.Drawings();
  ASSERT_EQ(drawings.size(), 2u);
  EXPECT_EQ(drawings[0].target, VideoTarget::kPrimary);
  EXPECT_EQ(drawings[0].width, 96);
  EXPECT_EQ(drawings[0].height, 80);
  EXPECT_TRUE(drawings[0].bottom_up);
  EXPECT_EQ(t.window.LastPicture(VideoTarget::kPrimary).at(0), 1);
  EXPECT_EQ(drawings[1].target, VideoTarget::kSecondary);
  EXPECT_EQ(t.preview->counter.load(), 0u);
  // No new camera frame: the preview is not repainted.
  EXPECT_TRUE(DisplayTick(t.context));
  EXPECT_EQ(t.window.pictures_drawn(VideoTarget::kSecondary), 1);
  EXPECT_EQ(t.window.Drawings().back().target, VideoTarget::kPrimary);
  EXPECT_EQ(t.window.LastPicture(VideoTarget::kPrimary).at(0), 2);
  EXPECT_FALSE(DisplayTick(t.context));
}

TEST(DisplayTickTest, PausedPeerAndFullRingDropOnePictureATick) {
  DisplayFixture t;
  t.view.peer_video_paused = true;
  for (uint8_t i = 0; i < 4; ++i) t.Queue(i);
  EXPECT_FALSE(DisplayTick(t.context));
  EXPECT_EQ(t.decoder->ring.read_index.load(), 1u);
  EXPECT_EQ(t.decoder->ring.full[0].load(), 0u);
  EXPECT_FALSE(DisplayTick(t.context));  // not full any more: nothing dropped
  EXPECT_EQ(t.decoder->ring.read_index.load(), 1u);
  EXPECT_EQ(t.window.pictures_drawn(VideoTarget::kPrimary), 0);
}

TEST(DisplayTickTest, ViewModeZeroAndOwnPauseNeverPaintThePreview) {
  DisplayFixture t;
  t.view.view_mode = 0;
  t.preview->counter = 1;
  DisplayTick(t.context);
  t.view.view_mode = 2;
  t.view.own_video_paused = true;
  t.preview->counter = 1;
  DisplayTick(t.context);
  EXPECT_EQ(t.window.pictures_drawn(VideoTarget::kSecondary), 0);
}

TEST(DisplayPacingTest, SleepsFollowThePicturePeriod) {
  EXPECT_EQ(NextDisplaySleepMs(false, 5), 41);
  EXPECT_EQ(NextDisplaySleepMs(true, 2), 80);
  EXPECT_EQ(NextDisplaySleepMs(true, 81), 1);
  EXPECT_EQ(NextDisplaySleepMs(true, 82), 10);
  EXPECT_EQ(NextDisplaySleepMs(true, 500), 10);
}

// Waits without a time limit of its own; ctest's limit catches a hang.
template <typename Condition>
void WaitUntil(Condition done) {
  while (!done()) std::this_thread::yield();
}

TEST(VideoDisplayThreadTest, ANeverStartedThreadStopsTwice) {
  VideoDisplayThread thread;
  EXPECT_FALSE(thread.running());
  thread.Stop();
  thread.Stop();
  EXPECT_FALSE(thread.running());
}

TEST(VideoDisplayThreadTest, PaintsAgainAfterStopAndRestart) {
  DisplayFixture t;
  t.call.video_active = true;
  VideoDisplayThread thread;
  t.Queue(1);
  ASSERT_TRUE(thread.Start(t.context));
  WaitUntil([&] { return t.window.Drawings().size() >= 1; });
  thread.Stop();
  EXPECT_FALSE(thread.running());

  t.Queue(2);
  ASSERT_TRUE(thread.Start(t.context));
  WaitUntil([&] { return t.window.Drawings().size() >= 2; });
  thread.Stop();
  const auto drawings = t.window.Drawings();
  ASSERT_EQ(drawings.size(), 2u);
  for (const auto& drawing : drawings) EXPECT_EQ(drawing.target, VideoTarget::kPrimary);
}

TEST(PeerBitmapTest, RefusesSizesBeyondTheSlot) {
  PeerBitmap bitmap;
  EXPECT_TRUE(CreatePeerBitmap(bitmap, 320, 240));
  EXPECT_FALSE(CreatePeerBitmap(bitmap, 321, 240));
  EXPECT_FALSE(CreatePeerBitmap(bitmap, 0, 80));
  EXPECT_EQ(bitmap.width.load(), 320);
}

}  // namespace
}  // namespace kestrelio
