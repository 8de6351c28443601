// kestrelio-media-loop: the handset's whole video path in one window, sent to itself.
//
//   camera driver -> OnCameraFrame -> capture ring -> encoder data thread -> MediaChannel
//     -> UDP datagram to its own port on 127.0.0.1 -> Transport's UDP thread
//     -> MediaChannel receive path -> picture ring -> video display thread -> MainWindow
//
// The big picture is what a peer would see (the own stream after encoding, the network
// and decoding), the small one the mirrored preview.
//
//   kestrelio-media-loop [--camera synthetic|v4l2|PATH] [--frames N] [--seconds S]
//                        [--screenshot PATH]
//
// Without --frames or --seconds it runs until the window is closed. With --screenshot the
// window is saved as PNG just before it closes (works under QT_QPA_PLATFORM=offscreen).
// KESTRELIO_CAMERA_Y4M makes the synthetic driver play a Y4M file.
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "base/diag.h"
#include "media/camera_driver.h"
#include "media/camera_frame.h"
#include "media/decoder.h"
#include "media/display_thread.h"
#include "media/encoder.h"
#include "media/encoder_thread.h"
#include "net/transport/media_channel.h"
#include "net/transport/transport.h"
#include "ui/main_window.h"
#include "base/window/window_handler.h"

namespace kestrelio {
namespace {

struct Options {
  std::string camera = "synthetic";
  long frames = 0;  // 0: no limit
  double seconds = 0;
  std::string screenshot;
};

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const bool has_value = i + 1 < argc;
    if (std::strcmp(argv[i], "--camera") == 0 && has_value) {
      options.camera = argv[++i];
    } else if (std::strcmp(argv[i], "--frames") == 0 && has_value) {
      options.frames = std::strtol(argv[++i], nullptr, 10);
    } else if (std::strcmp(argv[i], "--seconds") == 0 && has_value) {
      options.seconds = std::strtod(argv[++i], nullptr);
    } else if (std::strcmp(argv[i], "--screenshot") == 0 && has_value) {
      options.screenshot = argv[++i];
    } else {
      return false;
    }
  }
  return options.frames >= 0 && options.seconds >= 0;
}

// Signalling has nothing to do here: the only traffic is the tool's own video.
class IgnoreSignalling : public ControlMessageHandler {
 public:
  void OnControlMessage(const ReceivedMessage& message) override {
    Diag("media-loop: control message type %u ignored", message.header.type);
  }
};

class LoopHandler : public WindowHandler {
 public:
  void OnCommand(int) override {}
  void OnTimer(int) override {}  // the network-loss timer has no call to end here
  void OnTextLogNotify(int) override {}
  void OnDestroy() override {
    if (shutdown) shutdown();
  }
  std::function<void()> shutdown;
};

// What the handset context would own for one handset's video.
struct Loop {
  CallFlags call;
  ViewFlags view;
  MediaSettings settings;
  KeyframeRequests keyframes;
  MediaReceiveCounters counters;
  PeerLink peer;
  std::unique_ptr<CaptureState> capture = std::make_unique<CaptureState>();
  std::unique_ptr<EncoderState> encoder = std::make_unique<EncoderState>();
  std::unique_ptr<DecoderState> decoder = std::make_unique<DecoderState>();
  PeerBitmap peer_bitmap;
  CameraDriver camera;
};

std::string ProgramDir(const char* argv0) {
  std::string path = argv0;
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

}  // namespace
}  // namespace kestrelio

