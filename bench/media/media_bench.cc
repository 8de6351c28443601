// Per-frame work of the media pipeline: encode (against a bare libx264 encode of the
// same frames with the same parameters), decode with conversion, the frame callback
// with each option, and the frame-drop difference sum.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "base/diag.h"
#include "bench/media/bench_clip.h"
#include "media/camera_frame.h"
#include "media/decoder.h"
#include "media/encoder.h"
#include "media/frame_drop.h"
#include "media/x264_params.h"

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

void BM_DecodeFrameAndConvert(benchmark::State& state) {
  DiagQuietScope quiet;
  const auto& clip = Footage();
  // Encode the clip once.
  auto encoder = std::make_unique<EncoderState>();
  auto capture = std::make_unique<CaptureState>();
  EncoderInit(*encoder);
  encoder->settings.log_level = EncoderLogLevel::kWarning;
  struct Keep : VideoPayloadSink {
    void SendVideoPayload(std::span<const uint8_t> p, uint16_t) override {
      payloads.emplace_back(p.begin(), p.end());
    }
    std::vector<std::vector<uint8_t>> payloads;
  } keep;
  {
    std::lock_guard lock(encoder->lock);
    OpenEncoder(*encoder);
    KeyframeRequests requests;
    for (const auto& slot : clip.slots) EncodeFrame(*encoder, slot, requests, true, keep);
  }
  auto decoder = std::make_unique<DecoderState>();
  DecoderOpen(*decoder);
  std::vector<uint8_t> slot(kPictureSlotBytes);
  size_t i = 0;
  for (auto _ : state) {
    DecodeFrame(*decoder, keep.payloads[i], slot.data());
    i = (i + 1) % keep.payloads.size();
  }
  DecoderClose(*decoder);
}
BENCHMARK(BM_DecodeFrameAndConvert)->Unit(benchmark::kMicrosecond)->Iterations(2400);

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
