// The encoder data thread: woken by the camera callback for each frame it commits during
// a call, it drains the capture ring, encodes and hands each picture to the sink.
#pragma once

#include "base/state/call_flags.h"
#include "base/video/video_sinks.h"
#include "base/worker.h"
#include "media/capture_state.h"
#include "media/encoder.h"

namespace kestrelio {

// The longest the thread sleeps without a wake-up from the camera callback.
inline constexpr int kEncoderIdleWakeMs = 500;

struct EncoderThreadContext {
  EncoderState& encoder;
  CaptureState& capture;
  const CallFlags& call;
  KeyframeRequests& keyframes;
  VideoPayloadSink& sink;
};

// One round of the thread's loop, without the sleep: returns whether a frame was encoded.
bool EncoderDataRound(EncoderThreadContext& context);

class EncoderDataThread {
 public:
  EncoderDataThread() = default;
  ~EncoderDataThread() { Stop(); }
  EncoderDataThread(const EncoderDataThread&) = delete;
  EncoderDataThread& operator=(const EncoderDataThread&) = delete;

  // Stops a running thread first. `context` must outlive the thread (until Stop).
  // False when the thread cannot be created.
  bool Start(EncoderThreadContext& context);
  // Requests the stop and joins; harmless when never started or already stopped.
  void Stop();
  bool running() const { return worker_.Running(); }

 private:
  void Detach();

  Worker worker_;
  EncoderThreadContext* context_ = nullptr;
};

}  // namespace kestrelio
