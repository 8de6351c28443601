// The whole media pipeline of one handset on its own, without the network: the
// synthetic camera feeds the frame callback and the capture ring, the encoder data thread
// hands each payload to a sink that plays the receive path (DecodeIntoRing), and the
// display thread paints into a fake window.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "camera/synthetic/synthetic_scene.h"
#include "media/camera_driver.h"
#include "media/camera_frame.h"
#include "media/decoder.h"
#include "media/display_thread.h"
#include "media/encoder.h"
#include "media/encoder_thread.h"
#include "tests/support/fake_window.h"
#include "tests/support/media_samples.h"
#include "tests/support/stream_probe.h"
#include "tests/support/wait.h"

namespace kestrelio {
namespace {

using testing::IsIdrPayload;
using testing::RunCommand;

// Stands in for the media channel: records the stream and decodes it at once, as the
// peer's receive path would.
class LoopbackSink : public VideoPayloadSink {
 public:
  explicit LoopbackSink(DecoderState& decoder) : decoder_(decoder) {}
  void SendVideoPayload(std::span<const uint8_t> payload, uint16_t sequence) override {
    std::lock_guard lock(mutex);
    payloads.emplace_back(payload.begin(), payload.end());
    sequences.push_back(sequence);
    DecodeIntoRing(decoder_, payload);
  }
  std::mutex mutex;
  std::vector<std::vector<uint8_t>> payloads;
  std::vector<uint16_t> sequences;

