// kestrelio-media-latency: two media pipelines on loopback (127.0.0.2 and 127.0.0.3)
// exchange video over UDP; measured is the time from the camera frame callback to the
// peer's paint of that picture (median, p95), and the bit rate each side sent.
//
//   kestrelio-media-latency [seconds] [--y4m]      (default 20 s of the synthetic scene)
//
// camera thread -> OnCameraFrame -> capture ring -> encoder data thread -> MediaChannel
//   -> VideoData datagram -> peer Transport's UDP thread -> MediaChannel receive path
//   -> picture ring -> display thread -> DrawPicture (the latency is taken here)
// Capture times travel beside the stream, keyed by the picture's sequence number.

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/diag.h"
#include "base/worker.h"
#include "bench/media/bench_clip.h"
#include "media/camera_frame.h"
#include "media/decoder.h"
#include "media/display_thread.h"
#include "media/encoder.h"
#include "media/encoder_thread.h"
#include "net/socket/socket_address.h"
#include "net/transport/media_channel.h"
#include "net/transport/transport.h"
#include "ui/testing/console_window.h"

namespace kestrelio {
namespace {

int64_t NowUs() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Takes the latency of each peer picture at the moment it is painted.
class LatencyWindow : public bench::ConsoleWindow {
 public:
  explicit LatencyWindow(PictureRing& ring, std::array<std::atomic<int64_t>, 4>& stamps)
      : ring_(ring), stamps_(stamps) {
    latencies_us.reserve(100000);
  }
  void DrawPicture(VideoTarget target, const BgrPicture&) override {
    if (target != VideoTarget::kPrimary) return;
    // The display thread has just advanced past the slot it painted.
    const uint32_t slot = (ring_.read_index.load() + kPictureSlots - 1) % kPictureSlots;
    const int64_t stamp = stamps_[slot].load();
    std::lock_guard lock(mutex);
    if (stamp > 0) latencies_us.push_back(NowUs() - stamp);
  }

  std::mutex mutex;
  std::vector<int64_t> latencies_us;

 private:
  PictureRing& ring_;
  std::array<std::atomic<int64_t>, 4>& stamps_;
};

struct Pipeline;

// Between the encoder data thread and the media channel: notes each picture's capture
// time under its sequence number.
class StampSink : public VideoPayloadSink {
 public:
  explicit StampSink(Pipeline& pipeline) : pipeline_(pipeline) {}
  void SendVideoPayload(std::span<const uint8_t> payload, uint16_t sequence) override;

 private:
  Pipeline& pipeline_;
};

// Between the transport and the media channel: hands the capture time of each arriving
// picture to the ring slot it is about to be decoded into.
class StampTap : public MediaMessageHandler {
 public:
  explicit StampTap(Pipeline& pipeline) : pipeline_(pipeline) {}
  void OnMediaMessage(const ReceivedMessage& message) override;

 private:
  Pipeline& pipeline_;
};

class NoSignalling : public ControlMessageHandler {
 public:
  void OnControlMessage(const ReceivedMessage&) override {}
};

struct Pipeline {
  explicit Pipeline(uint32_t ipv4) : address(ipv4) {}

