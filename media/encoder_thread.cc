#include "media/encoder_thread.h"

#include <mutex>

#include "base/diag.h"
#include "base/tick.h"

namespace kestrelio {

bool EncoderDataRound(EncoderThreadContext& context) {
  CaptureRing& ring = context.capture.ring;
  if (!context.call.in_call.load(std::memory_order_acquire) ||
      !context.capture.capture_active.load(std::memory_order_acquire)) {
    return false;
  }
  uint32_t read_index = ring.read_index.load(std::memory_order_relaxed);
  if (ring.slots[read_index].full.load(std::memory_order_acquire) == 0) return false;

  const uint32_t write_index = ring.write_index.load(std::memory_order_acquire);
  const uint32_t waiting = write_index == read_index
                               ? kCaptureSlots
                               : (write_index - read_index + kCaptureSlots) % kCaptureSlots;
  if (waiting >= 3) {
    // Keep at most two frames of queueing: drop the oldest, one per round.
    Diag("[%u] One encoder buffer is discarded.(diff=%u)", TickCountMs(), waiting);
    ring.slots[read_index].full.store(0, std::memory_order_release);
    read_index = (read_index + 1) % kCaptureSlots;
    ring.read_index.store(read_index, std::memory_order_release);
  }

  CaptureSlot& slot = ring.slots[read_index];
  {
    std::lock_guard lock(context.encoder.lock);
    const uint32_t start = TickCountMs();
    EncodeFrame(context.encoder, slot, context.keyframes,
                context.call.in_call.load(std::memory_order_acquire), context.sink);
    context.encoder.counters.encode_time_ms.fetch_add(TickCountMs() - start,
                                                      std::memory_order_relaxed);
    context.encoder.counters.encoded_frames.fetch_add(1, std::memory_order_relaxed);
  }
  slot.full.store(0, std::memory_order_release);
  ring.read_index.store((read_index + 1) % kCaptureSlots, std::memory_order_release);
  return true;
}

bool EncoderDataThread::Start(EncoderThreadContext& context) {
  Stop();
  context_ = &context;
  context.capture.encoder_waker.Attach(&worker_);
  const bool started = worker_.Start("encoder-data", [this, &context](std::stop_token) {
    // Asleep until the camera commits a frame; then every waiting frame is encoded.
    // The timed wake only bounds what a lost wake-up could cost.
    while (worker_.SleepFor(kEncoderIdleWakeMs)) {
      while (EncoderDataRound(context) && !worker_.StopRequested()) {
      }
    }
  });
  if (!started) Detach();
  return started;
}

void EncoderDataThread::Stop() {
  worker_.Stop();
  Detach();
}

void EncoderDataThread::Detach() {
  if (context_ != nullptr) context_->capture.encoder_waker.Attach(nullptr);
  context_ = nullptr;
}

}  // namespace kestrelio