int main(int argc, char** argv) {
  using namespace kestrelio;
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::fprintf(stderr,
                 "usage: kestrelio-media-loop [--camera synthetic|v4l2|PATH] [--frames N] "
                 "[--seconds S] [--screenshot PATH]\n");
    return 2;
  }
  QApplication app(argc, argv);
  auto loop = std::make_unique<Loop>();
  MainWindow main_window(loop->call, loop->view);
  LoopHandler handler;
  main_window.SetHandler(&handler);
  Window& window = main_window.window();
  main_window.InitialiseForStartUp();
  main_window.show();

  // Start-up: camera, encoder parameters, transport, display thread.
  const std::string library =
      ResolveCameraLibrary(options.camera, ProgramDir(argv[0]), CaptureDevicePresent());
  if (!CameraLoad(library, loop->camera)) {
    std::fprintf(stderr, "kestrelio-media-loop: cannot load camera driver %s\n", library.c_str());
    return 1;
  }
  CameraFrameContext frame_context{*loop->capture, loop->call, loop->settings, loop->keyframes};
  if (!CameraStart(loop->camera, loop->capture->preview, window, OnCameraFrameCallback,
                   &frame_context)) {
    return 1;
  }
  EncoderInit(*loop->encoder);
  Transport transport(window);
  MediaChannel channel(MediaChannelContext{transport, loop->peer, loop->call, *loop->decoder,
                                           loop->keyframes, loop->counters, window});
  IgnoreSignalling signalling;
  if (!transport.Start(TransportConfig{0x7F000001, 0, 0}, signalling, channel) ||
      !transport.udp_open()) {
    return 1;
  }
  loop->peer.Set(NetAddress{0x7F000001, transport.udp_port()});  // to itself
  EncoderThreadContext encoder_context{*loop->encoder, *loop->capture, loop->call, loop->keyframes,
                                       channel};
  EncoderDataThread encoder_thread;
  encoder_thread.Start(encoder_context);
  DisplayContext display_context{
      *loop->decoder, loop->capture->preview, loop->peer_bitmap, loop->call, loop->view, window};
  VideoDisplayThread display_thread;
  display_thread.Start(display_context);

  // Start of call.
  CreatePeerBitmap(loop->peer_bitmap, 96, 80);
  if (DecoderOpen(*loop->decoder) != 0) return 1;
  channel.ResetReceive();
  if (!EncoderStart(*loop->encoder, *loop->capture, window)) return 1;
  loop->call.in_call = true;
  loop->call.video_active = true;

  bool stopped = false;
  uint64_t frames_received = 0;
  uint64_t bytes_received = 0;
  QElapsedTimer clock;
  clock.start();
  auto stop_media = [&] {
    if (stopped) return;
    stopped = true;
    // End of call, then shutdown in reverse order of start-up.
    loop->call.video_active = false;
    loop->call.in_call = false;
    EncoderStop(*loop->encoder, *loop->capture);
    CameraStop(loop->camera, *loop->capture, window);
    encoder_thread.Stop();
    display_thread.Stop();
    transport.Stop();
    DecoderClose(*loop->decoder);
    std::printf("media-loop: %llu pictures received, %.1f kbit/s over %.1f s\n",
                static_cast<unsigned long long>(frames_received),
                double(bytes_received) * 8.0 / 1000.0 / (double(clock.elapsed()) / 1000.0 + 1e-9),
                double(clock.elapsed()) / 1000.0);
  };
  handler.shutdown = stop_media;

  QTimer tick;
  QObject::connect(&tick, &QTimer::timeout, [&] {
    const auto counts = loop->counters.TakeAndClear();
    frames_received += counts.frames_received;
    bytes_received += counts.payload_bytes_received;
    const bool enough_frames =
        options.frames > 0 && frames_received >= static_cast<uint64_t>(options.frames);
    const bool enough_time =
        options.seconds > 0 && double(clock.elapsed()) >= options.seconds * 1000.0;
    if (!enough_frames && !enough_time) return;
    tick.stop();
    if (!options.screenshot.empty() &&
        !main_window.SaveScreenshot(QString::fromStdString(options.screenshot))) {
      std::fprintf(stderr, "media-loop: cannot write %s\n", options.screenshot.c_str());
    }
    main_window.Close();
  });
  tick.start(100);
  const int code = RunEventLoop();
  stop_media();
  return code;
}
