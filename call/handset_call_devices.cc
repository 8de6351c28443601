#include "call/handset_call_devices.h"

#include <limits>

#include "base/diag.h"
#include "device/power_settings.h"

namespace kestrelio {

bool HandsetCallDevices::OpenDecoder() {
  if (media_.reset_receive) media_.reset_receive();
  return DecoderOpen(media_.decoder) == 0;
}

void HandsetCallDevices::CloseDecoder() { DecoderClose(media_.decoder); }

bool HandsetCallDevices::StartEncoder() {
  return EncoderStart(media_.encoder, media_.capture, window_);
}

void HandsetCallDevices::StopEncoder() { EncoderStop(media_.encoder, media_.capture); }

void HandsetCallDevices::SetPeerPictureSize(int width, int height) {
  media_.decoder.peer_width.store(width);
  media_.decoder.peer_height.store(height);
  if (!CreatePeerBitmap(media_.peer_bitmap, width, height)) {
    Diag("peer picture %dx%d refused", width, height);
  }
}

MediaSecond HandsetCallDevices::TakeSecondCounters() {
  MediaSecond second;
  if (media_.take_receive_second) second = media_.take_receive_second();
  second.frames_encoded = media_.encoder.counters.encoded_frames.exchange(0);
  second.bytes_encoded = media_.encoder.counters.encoded_bytes.exchange(0);
  return second;
}

LoggedPosition HandsetCallDevices::ReadPosition(PositionMoment moment) {
  std::lock_guard lock(gps_mutex_);
  GpsPosition& position = positions_[moment == PositionMoment::kStart ? 0 : 1];
  const GpsOutcome outcome = GetPositionFix(position, devices_.gps);
  if (outcome.status == GpsStatus::kNoFix) {
    Diag(moment == PositionMoment::kStart ? "GPS Device failed to get start position! (%d)"
                                          : "GPS Device failed to get end position! (%d)",
         outcome.error);
  }
  return LoggedPosition{position.latitude, position.longitude, position.speed_knots,
                        position.satellites_used};
}

int HandsetCallDevices::IdleResetIntervalMs() {
  const uint32_t ms = kestrelio::IdleResetIntervalMs(devices_.settings);
  return static_cast<int>(
      std::min<uint32_t>(ms, static_cast<uint32_t>(std::numeric_limits<int>::max())));
}

bool HandsetCallDevices::IsSilentMode() { return kestrelio::IsSilentMode(devices_.settings); }

void HandsetCallDevices::Vibrate(RingRequest request) { devices_.vibration.Vibrate(request); }

void HandsetCallDevices::SetSurveyTrigger(int index) {
  if (devices_.set_survey_trigger) devices_.set_survey_trigger(index);
}

}  // namespace kestrelio
