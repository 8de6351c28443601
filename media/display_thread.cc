#include "media/display_thread.h"

#include <cstring>

#include "base/diag.h"
#include "base/thread_priority.h"
#include "base/tick.h"

namespace kestrelio {

bool CreatePeerBitmap(PeerBitmap& bitmap, int width, int height) {
  if (width <= 0 || height <= 0 || width * height > kMaxPicturePixels) {
    Diag("peer picture size %dx%d refused", width, height);
    return false;
  }
  bitmap.width.store(width, std::memory_order_relaxed);
  bitmap.height.store(height, std::memory_order_relaxed);
  std::memset(bitmap.bytes.get(), 0, static_cast<size_t>(width * height * 3));
  return true;
}

bool DisplayTick(DisplayContext& context) {
  const uint32_t preview_frames = context.preview.counter.exchange(0, std::memory_order_acq_rel);
  PictureRing& ring = context.decoder.ring;

  uint32_t read_index = ring.read_index.load(std::memory_order_relaxed);
  if (read_index == ring.write_index.load(std::memory_order_acquire) &&
      ring.full[read_index].load(std::memory_order_acquire) != 0) {
    // The ring is full: the oldest picture goes unseen.
    ring.full[read_index].store(0, std::memory_order_release);
    read_index = (read_index + 1) % kPictureSlots;
    ring.read_index.store(read_index, std::memory_order_release);
  }

  bool painted_peer = false;
  if (!context.view.peer_video_paused.load(std::memory_order_relaxed) &&
      ring.full[read_index].load(std::memory_order_acquire) != 0) {
    const int width = context.peer.width.load(std::memory_order_relaxed);
    const int height = context.peer.height.load(std::memory_order_relaxed);
    std::memcpy(context.peer.bytes.get(), ring.Slot(read_index),
                static_cast<size_t>(width * height * 3));
    ring.full[read_index].store(0, std::memory_order_release);
    ring.read_index.store((read_index + 1) % kPictureSlots, std::memory_order_release);
    context.window.DrawPicture(VideoTarget::kPrimary,
                               BgrPicture{context.peer.bytes.get(), width, height, width * 3,
                                          /*bottom_up=*/true});
    painted_peer = true;
  }

  if (preview_frames != 0 && context.view.view_mode.load(std::memory_order_relaxed) != 0 &&
      !context.view.own_video_paused.load(std::memory_order_relaxed)) {
    context.window.DrawPicture(VideoTarget::kSecondary,
                               BgrPicture{context.preview.TakeLatest().data(), kFrameWidth,
                                          kFrameHeight, kPreviewStride, /*bottom_up=*/true});
  }
  return painted_peer;
}

int NextDisplaySleepMs(bool painted_peer, uint32_t elapsed_ms) {
  if (!painted_peer) return kDisplayIdleMs;
  if (elapsed_ms < static_cast<uint32_t>(kDisplayPeriodMs)) {
    return kDisplayPeriodMs - static_cast<int>(elapsed_ms);
  }
  return kDisplayMinimumMs;
}

bool VideoDisplayThread::Start(DisplayContext& context) {
  Stop();
  return worker_.Start("video-display", [this, &context](std::stop_token) {
    // Painting keeps pace with the pictures ahead of the encoder and the study threads;
    // where the system refuses the raise, it paints at normal priority.
    SetCurrentThreadPriority(ThreadPriority::kAboveNormal);
    int sleep_ms = kDisplayPeriodMs;
    while (worker_.SleepFor(sleep_ms)) {
      const uint32_t start = TickCountMs();
      if (!context.call.video_active.load(std::memory_order_acquire)) continue;
      const bool painted = DisplayTick(context);
      sleep_ms = NextDisplaySleepMs(painted, TickCountMs() - start);
    }
  });
}

}  // namespace kestrelio
