#include "media/encoder.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <thread>

#include "media/encoder_thread.h"
#include "tests/support/fake_window.h"
#include "tests/support/media_samples.h"
#include "media/x264_params.h"

namespace kestrelio {
namespace {

using testing::FillSlot;
using testing::IsIdrPayload;
using testing::NalTypes;
using testing::RecordingSink;

TEST(SetEncoderParameterTest, MaxGopLowersTheShortestIntervalOnlyWhenLarger) {
  auto state = std::make_unique<EncoderState>();
  FakeWindow window;
  EncoderInit(*state);
  SetEncoderParameter(*state, window, "MAXGOP", 100);
  EXPECT_EQ(state->settings.keyint_max, 100);
  EXPECT_EQ(state->settings.keyint_min, 25);
  SetEncoderParameter(*state, window, "MAXGOP", 10);
  EXPECT_EQ(state->settings.keyint_max, 10);
  EXPECT_EQ(state->settings.keyint_min, 10);
  EXPECT_TRUE(window.Boxes().empty());
}

TEST(SetEncoderParameterTest, FpsAndAllMbsAndRoi) {
  auto state = std::make_unique<EncoderState>();
  FakeWindow window;
  EncoderInit(*state);
  SetEncoderParameter(*state, window, "FPS", 15);
  EXPECT_EQ(state->settings.fps_num, 15000u);
  EXPECT_EQ(state->settings.fps_den, 1000u);
  SetEncoderParameter(*state, window, "ALLMBs", 0);
  EXPECT_EQ(state->settings.intra_partitions, 0u);
  EXPECT_EQ(state->settings.inter_partitions, 0u);
  SetEncoderParameter(*state, window, "ALLMBs", 1);
  EXPECT_EQ(state->settings.intra_partitions, 0x3u);
  EXPECT_EQ(state->settings.inter_partitions, 0x12u);
  SetEncoderParameter(*state, window, "ROI", 12);
  EXPECT_EQ(state->settings.roi_level, 12);
  EXPECT_EQ(state->roi_level.load(), 12);
  SetEncoderParameter(*state, window, "CABAC", 1);
  EXPECT_TRUE(state->settings.cabac);
}

TEST(SetEncoderParameterTest, UnknownNameShowsTheMessageAndChangesNothing) {
  auto state = std::make_unique<EncoderState>();
  FakeWindow window;
  EncoderInit(*state);
  const int bitrate = state->settings.bitrate_kbps;
  SetEncoderParameter(*state, window, "bitrate", 99);
  ASSERT_EQ(window.Boxes().size(), 1u);
  EXPECT_EQ(window.Boxes()[0].text, "Undefined Encoder Parameter Settings");
  EXPECT_EQ(window.Boxes()[0].caption, "");
  EXPECT_EQ(state->settings.bitrate_kbps, bitrate);
}

// The settings reach the library's parameter record when the encoder opens.
TEST(X264ParamsTest, SettingsBecomeTheLibraryParameters) {
  auto state = std::make_unique<EncoderState>();
  FakeWindow window;
  EncoderInit(*state);
  x264_param_t p;
  ToX264Params(state->settings, p);
  EXPECT_EQ(p.i_width, 96);
  EXPECT_EQ(p.i_height, 80);
  EXPECT_EQ(p.i_fps_num, 12000u);
  EXPECT_EQ(p.i_fps_den, 1000u);
  EXPECT_EQ(p.i_frame_reference, 1);
  EXPECT_EQ(p.i_keyint_max, 9999);
  EXPECT_EQ(p.i_keyint_min, 25);
  EXPECT_EQ(p.i_bframe, 0);
  EXPECT_EQ(p.b_cabac, 0);
  EXPECT_EQ(p.analyse.intra, 0x3u);
  EXPECT_EQ(p.analyse.inter, 0x12u);
  EXPECT_EQ(p.analyse.i_me_method, X264_ME_DIA);
  EXPECT_EQ(p.analyse.i_subpel_refine, 1);
  EXPECT_EQ(p.rc.i_rc_method, X264_RC_ABR);
  EXPECT_EQ(p.rc.i_bitrate, 30);
  EXPECT_EQ(p.rc.i_qp_min, 10);
  EXPECT_EQ(p.rc.i_qp_max, 51);
  EXPECT_EQ(p.i_threads, 1);
  EXPECT_EQ(p.b_repeat_headers, 1);
  EXPECT_EQ(p.i_log_level, X264_LOG_INFO);

  SetEncoderParameter(*state, window, "FPS", 15);
  SetEncoderParameter(*state, window, "BITRATE", 64);
  SetEncoderParameter(*state, window, "SUBPEL", 4);
  SetEncoderParameter(*state, window, "ALLMBs", 0);
  SetEncoderParameter(*state, window, "ME", 2);
  SetEncoderParameter(*state, window, "CABAC", 1);
  SetEncoderParameter(*state, window, "MAXGOP", 10);
  state->settings.rate_control = RateControl::kConstantQp;
  state->settings.constant_qp = 20;
  state->settings.log_level = EncoderLogLevel::kNone;
  ToX264Params(state->settings, p);
  EXPECT_EQ(p.i_fps_num, 15000u);
  EXPECT_EQ(p.rc.i_bitrate, 64);
  EXPECT_EQ(p.analyse.i_subpel_refine, 4);
  EXPECT_EQ(p.analyse.intra, 0u);
  EXPECT_EQ(p.analyse.inter, 0u);
  EXPECT_EQ(p.analyse.i_me_method, 2);
  EXPECT_EQ(p.b_cabac, 1);
  EXPECT_EQ(p.i_keyint_max, 10);
  EXPECT_EQ(p.i_keyint_min, 10);
  EXPECT_EQ(p.rc.i_rc_method, X264_RC_CQP);
  EXPECT_EQ(p.rc.i_qp_constant, 20);
  EXPECT_EQ(p.i_log_level, X264_LOG_NONE);
  EXPECT_TRUE(window.Boxes().empty());
}

struct EncoderFixture {
  std::unique_ptr<EncoderState> encoder = std::make_unique<EncoderState>();
  std::unique_ptr<CaptureState> capture = std::make_unique<CaptureState>();
  FakeWindow window;
  RecordingSink sink;
  KeyframeRequests requests;
  CallFlags call;

