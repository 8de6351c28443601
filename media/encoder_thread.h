// The encoder data thread: every 2 ms during a call it drains the capture ring, encodes
// and hands each picture to the sink.
#pragma once

#include <thread>

#include "base/state/call_flags.h"
#include "media/capture_state.h"
#include "media/encoder.h"
#include "base/video/video_sinks.h"

namespace kestrelio {

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

  // `context` must outlive the thread (until Stop).
  void Start(EncoderThreadContext& context);
  // Requests the stop and joins.
  void Stop();

 private:
  std::jthread thread_;
};

}  // namespace kestrelio
