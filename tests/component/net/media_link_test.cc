// Two handsets' media pipelines on 127.0.0.2 and 127.0.0.3 exchange synthetic video for
// ten seconds over their transports and media channels. One of A's datagrams is dropped
// on purpose: B must report it with exactly one PacketLoss, A's next picture must be an
// IDR picture, and the stream B received must pass an independent decoder's inspection.
//
//   camera feeder -> OnCameraFrame -> encoder data thread -> DropOne -> MediaChannel
//     -> UDP -> peer Transport -> Tap -> MediaChannel -> picture ring -> display thread
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "camera/synthetic/synthetic_scene.h"
#include "media/camera_frame.h"
#include "media/decoder.h"
#include "media/display_thread.h"
#include "media/encoder.h"
#include "media/encoder_thread.h"
#include "net/transport/media_channel.h"
#include "net/transport/transport.h"
#include "net/wire/media_messages.h"
#include "tests/support/fake_window.h"
#include "tests/support/stream_probe.h"
#include "tests/support/wait.h"

namespace kestrelio {
namespace {

using testing::IsIdrPayload;

// Between the encoder data thread and the media channel: records every picture and
// leaves out the one with sequence number `drop`, as a lossy network would.
class DropOneSink : public VideoPayloadSink {
 public:
  explicit DropOneSink(VideoPayloadSink& next) : next_(next) {}
  void SendVideoPayload(std::span<const uint8_t> payload, uint16_t sequence) override {
    {
      std::lock_guard lock(mutex);
      payloads.emplace_back(payload.begin(), payload.end());
      sequences.push_back(sequence);
    }
    if (sequence != drop) next_.SendVideoPayload(payload, sequence);
  }
  uint16_t drop = 0;  // 0: none (sequence numbers start at 1)
  std::mutex mutex;
  std::vector<std::vector<uint8_t>> payloads;
  std::vector<uint16_t> sequences;

 private:
  VideoPayloadSink& next_;
};

// Between the transport and the media channel: records loss reports and received video.
class MediaTap : public MediaMessageHandler {
 public:
  MediaTap(MediaMessageHandler& next, DropOneSink& own_sender)
      : next_(next), own_sender_(own_sender) {}
  void OnMediaMessage(const ReceivedMessage& message) override {
    {
      std::lock_guard lock(mutex);
      if (message.header.type == static_cast<uint8_t>(MessageType::kPacketLoss)) {
        losses.push_back(*ParsePacketLoss(message.datagram));
        std::lock_guard sent_lock(own_sender_.mutex);
        sent_when_lost.push_back(own_sender_.payloads.size());
      } else if (message.header.type == static_cast<uint8_t>(MessageType::kVideoData)) {
        received_video.emplace_back(message.datagram.begin() + 6, message.datagram.end());
      }
    }
    next_.OnMediaMessage(message);
  }
  std::mutex mutex;
  std::vector<PacketLossFields> losses;
  std::vector<size_t> sent_when_lost;  // pictures A had handed over when each loss arrived
  std::vector<std::vector<uint8_t>> received_video;

 private:
  MediaMessageHandler& next_;
  DropOneSink& own_sender_;
};

class NoSignalling : public ControlMessageHandler {
 public:
  void OnControlMessage(const ReceivedMessage& message) override {
    ADD_FAILURE() << "unexpected control message type " << int(message.header.type);
  }
};

// One handset's media and network state, owned as the handset context owns it.
struct Handset {
  std::unique_ptr<CaptureState> capture = std::make_unique<CaptureState>();
  std::unique_ptr<EncoderState> encoder = std::make_unique<EncoderState>();
  std::unique_ptr<DecoderState> decoder = std::make_unique<DecoderState>();
  PeerBitmap peer_bitmap;
  CallFlags call;
  ViewFlags view;
  MediaSettings settings;
  KeyframeRequests keyframes;
  MediaReceiveCounters counters;
  PeerLink peer;
  FakeWindow window;
  NoSignalling signalling;
  Transport transport{window};
  MediaChannel channel{
      MediaChannelContext{transport, peer, call, *decoder, keyframes, counters, window}};
  DropOneSink sink{channel};
  MediaTap tap{channel, sink};
  CameraFrameContext frame_context{*capture, call, settings, keyframes};
  EncoderThreadContext encoder_context{*encoder, *capture, call, keyframes, sink};
  DisplayContext display_context{*decoder, capture->preview, peer_bitmap, call, view, window};
  EncoderDataThread encoder_thread;
  VideoDisplayThread display_thread;
  std::jthread camera;