  EncoderFixture() {
    EncoderInit(*encoder);
    call.in_call = true;
  }
};

TEST(EncodeFrameTest, OnePayloadPerFrameWithParameterSetsOnlyBeforeIdr) {
  EncoderFixture t;
  ASSERT_TRUE(EncoderStart(*t.encoder, *t.capture, t.window));
  EXPECT_TRUE(t.capture->capture_active.load());
  CaptureSlot slot;
  for (uint32_t i = 0; i < 6; ++i) {
    FillSlot(i, slot);
    if (i == 4) t.requests.packet_loss = true;
    std::lock_guard lock(t.encoder->lock);
    const int n = EncodeFrame(*t.encoder, slot, t.requests, true, t.sink);
    ASSERT_GT(n, 0) << "frame " << i;  // zero latency: no frame held back
  }
  ASSERT_EQ(t.sink.payloads.size(), 6u);
  for (size_t i = 0; i < 6; ++i) {
    const auto& p = t.sink.payloads[i];
    const uint32_t n = (uint32_t{p[0]} << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
    EXPECT_EQ(n + 4, p.size());
    EXPECT_EQ(p[4], 0);
    EXPECT_EQ(p[7], 1);
    EXPECT_EQ(t.sink.sequences[i], i + 1);
    const auto types = NalTypes(p);
    const bool idr = IsIdrPayload(p);
    EXPECT_EQ(idr, i == 0 || i == 4) << "frame " << i;
    if (idr) {
      // SPS and PPS precede the IDR slice.
      ASSERT_GE(types.size(), 3u);
      EXPECT_EQ(types[0], 7);
      EXPECT_EQ(types[1], 8);
    } else {
      EXPECT_EQ(std::count(types.begin(), types.end(), 7), 0);
    }
  }
  EXPECT_FALSE(t.requests.packet_loss.load());
  EncoderStop(*t.encoder, *t.capture);
  EXPECT_FALSE(t.capture->capture_active.load());
}

TEST(EncodeFrameTest, OutsideACallNothingIsSentAndTheSequenceStays) {
  EncoderFixture t;
  ASSERT_TRUE(EncoderStart(*t.encoder, *t.capture, t.window));
  CaptureSlot slot;
  FillSlot(0, slot);
  std::lock_guard lock(t.encoder->lock);
  EXPECT_GT(EncodeFrame(*t.encoder, slot, t.requests, false, t.sink), 0);
  EXPECT_TRUE(t.sink.payloads.empty());
  EXPECT_EQ(t.encoder->sequence, 1);
}

TEST(EncoderStartTest, FailureShowsBothMessagesAndLeavesCaptureOff) {
  auto encoder = std::make_unique<EncoderState>();  // never initialised: cannot open
  auto capture = std::make_unique<CaptureState>();
  FakeWindow window;
  EXPECT_FALSE(EncoderStart(*encoder, *capture, window));
  ASSERT_EQ(window.Boxes().size(), 2u);
  EXPECT_EQ(window.Boxes()[0].text, "Init Encoder Error");
  EXPECT_EQ(window.Boxes()[1].text, "Encoder Open Error");
  EXPECT_EQ(window.Boxes()[1].caption, "Error");
  EXPECT_FALSE(capture->capture_active.load());
}

TEST(EncoderDataRoundTest, DiscardsTheOldestWhenThreeOrMoreWait) {
  EncoderFixture t;
  ASSERT_TRUE(EncoderStart(*t.encoder, *t.capture, t.window));
  EncoderThreadContext context{*t.encoder, *t.capture, t.call, t.requests, t.sink};
  CaptureRing& ring = t.capture->ring;
  for (uint32_t i = 0; i < 4; ++i) {
    FillSlot(i, ring.slots[i]);
    ring.slots[i].full = 1;
  }
  // All four wait (read index == write index): one discarded, the next encoded.
  EXPECT_TRUE(EncoderDataRound(context));
  EXPECT_EQ(ring.read_index.load(), 2u);
  EXPECT_EQ(ring.slots[0].full.load(), 0);
  EXPECT_EQ(ring.slots[1].full.load(), 0);
  EXPECT_EQ(t.sink.payloads.size(), 1u);
  // Two wait now: encoded without discard.
  EXPECT_TRUE(EncoderDataRound(context));
  EXPECT_EQ(ring.read_index.load(), 3u);
  EXPECT_EQ(t.encoder->counters.encoded_frames.load(), 2u);
}

TEST(EncoderDataRoundTest, OutsideACallNoSlotIsTouched) {
  EncoderFixture t;
  ASSERT_TRUE(EncoderStart(*t.encoder, *t.capture, t.window));
  EncoderThreadContext context{*t.encoder, *t.capture, t.call, t.requests, t.sink};
  t.call.in_call = false;
  t.capture->ring.slots[0].full = 1;
  t.capture->ring.write_index = 1;
  EXPECT_FALSE(EncoderDataRound(context));
  EXPECT_EQ(t.capture->ring.slots[0].full.load(), 1);
  EXPECT_EQ(t.capture->ring.read_index.load(), 0u);
}

// The thread tests wait without a time limit of their own; ctest's limit catches a hang.
template <typename Condition>
void WaitUntil(Condition done) {
  while (!done()) std::this_thread::yield();
}

// Puts frame `index` into the next capture slot, as the camera callback does.
void Capture(CaptureRing& ring, uint32_t index) {
  const uint32_t write_index = ring.write_index.load();
  FillSlot(index, ring.slots[write_index]);
  ring.slots[write_index].full = 1;
  ring.write_index = (write_index + 1) % kCaptureSlots;
}

TEST(EncoderDataThreadTest, ANeverStartedThreadStopsTwice) {
  EncoderDataThread thread;
  EXPECT_FALSE(thread.running());
  thread.Stop();
  thread.Stop();
  EXPECT_FALSE(thread.running());
}

TEST(EncoderDataThreadTest, EncodesAgainAfterStopAndRestartsWhenStartedTwice) {
  EncoderFixture t;
  ASSERT_TRUE(EncoderStart(*t.encoder, *t.capture, t.window));
  EncoderThreadContext context{*t.encoder, *t.capture, t.call, t.requests, t.sink};
  EncoderDataThread thread;
  Capture(t.capture->ring, 0);
  ASSERT_TRUE(thread.Start(context));
  ASSERT_TRUE(thread.Start(context));  // stops the running thread and starts afresh
  WaitUntil([&] { return t.encoder->counters.encoded_frames.load() >= 1; });
  thread.Stop();
  EXPECT_FALSE(thread.running());

  Capture(t.capture->ring, 1);
  ASSERT_TRUE(thread.Start(context));
  WaitUntil([&] { return t.encoder->counters.encoded_frames.load() >= 2; });
  thread.Stop();
  EXPECT_EQ(t.sink.payloads.size(), 2u);
  EXPECT_EQ(t.capture->ring.read_index.load(), 2u);
}

TEST(EncodeFrameTest, APictureBeyondTheBufferIsDroppedAndTheNextIsIdr) {
  EncoderFixture t;
  // Noise at a fine constant QP cannot fit 11,520 bytes.
  t.encoder->settings.rate_control = RateControl::kConstantQp;
  t.encoder->settings.constant_qp = 10;
  ASSERT_TRUE(EncoderStart(*t.encoder, *t.capture, t.window));
  std::mt19937 random(3);
  CaptureSlot noise;
  for (auto& b : noise.bytes) b = static_cast<uint8_t>(random());
  CaptureSlot plain;
  FillSlot(0, plain);
  std::lock_guard lock(t.encoder->lock);
  ASSERT_GT(EncodeFrame(*t.encoder, plain, t.requests, true, t.sink), 0);
  EXPECT_EQ(EncodeFrame(*t.encoder, noise, t.requests, true, t.sink), 0);
  EXPECT_EQ(t.sink.payloads.size(), 1u);
  EXPECT_EQ(
      t.encoder->output[0] | t.encoder->output[1] | t.encoder->output[2] | t.encoder->output[3], 0);
  ASSERT_GT(EncodeFrame(*t.encoder, plain, t.requests, true, t.sink), 0);
  ASSERT_EQ(t.sink.payloads.size(), 2u);
  EXPECT_TRUE(IsIdrPayload(t.sink.payloads[1]));
  EXPECT_EQ(t.sink.sequences[1], 2);  // a dropped picture takes no sequence number
}

}  // namespace
}  // namespace kestrelio
