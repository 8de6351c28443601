// kestrelio-media-latency: two media pipelines on loopback (127.0.0.2 and 127.0.0.3)
// exchange video over UDP; measured is the time from the camera frame callback to the
// peer's paint of that picture (median, p95), and the bit rate each side sent.
//
//   kestrelio-media-latency [seconds] [--y4m]      (default 20 s of the synthetic scene)
//
// camera thread -> OnCameraFrame -> capture ring -> encoder data thread -> UDP datagram
//   (8-byte capture time + video payload) -> receive thread -> DecodeIntoRing -> picture
//   ring -> display thread -> DrawPicture (the latency is taken here)
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

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
#include "bench/media/bench_clip.h"
#include "bench/media/console_window.h"
#include "media/camera_frame.h"
#include "media/decoder.h"
#include "media/display_thread.h"
#include "media/encoder.h"
#include "media/encoder_thread.h"

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

class UdpSink : public VideoPayloadSink {
 public:
  explicit UdpSink(Pipeline& pipeline) : pipeline_(pipeline) {}
  void SendVideoPayload(std::span<const uint8_t> payload, uint16_t sequence) override;

 private:
  Pipeline& pipeline_;
  std::array<uint8_t, 8 + kVideoPayloadBytes> datagram_{};
};

struct Pipeline {
  explicit Pipeline(const char* address) {
    socket_fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    inet_pton(AF_INET, address, &local.sin_addr);
    if (bind(socket_fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
      std::perror("bind");
      std::exit(1);
    }
    socklen_t length = sizeof own;
    getsockname(socket_fd, reinterpret_cast<sockaddr*>(&own), &length);
    timeval timeout{0, 100000};
    setsockopt(socket_fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  }
  ~Pipeline() { close(socket_fd); }

  std::unique_ptr<CaptureState> capture = std::make_unique<CaptureState>();
  std::unique_ptr<EncoderState> encoder = std::make_unique<EncoderState>();
  std::unique_ptr<DecoderState> decoder = std::make_unique<DecoderState>();
  PeerBitmap peer_bitmap;
  CallFlags call;
  ViewFlags view;
  MediaSettings settings;
  KeyframeRequests keyframes;
  std::array<std::atomic<int64_t>, 4> capture_stamps{};
  std::array<std::atomic<int64_t>, 4> picture_stamps{};
  LatencyWindow window{decoder->ring, picture_stamps};
  UdpSink sink{*this};
  CameraFrameContext frame_context{*capture, call, settings, keyframes};
  EncoderThreadContext encoder_context{*encoder, *capture, call, keyframes, sink};
  DisplayContext display_context{*decoder, capture->preview, peer_bitmap, call, view, window};
  EncoderDataThread encoder_thread;
  VideoDisplayThread display_thread;
  std::jthread camera_thread;
  std::jthread receive_thread;
  int socket_fd = -1;
  sockaddr_in own{};
  sockaddr_in peer{};
  std::atomic<uint64_t> bytes_sent{0};
};

void UdpSink::SendVideoPayload(std::span<const uint8_t> payload, uint16_t) {
  // The slot being encoded is still the one at the read index.
  const uint32_t slot = pipeline_.capture->ring.read_index.load();
  const auto stamp = static_cast<uint64_t>(pipeline_.capture_stamps[slot].load());
  for (int i = 0; i < 8; ++i) datagram_[i] = static_cast<uint8_t>(stamp >> (8 * i));
  std::memcpy(datagram_.data() + 8, payload.data(), payload.size());
  sendto(pipeline_.socket_fd, datagram_.data(), payload.size() + 8, 0,
         reinterpret_cast<const sockaddr*>(&pipeline_.peer), sizeof pipeline_.peer);
  pipeline_.bytes_sent += payload.size() - 4;
}

void StartPipeline(Pipeline& p, const bench::Clip& clip, size_t first_frame) {
  EncoderInit(*p.encoder);
  p.encoder->params.i_log_level = X264_LOG_WARNING;
  CreatePeerBitmap(p.peer_bitmap, 96, 80);
  p.encoder_thread.Start(p.encoder_context);
  p.display_thread.Start(p.display_context);
  DecoderOpen(*p.decoder);
  EncoderStart(*p.encoder, *p.capture, p.window);
  p.call.in_call = true;
  p.call.video_active = true;
  p.receive_thread = std::jthread([&p](std::stop_token stop) {
    std::array<uint8_t, 65536> buffer{};
    while (!stop.stop_requested()) {
      const ssize_t n = recv(p.socket_fd, buffer.data(), buffer.size(), 0);
      if (n < 12) continue;
      int64_t stamp = 0;
      for (int i = 7; i >= 0; --i) stamp = (stamp << 8) | buffer[i];
      p.picture_stamps[p.decoder->ring.write_index.load()] = stamp;
      DecodeIntoRing(*p.decoder,
                     std::span<const uint8_t>(buffer.data() + 8, static_cast<size_t>(n - 8)));
    }
  });
  p.camera_thread = std::jthread([&p, &clip, first_frame](std::stop_token stop) {
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
  p.camera_thread.request_stop();
  p.camera_thread.join();
  p.call.video_active = false;
  p.call.in_call = false;
  p.receive_thread.request_stop();
  p.receive_thread.join();
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
  Pipeline a("127.0.0.2");
  Pipeline b("127.0.0.3");
  a.peer = b.own;
  b.peer = a.own;
  StartPipeline(a, clip, 0);
  StartPipeline(b, clip, clip.camera_frames.size() / 2);
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  StopPipeline(a);
  StopPipeline(b);
  Report("A -> B", b, a, seconds);
  Report("B -> A", a, b, seconds);
  return 0;
}