 private:
  DecoderState& decoder_;
};

// One handset's media state, as the handset context owns it.
struct Handset {
  CameraDriver camera;
  std::unique_ptr<CaptureState> capture = std::make_unique<CaptureState>();
  std::unique_ptr<EncoderState> encoder = std::make_unique<EncoderState>();
  std::unique_ptr<DecoderState> decoder = std::make_unique<DecoderState>();
  PeerBitmap peer;
  CallFlags call;
  ViewFlags view;
  MediaSettings settings;
  KeyframeRequests keyframes;
  FakeWindow window;
  LoopbackSink sink{*decoder};
  CameraFrameContext frame_context{*capture, call, settings, keyframes};
  EncoderThreadContext encoder_context{*encoder, *capture, call, keyframes, sink};
  DisplayContext display_context{*decoder, capture->preview, peer, call, view, window};
  EncoderDataThread encoder_thread;
  VideoDisplayThread display_thread;
};

// Frame `index` of the synthetic scene as B, G, R rows in the camera's row order.
std::vector<uint8_t> SceneBgr(uint32_t index, bool mirrored) {
  std::array<uint8_t, kCameraFrameBytes> frame{};
  DrawSyntheticFrame(index, frame);
  CaptureSlot slot;
  std::copy(frame.begin(), frame.begin() + kLumaBytes, slot.y());
  for (int k = 0; k < kChromaPlaneBytes; ++k) {
    slot.v()[k] = frame[kLumaBytes + 2 * k];
    slot.u()[k] = frame[kLumaBytes + 2 * k + 1];
  }
  std::vector<uint8_t> bgr(kPreviewBytes);
  if (mirrored) {
    ConvertPreview(slot, std::span<uint8_t, kPreviewBytes>(bgr.data(), kPreviewBytes));
  } else {
    ConvertYuv420ToBgr(slot.y(), kFrameWidth, slot.u(), kFrameWidth / 2, slot.v(), kFrameWidth / 2,
                       kFrameWidth, kFrameHeight, bgr.data());
  }
  return bgr;
}

double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  double sum = 0;
  for (size_t i = 0; i < a.size(); ++i) sum += (a[i] - b[i]) * double(a[i] - b[i]);
  if (sum == 0) return 99.0;
  return 10.0 * std::log10(255.0 * 255.0 * double(a.size()) / sum);
}

double BestPsnr(const std::vector<uint8_t>& picture, uint32_t frames, bool mirrored) {
  double best = 0;
  for (uint32_t i = 0; i < frames; ++i) best = std::max(best, Psnr(picture, SceneBgr(i, mirrored)));
  return best;
}

TEST(MediaPipelineTest, CameraToEncoderToDecoderToDisplay) {
  unsetenv("KESTRELIO_CAMERA_Y4M");
  Handset h;
  EncoderInit(*h.encoder);
  ASSERT_TRUE(CreatePeerBitmap(h.peer, 96, 80));
  ASSERT_TRUE(CameraLoad(KESTRELIO_TEST_SYNTHETIC_CAMERA, h.camera));
  h.encoder_thread.Start(h.encoder_context);
  h.display_thread.Start(h.display_context);
  ASSERT_TRUE(
      CameraStart(h.camera, h.capture->preview, h.window, OnCameraFrameCallback, &h.frame_context));

  // Call start, as call control will do it.
  ASSERT_EQ(DecoderOpen(*h.decoder), 0);
  ASSERT_TRUE(EncoderStart(*h.encoder, *h.capture, h.window));
  h.call.in_call = true;
  h.call.video_active = true;

  auto wait_for_payloads = [&h](size_t count) {
    return testing::WaitFor(
        [&] {
          std::lock_guard lock(h.sink.mutex);
          return h.sink.payloads.size() >= count;
        },
        6000, 10);
  };
  ASSERT_TRUE(wait_for_payloads(12));
  size_t requested_at;
  {
    std::lock_guard lock(h.sink.mutex);
    requested_at = h.sink.payloads.size();
    h.keyframes.packet_loss = true;  // what a PacketLoss from the peer does
  }
  ASSERT_TRUE(wait_for_payloads(requested_at + 12));

  // Call end, then shutdown.
  h.call.video_active = false;
  h.call.in_call = false;
  EncoderStop(*h.encoder, *h.capture);
  DecoderClose(*h.decoder);
  const int end_result = CameraStop(h.camera, *h.capture, h.window);
  EXPECT_EQ(end_result, 1);
  h.display_thread.Stop();
  h.encoder_thread.Stop();
  EXPECT_TRUE(h.window.Boxes().empty());

  std::lock_guard lock(h.sink.mutex);
  const size_t sent = h.sink.payloads.size();
  for (size_t i = 0; i < sent; ++i) ASSERT_EQ(h.sink.sequences[i], i + 1);
  // IDR pictures only at open and in answer to the request.
  std::vector<size_t> idr;
  for (size_t i = 0; i < sent; ++i) {
    if (IsIdrPayload(h.sink.payloads[i])) idr.push_back(i);
  }
  ASSERT_EQ(idr.size(), 2u);
  EXPECT_EQ(idr[0], 0u);
  EXPECT_GE(idr[1], requested_at);
  EXPECT_LE(idr[1], requested_at + 1);  // the next picture, or the one being coded then

  // Painted: peer pictures and previews, bottom-up, matching the camera's frames (the
  // peer picture as encoded, the preview mirrored and exact).
  const uint32_t frames_seen = static_cast<uint32_t>(sent + 40);
  {
    size_t primary = 0;
    size_t secondary = 0;
    for (const FakeWindow::Drawing& drawing : h.window.Drawings()) {
      EXPECT_TRUE(drawing.bottom_up);
      EXPECT_EQ(drawing.width, 96);
      EXPECT_EQ(drawing.height, 80);
      ++(drawing.target == VideoTarget::kPrimary ? primary : secondary);
    }
    EXPECT_GE(primary, sent / 2);
    EXPECT_GE(secondary, sent / 2);
    const std::vector<uint8_t> last_primary = h.window.LastPicture(VideoTarget::kPrimary);
    const std::vector<uint8_t> last_secondary = h.window.LastPicture(VideoTarget::kSecondary);
    ASSERT_FALSE(last_primary.empty());
    ASSERT_FALSE(last_secondary.empty());
    EXPECT_GT(BestPsnr(last_primary, frames_seen, false), 24.0);
    EXPECT_LT(BestPsnr(last_primary, frames_seen, true), 20.0);  // not mirrored
    EXPECT_EQ(BestPsnr(last_secondary, frames_seen, true), 99.0);
  }

  // An independent look at the stream.
  if (std::system("command -v ffprobe >/dev/null 2>&1") != 0) GTEST_SKIP() << "no ffprobe";
  const std::string dump = ::testing::TempDir() + "/kestrelio_media_pipeline.h264";
  {
    std::ofstream out(dump, std::ios::binary);
    for (const auto& p : h.sink.payloads) {
      out.write(reinterpret_cast<const char*>(p.data() + 4), static_cast<long>(p.size() - 4));
    }
  }
  const std::string streams = RunCommand(
      "ffprobe -v error -select_streams v:0 -show_entries stream=width,height,has_b_frames,refs "
      "-of default=noprint_wrappers=1 " +
      dump);
  EXPECT_NE(streams.find("width=96"), std::string::npos) << streams;
  EXPECT_NE(streams.find("height=80"), std::string::npos) << streams;
  EXPECT_NE(streams.find("has_b_frames=0"), std::string::npos) << streams;
  EXPECT_NE(streams.find("refs=1"), std::string::npos) << streams;
  const std::string frames = RunCommand(
      "ffprobe -v error -select_streams v:0 -show_entries frame=pict_type "
      "-of csv=p=0 " +
      dump);
  std::vector<char> types;
  for (char c : frames) {
    if (c == 'I' || c == 'P' || c == 'B') types.push_back(c);
  }
  ASSERT_EQ(types.size(), sent);
  for (size_t i = 0; i < types.size(); ++i) {
    EXPECT_EQ(types[i], (i == idr[0] || i == idr[1]) ? 'I' : 'P') << i;
  }
  // CAVLC: entropy_coding_mode_flag of every PPS (pps_id 0 and sps_id 0 as ue(v) '1' '1',
  // then the flag) is 0.
  for (const auto& p : h.sink.payloads) {
    for (size_t i = 4; i + 5 < p.size(); ++i) {
      if (p[i] == 0 && p[i + 1] == 0 && p[i + 2] == 0 && p[i + 3] == 1 && (p[i + 4] & 0x1f) == 8) {
        EXPECT_EQ(p[i + 5] & 0xE0, 0xC0);
      }
    }
  }
}

}  // namespace
}  // namespace kestrelio
