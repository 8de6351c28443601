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
    if (context.decoder.statistics != nullptr) {
      MediaStatistics::Count(context.decoder.statistics->frames_dropped);
    }
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
    const uint32_t arrival_ms = ring.arrival_ms[read_index];
    ring.full[read_index].store(0, std::memory_order_release);
    ring.read_index.store((read_index + 1) % kPictureSlots, std::memory_order_release);
    context.window.DrawPicture(VideoTarget::kPrimary,
                               BgrPicture{context.peer.bytes.get(), width, height, width * 3,
                                          /*bottom_up=*/true, arrival_ms});
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
  context_ = &context;
  context.decoder.ring.reader_waker.Attach(&worker_);
  context.preview.reader_waker.Attach(&worker_);
  const bool started = worker_.Start("video-display", [this, &context](std::stop_token) {
    // After a painted picture the next tick waits for its pacing deadline, whatever
    // wakes the thread meanwhile; otherwise the thread sleeps until a decoded picture
    // or a preview arrives. Painting keeps pace with the pictures ahead of the encoder
    // and the study threads; where the system refuses the raise, it paints at normal
    // priority.
    SetCurrentThreadPriority(ThreadPriority::kAboveNormal);
    bool paced = false;
    uint32_t deadline = 0;
    while (true) {
      if (paced) {
        bool stopped = false;
        for (int32_t left = static_cast<int32_t>(deadline - TickCountMs()); left > 0;
             left = static_cast<int32_t>(deadline - TickCountMs())) {
          if (!worker_.SleepFor(left)) {
            stopped = true;
            break;
          }
        }
        if (stopped) break;
      } else if (!worker_.SleepFor(kDisplayIdleWakeMs)) {
        break;
      }
      const uint32_t start = TickCountMs();
      paced = false;
      if (!context.call.video_active.load(std::memory_order_acquire)) continue;
      if (DisplayTick(context)) {
        paced = true;
        deadline =
            TickCountMs() + static_cast<uint32_t>(NextDisplaySleepMs(true, TickCountMs() - start));
      }
    }
  });
  if (!started) Detach();
  return started;
}

void VideoDisplayThread::Stop() {
  worker_.Stop();
  Detach();
}

void VideoDisplayThread::Detach() {
  if (context_ == nullptr) return;
  context_->decoder.ring.reader_waker.Attach(nullptr);
  context_->preview.reader_waker.Attach(nullptr);
  context_ = nullptr;
}

}  // namespace kestrelio
