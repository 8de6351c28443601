// The region of interest seen by an independent decoder: libavcodec's exported
// per-macroblock QPs of the stream the encoder wrote.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/video_enc_params.h>
}

#include "camera/synthetic/synthetic_scene.h"
#include "camera/synthetic/y4m_reader.h"
#include "media/encoder.h"
#include "tests/support/fake_window.h"
#include "tests/support/media_samples.h"

namespace kestrelio {
namespace {

using testing::RecordingSink;

struct MacroblockQps {
  bool intra = false;
  std::array<int, kMacroblocks> qp{};
};

// Encodes the clip's frames with `roi_level` and returns the per-macroblock QPs the
// decoder reports for every picture.
std::vector<MacroblockQps> EncodeAndInspect(const Y4mClip& clip, int roi_level, int switch_at = -1,
                                            int switch_to = 0) {
  auto encoder = std::make_unique<EncoderState>();
  auto capture = std::make_unique<CaptureState>();
  FakeWindow window;
  RecordingSink sink;
  KeyframeRequests requests;
  EncoderInit(*encoder);
  SetEncoderParameter(*encoder, window, "ROI", roi_level);
  EXPECT_TRUE(EncoderStart(*encoder, *capture, window));
  CaptureSlot slot;
  std::array<uint8_t, kCameraFrameBytes> frame{};
  for (int i = 0; i < clip.frame_count; ++i) {
    if (i == switch_at) SetEncoderParameter(*encoder, window, "ROI", switch_to);
    I420TopDownToNv21BottomUp(std::span<const uint8_t, kI420Bytes>(
                                  clip.frames.data() + size_t(i) * kI420Bytes, kI420Bytes),
                              frame);
    std::copy(frame.begin(), frame.begin() + kLumaBytes, slot.y());
    for (int k = 0; k < kChromaPlaneBytes; ++k) {
      slot.v()[k] = frame[kLumaBytes + 2 * k];
      slot.u()[k] = frame[kLumaBytes + 2 * k + 1];
    }
    std::lock_guard lock(encoder->lock);
    EncodeFrame(*encoder, slot, requests, true, sink);
  }

  std::vector<MacroblockQps> result;
  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
  AVCodecContext* context = avcodec_alloc_context3(codec);
  context->export_side_data |= AV_CODEC_EXPORT_DATA_VIDEO_ENC_PARAMS;
  EXPECT_EQ(avcodec_open2(context, codec, nullptr), 0);
  AVPacket* packet = av_packet_alloc();
  AVFrame* picture = av_frame_alloc();
  for (const auto& payload : sink.payloads) {
    av_new_packet(packet, static_cast<int>(payload.size() - 4));
    std::copy(payload.begin() + 4, payload.end(), packet->data);
    EXPECT_EQ(avcodec_send_packet(context, packet), 0);
    av_packet_unref(packet);
    while (avcodec_receive_frame(context, picture) == 0) {
      const AVFrameSideData* side = av_frame_get_side_data(picture, AV_FRAME_DATA_VIDEO_ENC_PARAMS);
      if (side != nullptr) {
        const auto* params = reinterpret_cast<const AVVideoEncParams*>(side->data);
        MacroblockQps qps;
        qps.intra = picture->pict_type == AV_PICTURE_TYPE_I;
        EXPECT_EQ(params->nb_blocks, static_cast<unsigned>(kMacroblocks));
        for (unsigned b = 0; b < params->nb_blocks && b < kMacroblocks; ++b) {
          const AVVideoBlockParams* block =
              av_video_enc_params_block(const_cast<AVVideoEncParams*>(params), b);
          const int index = (block->src_y / 16) * kMacroblocksAcross + block->src_x / 16;
          qps.qp[index] = params->qp + block->delta_qp;
        }
        result.push_back(qps);
      }
      av_frame_unref(picture);
    }
  }
  av_frame_free(&picture);
  av_packet_free(&packet);
  avcodec_free_context(&context);
  EXPECT_EQ(result.size(), sink.payloads.size());
  return result;
}

Y4mClip TestClip() {
  Y4mClip clip;
  const char* dir = std::getenv("KESTRELIO_MEDIA_DIR");
  const std::string path = std::string(dir ? dir : "../shared/media") + "/camera96x80.y4m";
  if (LoadY4m(path, clip)) {
    clip.frame_count = std::min(clip.frame_count, 120);
    return clip;
  }
  // No footage here: the synthetic scene stands in.
  clip = Y4mClip{};
  clip.width = kFrameWidth;
  clip.height = kFrameHeight;
  clip.frame_count = 120;
  clip.frames.resize(size_t(clip.frame_count) * kI420Bytes);
  std::array<uint8_t, kCameraFrameBytes> nv21{};
  for (int i = 0; i < clip.frame_count; ++i) {
    // The scene comes bottom-up in NV21; planar and flipped it serves as a top-down clip.
    DrawSyntheticFrame(static_cast<uint32_t>(i), nv21);
    uint8_t* out = clip.frames.data() + size_t(i) * kI420Bytes;
    for (int r = 0; r < kFrameHeight; ++r) {
      std::copy_n(nv21.data() + (kFrameHeight - 1 - r) * kFrameWidth, kFrameWidth,
                  out + r * kFrameWidth);
    }
    for (int r = 0; r < kFrameHeight / 2; ++r) {
      for (int x = 0; x < kFrameWidth / 2; ++x) {
        const int k = (kFrameHeight / 2 - 1 - r) * (kFrameWidth / 2) + x;
        out[kLumaBytes + r * (kFrameWidth / 2) + x] = nv21[kLumaBytes + 2 * k + 1];
        out[kLumaBytes + kChromaPlaneBytes + r * (kFrameWidth / 2) + x] = nv21[kLumaBytes + 2 * k];
      }
    }
  }
  return clip;
}

// The QP most non-weighted macroblocks of a picture carry: the picture's QP.
int PictureQp(const MacroblockQps& qps) {
  std::map<int, int> votes;
  for (int i = 0; i < kMacroblocks; ++i) {
    if (kRoiWeights[i] == 0) ++votes[qps.qp[i]];
  }
  int best = 0;
  int best_votes = -1;
  for (const auto& [qp, n] : votes) {
    if (n > best_votes) {
      best = qp;
      best_votes = n;
    }
  }
  return best;
}

TEST(RegionOfInterestTest, WeightedMacroblocksAreCodedSixFiner) {
  const Y4mClip clip = TestClip();
  const auto pictures = EncodeAndInspect(clip, 6);
  int weighted_finer = 0;
  int weighted_total = 0;
  int p_pictures = 0;
  for (const auto& picture : pictures) {
    if (picture.intra) continue;
    ++p_pictures;
    const int q = PictureQp(picture);
    ASSERT_GE(q - 6, 10) << "the test needs QPs inside the library's 10..51 clip";
    for (int i = 0; i < kMacroblocks; ++i) {
      const int qp = picture.qp[i];
      // A macroblock without residual carries no QP of its own: it keeps the one of the
      // macroblock coded before it. Every other one is at Q or Q - 6 by its weight.
      ASSERT_TRUE(qp == q || qp == q - 6) << "macroblock " << i << " qp " << qp << " q " << q;
      const int before = i == 0 ? q : picture.qp[i - 1];
      if (kRoiWeights[i] == 0 && qp == q - 6) {
        EXPECT_EQ(before, q - 6) << i;
      }
      if (kRoiWeights[i] == 1) {
        ++weighted_total;
        if (qp == q - 6) {
          ++weighted_finer;
        } else {
          EXPECT_EQ(before, q) << i;
        }
      }
    }
  }
  EXPECT_GT(p_pictures, 100);
  EXPECT_GT(weighted_finer * 2, weighted_total) << weighted_finer << " of " << weighted_total;
}

TEST(RegionOfInterestTest, LevelZeroCodesEveryMacroblockAtThePictureQp) {
  const Y4mClip clip = TestClip();
  for (const auto& picture : EncodeAndInspect(clip, 0)) {
    for (int i = 0; i < kMacroblocks; ++i) ASSERT_EQ(picture.qp[i], picture.qp[0]) << i;
  }
}

bool AllEqual(const MacroblockQps& picture) {
  return std::all_of(picture.qp.begin(), picture.qp.end(),
                     [&picture](int qp) { return qp == picture.qp[0]; });
}

TEST(RegionOfInterestTest, LevelZeroMidCallDisarmsAtOnceWhileAChangeWaitsForTheNextCall) {
  const Y4mClip clip = TestClip();
  // Level 6 at open, 0 from picture 60: the offsets stop with that picture.
  const auto off = EncodeAndInspect(clip, 6, 60, 0);
  int uneven_before = 0;
  for (int i = 0; i < 60; ++i) uneven_before += AllEqual(off[size_t(i)]) ? 0 : 1;
  EXPECT_GT(uneven_before, 20);
  for (size_t i = 60; i < off.size(); ++i) ASSERT_TRUE(AllEqual(off[i])) << i;

  // Level 6 at open, 12 from picture 60: the open encoder keeps 6.
  for (const auto& picture : EncodeAndInspect(clip, 6, 60, 12)) {
    if (picture.intra) continue;
    const int q = PictureQp(picture);
    for (int qp : picture.qp) ASSERT_TRUE(qp == q || qp == q - 6);
  }
}

}  // namespace
}  // namespace kestrelio
