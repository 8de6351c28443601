// Per-frame work of the media pipeline: encode (against a bare libx264 encode of the
// same frames with the same parameters), decode with conversion (against a bare
// libavcodec decode), the conversion alone, the frame callback
// with each option, the scaling of a picture to its shown size, and the frame-drop
// difference sum.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <vector>

#include "base/diag.h"
#include "bench/media/bench_clip.h"
#include "media/camera_frame.h"
#include "media/decoder.h"
#include "media/encoder.h"
#include "media/frame_drop.h"
#include "media/x264_params.h"
#include "media/yuv_rows.h"
#include "ui/picture_scaler.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace kestrelio {
namespace {

class NullWindowSink : public VideoPayloadSink {
 public:
  void SendVideoPayload(std::span<const uint8_t> payload, uint16_t) override {
    bytes += payload.size();
  }
  size_t bytes = 0;
};

const bench::Clip& Footage() {
  static const bench::Clip clip = bench::LoadClip(false);
  return clip;
}

void BM_EncodeFrame(benchmark::State& state) {
  DiagQuietScope quiet;
  const auto& clip = Footage();
  auto encoder = std::make_unique<EncoderState>();
  auto capture = std::make_unique<CaptureState>();
  EncoderInit(*encoder);
  encoder->settings.log_level = EncoderLogLevel::kWarning;
  std::lock_guard lock(encoder->lock);
  OpenEncoder(*encoder);  // ROI level 6: the weighted macroblocks carry offset -6
  KeyframeRequests requests;
  NullWindowSink sink;
  size_t frame = 0;
  for (auto _ : state) {
    EncodeFrame(*encoder, clip.slots[frame], requests, true, sink);
    frame = (frame + 1) % clip.slots.size();
  }
  state.counters["kbit/s"] = double(sink.bytes - 4 * state.iterations()) * 8 /
                             (double(state.iterations()) / 12.0) / 1000.0;
  state.SetLabel(clip.name);
}
BENCHMARK(BM_EncodeFrame)->Unit(benchmark::kMicrosecond)->Iterations(2400);

// The same frames and parameters straight into libx264: the floor EncodeFrame is held to.
void BM_BareX264Encode(benchmark::State& state) {
  DiagQuietScope quiet;
  const auto& clip = Footage();
  auto settings = std::make_unique<EncoderState>();
  EncoderInit(*settings);
  settings->settings.log_level = EncoderLogLevel::kWarning;
  x264_param_t params;
  ToX264Params(settings->settings, params);
  x264_t* encoder = x264_encoder_open(&params);
  std::array<float, kMacroblocks> offsets{};
  for (int i = 0; i < kMacroblocks; ++i) offsets[i] = static_cast<float>(kRoiWeights[i] * -6);
  size_t frame = 0;
  int64_t pts = 0;
  size_t bytes = 0;
  for (auto _ : state) {
    x264_picture_t in;
    x264_picture_init(&in);
    in.img.i_csp = X264_CSP_I420;
    in.img.i_plane = 3;
    uint8_t* base = const_cast<uint8_t*>(clip.slots[frame].bytes.data());
    in.img.plane[0] = base;
    in.img.plane[1] = base + kLumaBytes;
    in.img.plane[2] = base + kLumaBytes + kChromaPlaneBytes;
    in.img.i_stride[0] = kFrameWidth;
    in.img.i_stride[1] = kFrameWidth / 2;
    in.img.i_stride[2] = kFrameWidth / 2;
    in.i_pts = pts;
    pts += 1000;
    in.prop.quant_offsets = offsets.data();
    x264_picture_t out;
    x264_nal_t* nals;
    int count;
    x264_encoder_encode(encoder, &nals, &count, &in, &out);
    for (int i = 0; i < count; ++i) bytes += static_cast<size_t>(nals[i].i_payload);
    benchmark::DoNotOptimize(nals);
    frame = (frame + 1) % clip.slots.size();
  }
  x264_encoder_close(encoder);
  state.counters["kbit/s"] = double(bytes) * 8 / (double(state.iterations()) / 12.0) / 1000.0;
}
BENCHMARK(BM_BareX264Encode)->Unit(benchmark::kMicrosecond)->Iterations(2400);

// The footage encoded once, as the peer sends it: one payload (count + Annex B) a frame.
const std::vector<std::vector<uint8_t>>& EncodedFootage() {
  static const std::vector<std::vector<uint8_t>> payloads = [] {
    DiagQuietScope quiet;
    auto encoder = std::make_unique<EncoderState>();
    EncoderInit(*encoder);
    encoder->settings.log_level = EncoderLogLevel::kWarning;
    struct Keep : VideoPayloadSink {
      void SendVideoPayload(std::span<const uint8_t> p, uint16_t) override {
        kept.emplace_back(p.begin(), p.end());
      }
      std::vector<std::vector<uint8_t>> kept;
    } keep;
    std::lock_guard lock(encoder->lock);
    OpenEncoder(*encoder);
    KeyframeRequests requests;
    for (const auto& slot : Footage().slots) EncodeFrame(*encoder, slot, requests, true, keep);
    return keep.kept;
  }();
  return payloads;
}

void BM_DecodeFrameAndConvert(benchmark::State& state) {
  DiagQuietScope quiet;
  const auto& payloads = EncodedFootage();
  auto decoder = std::make_unique<DecoderState>();
  DecoderOpen(*decoder);
  std::vector<uint8_t> slot(kPictureSlotBytes);
  size_t i = 0;
  for (auto _ : state) {
    DecodeFrame(*decoder, payloads[i], slot.data());
    i = (i + 1) % payloads.size();
  }
  DecoderClose(*decoder);
}
BENCHMARK(BM_DecodeFrameAndConvert)->Unit(benchmark::kMicrosecond)->Iterations(2400);

// The same payloads straight into libavcodec, no conversion: the floor of the row above.
void BM_BareAvcodecDecode(benchmark::State& state) {
  const auto& payloads = EncodedFootage();
  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
  AVCodecContext* context = avcodec_alloc_context3(codec);
  context->thread_count = 1;
  avcodec_open2(context, codec, nullptr);
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  std::vector<uint8_t> input(kMaxReceivedPayloadBytes + AV_INPUT_BUFFER_PADDING_SIZE);
  size_t i = 0;
  for (auto _ : state) {
    const auto& payload = payloads[i];
    const size_t n = payload.size() - 4;
    std::memcpy(input.data(), payload.data() + 4, n);
    packet->data = input.data();
    packet->size = static_cast<int>(n);
    avcodec_send_packet(context, packet);
    while (avcodec_receive_frame(context, frame) == 0) {
      benchmark::DoNotOptimize(frame->data[0][0]);
      av_frame_unref(frame);
    }
    i = (i + 1) % payloads.size();
  }
  av_frame_free(&frame);
  av_packet_free(&packet);
  avcodec_free_context(&context);
}
BENCHMARK(BM_BareAvcodecDecode)->Unit(benchmark::kMicrosecond)->Iterations(2400);

// One 96x80 picture to B, G, R: the converter in use (arg 0) and the per-pixel loop (1).
void BM_ConvertPicture(benchmark::State& state) {
  const CaptureSlot& slot = Footage().slots[0];
  std::vector<uint8_t> out(kPictureSlotBytes);
  const bool scalar = state.range(0) == 1;
  for (auto _ : state) {
    for (int r = 0; r < kFrameHeight; ++r) {
      const uint8_t* y = slot.y() + r * kFrameWidth;
      const uint8_t* u = slot.y() + kLumaBytes + (r / 2) * (kFrameWidth / 2);
      const uint8_t* v = u + kChromaPlaneBytes;
      uint8_t* row = out.data() + r * kFrameWidth * 3;
      if (scalar) {
        ConvertYuvRowToBgrScalar(y, u, v, kFrameWidth, row, RowOrder::kAsIs);
      } else {
        ConvertYuvRowToBgr(y, u, v, kFrameWidth, row, RowOrder::kAsIs);
      }
    }
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetLabel(scalar ? "per-pixel loop" : "in use");
}
BENCHMARK(BM_ConvertPicture)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// The mirrored preview of one camera frame.
void BM_ConvertPreview(benchmark::State& state) {
  const CaptureSlot& slot = Footage().slots[0];
  std::vector<uint8_t> out(kPreviewBytes);
  for (auto _ : state) {
    ConvertPreview(slot, std::span<uint8_t, kPreviewBytes>(out.data(), kPreviewBytes));
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_ConvertPreview)->Unit(benchmark::kMicrosecond);

// A decoded picture scaled to the size it is shown at (the display thread's share of a
// paint): phone size and twice it, smooth and nearest-neighbour.
void BM_ScaleForDisplay(benchmark::State& state) {
  const int width = static_cast<int>(state.range(0));
  const int height = width * 5 / 6;
  const bool smooth = state.range(1) == 1;
  std::vector<uint8_t> picture(kPictureSlotBytes);
  for (size_t i = 0; i < picture.size(); ++i) picture[i] = static_cast<uint8_t>(i * 7);
  PictureScaler scaler;
  scaler.Configure(kFrameWidth, kFrameHeight, width, height, smooth);
  std::vector<uint8_t> out(static_cast<size_t>(width * height * 4));
  const BgrPicture in{picture.data(), kFrameWidth, kFrameHeight, kFrameWidth * 3, true};
  for (auto _ : state) {
    scaler.Scale(in, out.data(), width * 4);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetLabel(smooth ? "smooth" : "nearest");
}
BENCHMARK(BM_ScaleForDisplay)
    ->Args({240, 1})
    ->Args({240, 0})
    ->Args({480, 1})
    ->Args({480, 0})
    ->Unit(benchmark::kMicrosecond);

// Argument: 0 plain, 1 PreProcessing, 2 Black and White, 3 Frame Drop, 4 all three.
void BM_OnCameraFrame(benchmark::State& state) {
  const auto& clip = Footage();
  auto capture = std::make_unique<CaptureState>();
  CallFlags call;
  MediaSettings settings;
  KeyframeRequests requests;
  CameraFrameContext context{*capture, call, settings, requests};
  call.in_call = true;
  capture->capture_active = true;
  const int64_t option = state.range(0);
  settings.pre_processing = option == 1 || option == 4;
  settings.black_and_white = option == 2 || option == 4;
  settings.frame_drop = option == 3 || option == 4;
  size_t frame = 0;
  for (auto _ : state) {
    OnCameraFrame(context, clip.camera_frames[frame].data());
    for (auto& slot : capture->ring.slots) slot.full.store(0, std::memory_order_relaxed);
    frame = (frame + 1) % clip.camera_frames.size();
  }
  static const char* const kNames[] = {"plain", "pre-processing", "black-and-white", "frame-drop",
                                       "all"};
  state.SetLabel(kNames[option]);
}
BENCHMARK(BM_OnCameraFrame)->DenseRange(0, 4)->Unit(benchmark::kMicrosecond);

void BM_FrameDropTest(benchmark::State& state) {
  const auto& clip = Footage();
  FrameDropCounters counters;
  KeyframeRequests requests;
  size_t frame = 1;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        FrameDropTest(clip.slots[frame].y(), clip.slots[frame - 1].y(), counters, requests));
    frame = frame + 1 < clip.slots.size() ? frame + 1 : 1;
  }
}
BENCHMARK(BM_FrameDropTest)->Unit(benchmark::kNanosecond);

void BM_LumaSadPlain(benchmark::State& state) {
  const auto& clip = Footage();
  for (auto _ : state) {
    benchmark::DoNotOptimize(LumaSadPlain(clip.slots[1].y(), clip.slots[0].y()));
  }
}
BENCHMARK(BM_LumaSadPlain)->Unit(benchmark::kNanosecond);

}  // namespace
}  // namespace kestrelio

BENCHMARK_MAIN();
