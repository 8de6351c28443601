// The video display thread: during a call it paints the peer's picture from the
// picture ring, at most about every 82 ms, and the own preview, through the Window
// interface. It sleeps until a decoded picture or a preview wakes it.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

#include "base/state/call_flags.h"
#include "base/state/view_flags.h"
#include "base/window/window.h"
#include "base/worker.h"
#include "media/capture_state.h"
#include "media/decoder.h"

namespace kestrelio {

inline constexpr int kDisplayPeriodMs = 82;
inline constexpr int kDisplayIdleMs = 41;
inline constexpr int kDisplayMinimumMs = 10;
// The longest the thread sleeps without a picture or a preview waking it.
inline constexpr int kDisplayIdleWakeMs = 500;

// The picture being shown in the primary rectangle, bottom-up, at the agreed size.
struct PeerBitmap {
  PeerBitmap() : bytes(new uint8_t[kPictureSlotBytes]()) {}
  std::unique_ptr<uint8_t[]> bytes;
  std::atomic<int> width{96};
  std::atomic<int> height{80};
};

// Sizes the peer bitmap for the agreed picture size and zero-fills it. Sizes beyond
// 76,800 pixels or not positive are refused (false).
bool CreatePeerBitmap(PeerBitmap& bitmap, int width, int height);

struct DisplayContext {
  DecoderState& decoder;
  PreviewBitmap& preview;
  PeerBitmap& peer;
  const CallFlags& call;
  const ViewFlags& view;
  Window& window;
};

// One display tick during a call, without the sleep: returns whether the peer picture
// was painted.
bool DisplayTick(DisplayContext& context);
// The pacing: 82 ms minus what the tick took after a painted picture (at least 10 ms),
// 41 ms after an idle tick.
int NextDisplaySleepMs(bool painted_peer, uint32_t elapsed_ms);

class VideoDisplayThread {
 public:
  VideoDisplayThread() = default;
  ~VideoDisplayThread() { Stop(); }
  VideoDisplayThread(const VideoDisplayThread&) = delete;
  VideoDisplayThread& operator=(const VideoDisplayThread&) = delete;

  // Stops a running thread first. `context` must outlive the thread (until Stop).
  // False when the thread cannot be created.
  bool Start(DisplayContext& context);
  // Requests the stop and joins; harmless when never started or already stopped.
  void Stop();
  bool running() const { return worker_.Running(); }

 private:
  void Detach();

  Worker worker_;
  DisplayContext* context_ = nullptr;
};

}  // namespace kestrelio
