// kestrelio-media-quality: what the encoder achieves over 60 s of footage (synthetic
// scene and the Y4M clip): bit rate against the target, luma PSNR, the region of
// interest's PSNR at ROI 6 against ROI 0, and heap allocations on the per-frame paths.
//
//   kestrelio-media-quality [seconds]     (default 60; footage from KESTRELIO_MEDIA_DIR)
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "base/diag.h"
#include "base/testing/alloc_counter.h"
#include "bench/media/bench_clip.h"
#include "media/camera_frame.h"
#include "media/decoder.h"
#include "media/display_thread.h"
#include "media/encoder.h"
#include "ui/testing/console_window.h"

namespace kestrelio {
namespace {

struct Collect : VideoPayloadSink {
  void SendVideoPayload(std::span<const uint8_t> p, uint16_t) override {
    last.assign(p.begin(), p.end());
    bytes += p.size() - 4;
  }
  std::vector<uint8_t> last;
  uint64_t bytes = 0;
};

struct Result {
  double kbps = 0;
  double psnr_y = 0;     // mean of per-picture luma PSNR
  double roi_psnr = 0;   // luma PSNR over the weighted macroblocks, all pictures
  double rest_psnr = 0;  // luma PSNR over the other macroblocks
};

double Psnr(double sse, double samples) {
  return sse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 * samples / sse);
}

Result Run(const bench::Clip& clip, int frames, int roi_level) {
  auto encoder = std::make_unique<EncoderState>();
  EncoderInit(*encoder);
  encoder->settings.log_level = EncoderLogLevel::kWarning;
  encoder->settings.roi_level = roi_level;
  encoder->roi_level = roi_level;
  std::lock_guard lock(encoder->lock);
  OpenEncoder(*encoder);
  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
  AVCodecContext* context = avcodec_alloc_context3(codec);
  avcodec_open2(context, codec, nullptr);
  AVPacket* packet = av_packet_alloc();
  AVFrame* picture = av_frame_alloc();

  KeyframeRequests requests;
  Collect sink;
  Result result;
  double roi_sse = 0, rest_sse = 0, roi_samples = 0, rest_samples = 0;
  for (int f = 0; f < frames; ++f) {
    const CaptureSlot& slot = clip.slots[size_t(f) % clip.slots.size()];
    sink.last.clear();
    EncodeFrame(*encoder, slot, requests, true, sink);
    if (sink.last.size() <= 4) continue;
    av_new_packet(packet, static_cast<int>(sink.last.size() - 4));
    std::copy(sink.last.begin() + 4, sink.last.end(), packet->data);
    avcodec_send_packet(context, packet);
    av_packet_unref(packet);
    while (avcodec_receive_frame(context, picture) == 0) {
      double sse = 0;
      for (int y = 0; y < kFrameHeight; ++y) {
        for (int x = 0; x < kFrameWidth; ++x) {
          const double d = double(picture->data[0][y * picture->linesize[0] + x]) -
                           slot.y()[y * kFrameWidth + x];
          sse += d * d;
          if (kRoiWeights[(y / 16) * kMacroblocksAcross + x / 16] != 0) {
            roi_sse += d * d;
            roi_samples += 1;
          } else {
            rest_sse += d * d;
            rest_samples += 1;
          }
        }
      }
      result.psnr_y += Psnr(sse, kLumaBytes);
      av_frame_unref(picture);
    }
  }
  result.psnr_y /= frames;
  result.kbps = double(sink.bytes) * 8.0 / (frames / 12.0) / 1000.0;
  result.roi_psnr = Psnr(roi_sse, roi_samples);
  result.rest_psnr = Psnr(rest_sse, rest_samples);
  av_frame_free(&picture);
  av_packet_free(&packet);
  avcodec_free_context(&context);
  return result;
}

// Runs the per-frame paths after a warm-up and counts their heap allocations.
void CountAllocations(const bench::Clip& clip) {
  auto capture = std::make_unique<CaptureState>();
  auto encoder = std::make_unique<EncoderState>();
  auto decoder = std::make_unique<DecoderState>();
  auto peer = std::make_unique<PeerBitmap>();
  CallFlags call;
  ViewFlags view;
  MediaSettings settings;
  KeyframeRequests requests;
  bench::ConsoleWindow window;
  call.in_call = true;
  call.video_active = true;
  settings.pre_processing = true;
  settings.frame_drop = true;
  EncoderInit(*encoder);
  encoder->settings.log_level = EncoderLogLevel::kWarning;
  EncoderStart(*encoder, *capture, window);
  DecoderOpen(*decoder);
  CameraFrameContext frame_context{*capture, call, settings, requests};
  DisplayContext display{*decoder, capture->preview, *peer, call, view, window};
  // Decoding runs inside the encode stage here; the sink books its allocations apart.
  struct Loop : VideoPayloadSink {
    explicit Loop(DecoderState& d) : decoder(d) {}
    void SendVideoPayload(std::span<const uint8_t> p, uint16_t) override {
      const uint64_t before = bench::StopCountingAllocations();
      bench::ContinueCountingAllocations();
      DecodeIntoRing(decoder, p);
      decode_allocations += bench::StopCountingAllocations() - before;
      bench::ContinueCountingAllocations();
    }
    DecoderState& decoder;
    uint64_t decode_allocations = 0;
  } loop(*decoder);

  // What each stage allocated: callback, encode (with the decode it feeds), display.
  uint64_t stage[3] = {};
  auto one_frame = [&](size_t f) {
    uint64_t before = bench::StopCountingAllocations();
    bench::ContinueCountingAllocations();
    OnCameraFrame(frame_context, clip.camera_frames[f % clip.camera_frames.size()].data());
    uint64_t now = bench::StopCountingAllocations();
    stage[0] += now - before;
    before = now;
    bench::ContinueCountingAllocations();
    CaptureRing& ring = capture->ring;
    while (ring.slots[ring.read_index].full.load() != 0) {
      std::lock_guard lock(encoder->lock);
      EncodeFrame(*encoder, ring.slots[ring.read_index], requests, true, loop);
      ring.slots[ring.read_index].full = 0;
      ring.read_index = (ring.read_index + 1) % kCaptureSlots;
    }
    now = bench::StopCountingAllocations();
    stage[1] += now - before;
    before = now;
    bench::ContinueCountingAllocations();
    DisplayTick(display);
    now = bench::StopCountingAllocations();
    stage[2] += now - before;
    bench::ContinueCountingAllocations();
  };
  for (size_t f = 0; f < 24; ++f) one_frame(f);
  stage[0] = stage[1] = stage[2] = 0;
  loop.decode_allocations = 0;
  const size_t counted = 480;
  bench::StartCountingAllocations();
  for (size_t f = 24; f < 24 + counted; ++f) one_frame(f);
  const uint64_t allocations = bench::StopCountingAllocations();
  std::printf("  frame callback %llu, encode %llu, decode (inside libavcodec) %llu, display %llu\n",
              static_cast<unsigned long long>(stage[0]),
              static_cast<unsigned long long>(stage[1] - loop.decode_allocations),
              static_cast<unsigned long long>(loop.decode_allocations),
              static_cast<unsigned long long>(stage[2]));
  std::printf(
      "heap allocations over %zu frames of callback + encode + decode + display: %llu "
      "(%.2f a frame)\n",
      counted, static_cast<unsigned long long>(allocations), double(allocations) / double(counted));
  EncoderStop(*encoder, *capture);
  DecoderClose(*decoder);
}

}  // namespace
}  // namespace kestrelio

