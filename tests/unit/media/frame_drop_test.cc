#include "media/frame_drop.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <random>

#include "media/camera_frame.h"

namespace kestrelio {
namespace {

// Two luma planes whose absolute difference sums to `sad`.
void PlanesWithSad(uint32_t sad, std::array<uint8_t, kLumaBytes>& a,
                   std::array<uint8_t, kLumaBytes>& b) {
  a.fill(100);
  b.fill(100);
  for (int i = 0; sad > 0; ++i) {
    const uint32_t step = sad > 50 ? 50 : sad;
    a[i] = static_cast<uint8_t>(100 + (i % 2 == 0 ? step : -static_cast<int>(step)));
    sad -= step;
  }
}

TEST(LumaSadTest, VectorisedMatchesPlainLoop) {
  std::mt19937 random(7);
  std::array<uint8_t, kLumaBytes> a{};
  std::array<uint8_t, kLumaBytes> b{};
  for (int round = 0; round < 20; ++round) {
    for (int i = 0; i < kLumaBytes; ++i) {
      a[i] = static_cast<uint8_t>(random());
      b[i] = static_cast<uint8_t>(random());
    }
    ASSERT_EQ(LumaSad(a.data(), b.data()), LumaSadPlain(a.data(), b.data()));
  }
  a.fill(255);
  b.fill(0);
  EXPECT_EQ(LumaSad(a.data(), b.data()), 255u * kLumaBytes);
}

TEST(FrameDropTestTest, ThresholdIsInclusiveForStill) {
  std::array<uint8_t, kLumaBytes> a{};
  std::array<uint8_t, kLumaBytes> b{};
  FrameDropCounters counters;
  KeyframeRequests requests;
  PlanesWithSad(21213, a, b);
  ASSERT_EQ(LumaSad(a.data(), b.data()), 21213u);
  EXPECT_EQ(FrameDropTest(a.data(), b.data(), counters, requests), FrameDecision::kDrop);
  EXPECT_EQ(counters.still, 1u);
  PlanesWithSad(21214, a, b);
  EXPECT_EQ(FrameDropTest(a.data(), b.data(), counters, requests), FrameDecision::kAccept);
  EXPECT_EQ(counters.motion, 1u);
}

TEST(FrameDropTestTest, ThirteenStillFramesQueueTheLastAsAKeyframe) {
  std::array<uint8_t, kLumaBytes> a{};
  FrameDropCounters counters;
  KeyframeRequests requests;
  for (int i = 0; i < 12; ++i) {
    ASSERT_EQ(FrameDropTest(a.data(), a.data(), counters, requests), FrameDecision::kDrop);
  }
  EXPECT_FALSE(requests.still.load());
  EXPECT_EQ(FrameDropTest(a.data(), a.data(), counters, requests), FrameDecision::kAccept);
  EXPECT_TRUE(requests.still.load());
  EXPECT_EQ(counters.motion + counters.still, 0u);
  EXPECT_TRUE(TakeKeyframeRequest(requests));
  // A further still stretch forces another one.
  for (int i = 0; i < 12; ++i) FrameDropTest(a.data(), a.data(), counters, requests);
  EXPECT_FALSE(requests.still.load());
  FrameDropTest(a.data(), a.data(), counters, requests);
  EXPECT_TRUE(requests.still.load());
}

TEST(FrameDropTestTest, MotionAtTheEndOfTheWindowForcesNoKeyframe) {
  std::array<uint8_t, kLumaBytes> a{};
  std::array<uint8_t, kLumaBytes> b{};
  b.fill(200);
  FrameDropCounters counters;
  KeyframeRequests requests;
  for (int i = 0; i < 12; ++i) FrameDropTest(a.data(), a.data(), counters, requests);
  EXPECT_EQ(FrameDropTest(a.data(), b.data(), counters, requests), FrameDecision::kAccept);
  EXPECT_FALSE(requests.still.load());
  EXPECT_EQ(counters.motion + counters.still, 0u);
}

TEST(FrameDropTestTest, TakeKeyframeRequestClearsBothFlagsAtOnce) {
  KeyframeRequests requests;
  EXPECT_FALSE(TakeKeyframeRequest(requests));
  requests.packet_loss = true;
  requests.still = true;
  EXPECT_TRUE(TakeKeyframeRequest(requests));
  EXPECT_FALSE(requests.packet_loss.load());
  EXPECT_FALSE(requests.still.load());
  EXPECT_FALSE(TakeKeyframeRequest(requests));
}

TEST(FrameDropTestTest, CallbackComparesWithTheLastQueuedSlot) {
  auto capture = std::make_unique<CaptureState>();
  CallFlags call;
  MediaSettings settings;
  KeyframeRequests requests;
  CameraFrameContext context{*capture, call, settings, requests};
  call.in_call = true;
  capture->capture_active = true;
  settings.frame_drop = true;
  std::array<uint8_t, kCameraFrameBytes> frame{};
  frame.fill(0);
  // Zero-filled slots: a black first frame is still and dropped, the slot not queued,
  // yet the preview shows it.
  OnCameraFrame(context, frame.data());
  EXPECT_EQ(capture->ring.write_index.load(), 0u);
  EXPECT_EQ(capture->ring.slots[0].full.load(), 0);
  EXPECT_EQ(capture->preview.counter.load(), 1u);
  EXPECT_EQ(capture->frame_drop.still, 1u);
  // A moving frame is queued.
  frame.fill(100);
  OnCameraFrame(context, frame.data());
  EXPECT_EQ(capture->ring.write_index.load(), 1u);
  EXPECT_EQ(capture->frame_drop.motion, 1u);
  // Frame Drop off: every frame accepted and the counters stay.
  settings.frame_drop = false;
  OnCameraFrame(context, frame.data());
  EXPECT_EQ(capture->ring.write_index.load(), 2u);
  EXPECT_EQ(capture->frame_drop.motion, 1u);
  EXPECT_EQ(capture->frame_drop.still, 1u);
}

}  // namespace
}  // namespace kestrelio
