// What a call needs from the media pipeline and the device around it, as one interface:
// the real one (HandsetCallDevices) wraps the decoder, the encoder, the media channel,
// GPS, battery, power and the vibrator; tests substitute a recording one.
#pragma once

#include <cstdint>

#include "base/state/ring_request.h"
#include "study/call_log.h"

namespace kestrelio {

// The last second's media counters, taken (and zeroed) once a second.
struct MediaSecond {
  uint32_t frames_encoded = 0;
  uint32_t bytes_encoded = 0;
  uint32_t frames_received = 0;
  uint32_t bytes_received = 0;
  uint32_t packets_missing = 0;
};

enum class PositionMoment { kStart, kEnd };

class CallDevices {
 public:
  virtual ~CallDevices() = default;

  // Opens the decoder and resets the receive side (expected sequence number 1).
  virtual bool OpenDecoder() = 0;
  virtual void CloseDecoder() = 0;
  virtual bool StartEncoder() = 0;
  virtual void StopEncoder() = 0;
  // The peer's agreed picture size: the decoder and the peer bitmap follow it.
  virtual void SetPeerPictureSize(int width, int height) = 0;
  virtual MediaSecond TakeSecondCounters() = 0;

  // A position fix; failures are reported on the diagnostic output and leave what the
  // position held.
  virtual LoggedPosition ReadPosition(PositionMoment moment) = 0;
  // A fresh battery reading (percent); the last one when it cannot be read.
  virtual int ReadBatteryPercent() = 0;
  // The last reading, without reading afresh.
  virtual int LastBatteryPercent() = 0;

  virtual void BacklightOn() = 0;
  virtual void BacklightOff() = 0;
  virtual int IdleResetIntervalMs() = 0;
  virtual void ResetIdleTimer() = 0;
  virtual bool IsSilentMode() = 0;
  virtual void Vibrate(RingRequest request) = 0;
  virtual void SetSurveyTrigger(int index) = 0;
};

}  // namespace kestrelio