  // Start-up: transport, encoder thread, display thread, camera.
  void StartUp(uint32_t address, uint32_t first_frame) {
    EncoderInit(*encoder);
    encoder->settings.log_level = EncoderLogLevel::kWarning;
    ASSERT_TRUE(CreatePeerBitmap(peer_bitmap, 96, 80));
    ASSERT_TRUE(transport.Start(TransportConfig{address, 0, 0}, signalling, tap));
    encoder_thread.Start(encoder_context);
    display_thread.Start(display_context);
    camera = std::jthread([this, first_frame](std::stop_token stop) {
      std::array<uint8_t, kCameraFrameBytes> frame{};
      auto next = std::chrono::steady_clock::now();
      for (uint32_t f = first_frame; !stop.stop_requested(); ++f) {
        DrawSyntheticFrame(f, frame);
        OnCameraFrame(frame_context, frame.data());
        next += std::chrono::microseconds(1000000 / 12);
        std::this_thread::sleep_until(next);
      }
    });
  }
  // Start of call, receiving side: decoder, receive state, the in-call flag. Nothing is
  // sent until the encoder starts, so both sides can be made ready to receive first and
  // no first picture meets a peer that is not yet in the call.
  void ReadyToReceive(const Handset& other, uint32_t other_address) {
    peer.Set(NetAddress{other_address, other.transport.udp_port()});
    ASSERT_EQ(DecoderOpen(*decoder), 0);
    channel.ResetReceive();
    call.in_call = true;
  }
  // Start of call, sending side.
  void StartSending() {
    ASSERT_TRUE(EncoderStart(*encoder, *capture, window));
    call.video_active = true;
  }
  void EndCall() {
    call.video_active = false;
    call.in_call = false;
    EncoderStop(*encoder, *capture);
  }
  // Shutdown: camera, threads, transport, then the decoder nobody uses any more.
  void ShutDown() {
    camera.request_stop();
    camera.join();
    encoder_thread.Stop();
    display_thread.Stop();
    transport.Stop();
    DecoderClose(*decoder);
  }
};

constexpr uint32_t kAddressA = 0x7F000002;
constexpr uint32_t kAddressB = 0x7F000003;
constexpr uint16_t kDropped = 30;

TEST(MediaLinkTest, TwoHandsetsExchangeVideoAndRecoverFromALostPicture) {
  auto a = std::make_unique<Handset>();
  auto b = std::make_unique<Handset>();
  a->sink.drop = kDropped;
  a->StartUp(kAddressA, 0);
  b->StartUp(kAddressB, 400);
  a->ReadyToReceive(*b, kAddressB);
  b->ReadyToReceive(*a, kAddressA);
  a->StartSending();
  b->StartSending();

  // The call runs until both directions have carried what the checks below need: the
  // status tick's read and clear, a few times a second; the loss reported to A; and A's
  // answer to it, pictures coded after the report. 60 s is a hang guard only.
  MediaReceiveCounters::Snapshot total_a, total_b;
  auto enough = [&] {
    for (auto [h, total] : {std::pair{a.get(), &total_a}, std::pair{b.get(), &total_b}}) {
      auto s = h->counters.TakeAndClear();
      total->frames_received += s.frames_received;
      total->payload_bytes_received += s.payload_bytes_received;
      total->packets_missing += s.packets_missing;
    }
    size_t sent_when_lost = 0;
    {
      std::lock_guard lock(a->tap.mutex);
      if (a->tap.sent_when_lost.empty()) return false;
      sent_when_lost = a->tap.sent_when_lost[0];
    }
    size_t sent_by_a = 0;
    {
      std::lock_guard lock(a->sink.mutex);
      sent_by_a = a->sink.payloads.size();
    }
    return sent_by_a > sent_when_lost + 4 && total_a.frames_received > 75 &&
           total_b.frames_received > 75 && total_b.payload_bytes_received > 10000 &&
           a->window.pictures_drawn(VideoTarget::kPrimary) > 30 &&
           b->window.pictures_drawn(VideoTarget::kPrimary) > 30;
  };
  EXPECT_TRUE(testing::WaitFor(enough, 60000, 250));  // on failure, still shut down
  a->EndCall();
  b->EndCall();
  a->ShutDown();
  b->ShutDown();

  // Both sides decoded and painted the other's pictures.
  EXPECT_GT(total_a.frames_received, 60u);
  EXPECT_GT(total_b.frames_received, 60u);
  EXPECT_GT(total_b.payload_bytes_received, 10000u);
  EXPECT_GT(a->window.pictures_drawn(VideoTarget::kPrimary), 30);
  EXPECT_GT(b->window.pictures_drawn(VideoTarget::kPrimary), 30);
  EXPECT_GT(a->decoder->decoded_count, 60u);
  EXPECT_GT(b->decoder->decoded_count, 60u);
  EXPECT_TRUE(a->window.Boxes().empty());
  EXPECT_TRUE(b->window.Boxes().empty());

  // Exactly one loss, reported once, only in A's direction.
  EXPECT_EQ(total_b.packets_missing, 1u);
  EXPECT_EQ(total_a.packets_missing, 0u);
  ASSERT_EQ(a->tap.losses.size(), 1u);
  EXPECT_EQ(a->tap.losses[0], (PacketLossFields{kDropped + 1, kDropped}));
  EXPECT_TRUE(b->tap.losses.empty());

  // IDR pictures only at encoder open and in answer to the loss: A's next picture.
  std::vector<size_t> idr_a;
  for (size_t i = 0; i < a->sink.payloads.size(); ++i) {
    if (IsIdrPayload(a->sink.payloads[i])) idr_a.push_back(i);
  }
  ASSERT_EQ(idr_a.size(), 2u);
  EXPECT_EQ(idr_a[0], 0u);
  const size_t sent_then = a->tap.sent_when_lost[0];
  EXPECT_GE(idr_a[1], sent_then);
  EXPECT_LE(idr_a[1], sent_then + 1);  // the picture being coded then may finish as P
  EXPECT_GE(a->sink.sequences[idr_a[1]], kDropped + 1);
  size_t idr_b = 0;
  for (const auto& p : b->sink.payloads) idr_b += IsIdrPayload(p) ? 1 : 0;
  EXPECT_EQ(idr_b, 1u);

  // What B received, as an independent decoder sees it.
  const auto& received = b->tap.received_video;
  // All but the dropped one, give or take the last picture in flight at call end.
  EXPECT_LE(received.size() + 1, a->sink.payloads.size());
  EXPECT_GE(received.size() + 2, a->sink.payloads.size());
  for (const auto& p : received) {
    EXPECT_TRUE(testing::AllPpsCavlc(p));
    EXPECT_TRUE(testing::ParameterSetsBeforeIdr(p));
  }
  if (!testing::HaveFfprobe()) GTEST_SKIP() << "no ffprobe";
  const std::string dump = ::testing::TempDir() + "/kestrelio_media_link.h264";
  testing::DumpPayloads(received, dump);
  const std::string fields = testing::ProbeStreamFields(dump);
  EXPECT_NE(fields.find("width=96"), std::string::npos) << fields;
  EXPECT_NE(fields.find("height=80"), std::string::npos) << fields;
  EXPECT_NE(fields.find("has_b_frames=0"), std::string::npos) << fields;
  EXPECT_NE(fields.find("refs=1"), std::string::npos) << fields;
  const auto types = testing::ProbePictureTypes(dump);
  ASSERT_EQ(types.size(), received.size());
  size_t intra = 0;
  for (size_t i = 0; i < types.size(); ++i) {
    EXPECT_EQ(types[i] == 'I', IsIdrPayload(received[i])) << i;
    EXPECT_NE(types[i], 'B');
    intra += types[i] == 'I' ? 1 : 0;
  }
  EXPECT_EQ(intra, 2u);
}

}  // namespace
}  // namespace kestrelio
