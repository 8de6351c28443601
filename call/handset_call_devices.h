// CallDevices over the handset's real pieces: the H.264 decoder and encoder, the peer
// bitmap, the media channel's receive side, GPS (gpsd), the battery gauge, the power
// layer, the settings store (silent mode, idle interval), the vibration thread and the
// survey trigger events.
#pragma once

#include <functional>
#include <mutex>

#include "base/window/window.h"
#include "call/call_devices.h"
#include "device/battery.h"
#include "device/gps.h"
#include "device/power.h"
#include "device/settings_store.h"
#include "device/vibration.h"
#include "media/capture_state.h"
#include "media/decoder.h"
#include "media/display_thread.h"
#include "media/encoder.h"

namespace kestrelio {

struct HandsetMediaPieces {
  DecoderState& decoder;
  EncoderState& encoder;
  CaptureState& capture;
  PeerBitmap& peer_bitmap;
  // The media channel's receive side: call start resets it (expected sequence number
  // 1, counters zero); once a second its frames and bytes received and packets found
  // missing are taken (frames_received, bytes_received, packets_missing).
  std::function<void()> reset_receive;
  std::function<MediaSecond()> take_receive_second;
};

struct HandsetDevicePieces {
  BatteryGauge& battery;
  PowerLayer& power;
  SettingsStore& settings;
  VibrationThread& vibration;
  GpsConfig gps;
  // Sets survey trigger event `index`.
  std::function<void(int)> set_survey_trigger;
};

class HandsetCallDevices final : public CallDevices {
 public:
  HandsetCallDevices(Window& window, HandsetMediaPieces media, HandsetDevicePieces devices)
      : window_(window), media_(std::move(media)), devices_(std::move(devices)) {}

  bool OpenDecoder() override;
  void CloseDecoder() override;
  bool StartEncoder() override;
  void StopEncoder() override;
  void SetPeerPictureSize(int width, int height) override;
  MediaSecond TakeSecondCounters() override;
  LoggedPosition ReadPosition(PositionMoment moment) override;
  int ReadBatteryPercent() override { return devices_.battery.Refresh(); }
  int LastBatteryPercent() override { return devices_.battery.percent(); }
  void BacklightOn() override { devices_.power.BacklightOn(); }
  void BacklightOff() override { devices_.power.BacklightOff(); }
  int IdleResetIntervalMs() override;
  void ResetIdleTimer() override { devices_.power.ResetIdleTimer(); }
  bool IsSilentMode() override;
  void Vibrate(RingRequest request) override;
  void SetSurveyTrigger(int index) override;

 private:
  Window& window_;
  HandsetMediaPieces media_;
  HandsetDevicePieces devices_;
  std::mutex gps_mutex_;
  GpsPosition positions_[2];  // start, end: a failed fix keeps the last one
};

}  // namespace kestrelio