int main(int argc, char** argv) {
  using namespace kestrelio;
  DiagQuietScope quiet;
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
  const int frames = seconds * 12;
  for (bool synthetic : {true, false}) {
    const bench::Clip clip = bench::LoadClip(synthetic);
    if (!synthetic && clip.name == "synthetic") {
      std::printf("no Y4M clip at %s\n", bench::ClipPath().c_str());
      continue;
    }
    const Result roi0 = Run(clip, frames, 0);
    const Result roi6 = Run(clip, frames, 6);
    std::printf(
        "%-16s %d s: ROI 0: %.2f kbit/s (target 30, %+.1f%%), luma PSNR %.2f dB, "
        "region %.2f dB, rest %.2f dB\n",
        clip.name.c_str(), seconds, roi0.kbps, (roi0.kbps / 30.0 - 1) * 100, roi0.psnr_y,
        roi0.roi_psnr, roi0.rest_psnr);
    std::printf(
        "%-16s %d s: ROI 6: %.2f kbit/s, luma PSNR %.2f dB, region %.2f dB "
        "(%+.2f dB against ROI 0), rest %.2f dB\n",
        clip.name.c_str(), seconds, roi6.kbps, roi6.psnr_y, roi6.roi_psnr,
        roi6.roi_psnr - roi0.roi_psnr, roi6.rest_psnr);
  }
  CountAllocations(bench::LoadClip(false));
  return 0;
}