  uint32_t address;
  std::unique_ptr<CaptureState> capture = std::make_unique<CaptureState>();
  std::unique_ptr<EncoderState> encoder = std::make_unique<EncoderState>();
  std::unique_ptr<DecoderState> decoder = std::make_unique<DecoderState>();
  PeerBitmap peer_bitmap;
  CallFlags call;
  ViewFlags view;
  MediaSettings settings;
  KeyframeRequests keyframes;
  MediaReceiveCounters counters;
  PeerLink peer_link;
  std::array<std::atomic<int64_t>, 4> capture_stamps{};
  std::array<std::atomic<int64_t>, 4> picture_stamps{};
  std::unique_ptr<std::array<std::atomic<int64_t>, 65536>> sequence_stamps =
      std::make_unique<std::array<std::atomic<int64_t>, 65536>>();
  Pipeline* peer = nullptr;
  LatencyWindow window{decoder->ring, picture_stamps};
  Transport transport{window};
  MediaChannel channel{
      MediaChannelContext{transport, peer_link, call, *decoder, keyframes, counters, window}};
  StampSink sink{*this};
  StampTap tap{*this};
  NoSignalling signalling;
  CameraFrameContext frame_context{*capture, call, settings, keyframes};
  EncoderThreadContext encoder_context{*encoder, *capture, call, keyframes, sink};
  DisplayContext display_context{*decoder, capture->preview, peer_bitmap, call, view, window};
  EncoderDataThread encoder_thread;
  VideoDisplayThread display_thread;
  Worker camera_thread;
  std::atomic<uint64_t> bytes_sent{0};
};

void StampSink::SendVideoPayload(std::span<const uint8_t> payload, uint16_t sequence) {
  // The slot being encoded is still the one at the read index.
  const uint32_t slot = pipeline_.capture->ring.read_index.load();
  (*pipeline_.sequence_stamps)[sequence] = pipeline_.capture_stamps[slot].load();
  pipeline_.bytes_sent += payload.size() - 4;
  pipeline_.channel.SendVideoPayload(payload, sequence);
}

void StampTap::OnMediaMessage(const ReceivedMessage& message) {
  if (message.header.type == static_cast<uint8_t>(MessageType::kVideoData)) {
    pipeline_.picture_stamps[pipeline_.decoder->ring.write_index.load()] =
        (*pipeline_.peer->sequence_stamps)[message.header.word4].load();
  }
  pipeline_.channel.OnMediaMessage(message);
}

void StartPipeline(Pipeline& p, const bench::Clip& clip, size_t first_frame) {
  EncoderInit(*p.encoder);
  p.encoder->settings.log_level = EncoderLogLevel::kWarning;
  CreatePeerBitmap(p.peer_bitmap, 96, 80);
  p.encoder_thread.Start(p.encoder_context);
  p.display_thread.Start(p.display_context);
  DecoderOpen(*p.decoder);
  EncoderStart(*p.encoder, *p.capture, p.window);
  p.channel.ResetReceive();
  p.call.in_call = true;
  p.call.video_active = true;
  p.camera_thread.Start("bench-camera", [&p, &clip, first_frame](std::stop_token stop) {
    auto next = std::chrono::steady_clock::now();
    for (size_t f = first_frame; !stop.stop_requested(); ++f) {
      const uint32_t write_index = p.capture->ring.write_index.load();
      if (p.capture->ring.slots[write_index].full.load() == 0) {
        p.capture_stamps[write_index] = NowUs();
      }
      OnCameraFrame(p.frame_context, clip.camera_frames[f % clip.camera_frames.size()].data());
      next += std::chrono::microseconds(1000000 / 12);
      std::this_thread::sleep_until(next);
    }
  });
}

void StopPipeline(Pipeline& p) {
  p.camera_thread.Stop();
  p.call.video_active = false;
  p.call.in_call = false;
  p.transport.Stop();
  EncoderStop(*p.encoder, *p.capture);
  p.encoder_thread.Stop();
  p.display_thread.Stop();
  DecoderClose(*p.decoder);
}

void Report(const char* name, Pipeline& receiver, const Pipeline& sender, int seconds) {
  std::vector<int64_t> v;
  {
    std::lock_guard lock(receiver.window.mutex);
    v = receiver.window.latencies_us;
  }
  if (v.empty()) {
    std::printf("%s: nothing painted\n", name);
    return;
  }
  std::sort(v.begin(), v.end());
  const auto at = [&v](double q) { return double(v[size_t(q * double(v.size() - 1))]) / 1000.0; };
  std::printf(
      "%s: %zu pictures painted, capture-to-paint median %.1f ms, p95 %.1f ms, "
      "max %.1f ms; sent %.2f kbit/s\n",
      name, v.size(), at(0.5), at(0.95), at(1.0),
      double(sender.bytes_sent.load()) * 8.0 / seconds / 1000.0);
}

}  // namespace
}  // namespace kestrelio

int main(int argc, char** argv) {
  using namespace kestrelio;
  int seconds = 20;
  bool y4m = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--y4m") == 0) {
      y4m = true;
    } else {
      seconds = std::max(1, std::atoi(argv[i]));
    }
  }
  DiagQuietScope quiet;
  const bench::Clip clip = bench::LoadClip(!y4m);
  std::printf("footage: %s, %d s\n", clip.name.c_str(), seconds);
  auto a_owner = std::make_unique<Pipeline>(0x7F000002);
  auto b_owner = std::make_unique<Pipeline>(0x7F000003);
  Pipeline& a = *a_owner;
  Pipeline& b = *b_owner;
  for (Pipeline* p : {&a, &b}) {
    if (!p->transport.Start(TransportConfig{p->address, 0, 0}, p->signalling, p->tap) ||
        !p->transport.udp_open()) {
      std::fprintf(stderr, "cannot open the UDP socket on %s\n", DottedAddress(p->address).c_str());
      return 1;
    }
  }
  a.peer = &b;
  b.peer = &a;
  a.peer_link.Set(NetAddress{b.address, b.transport.udp_port()});
  b.peer_link.Set(NetAddress{a.address, a.transport.udp_port()});
  StartPipeline(a, clip, 0);
  StartPipeline(b, clip, clip.camera_frames.size() / 2);
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  StopPipeline(a);
  StopPipeline(b);
  Report("A -> B", b, a, seconds);
  Report("B -> A", a, b, seconds);
  return 0;
}
