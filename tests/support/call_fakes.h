// Recording stand-ins for what the call code talks to: the message sender, the media and
// device pieces, and the control sessions.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <vector>

#include "call/call_devices.h"
#include "call/call_service.h"
#include "net/wire/header.h"

namespace kestrelio::testing {

struct SentMessage {
  std::vector<uint8_t> bytes;
  NetAddress to;
  uint8_t type() const { return bytes.size() > 1 ? bytes[1] : 0; }
};

class RecordingSender : public DatagramSender {
 public:
  SendResult Send(std::span<const uint8_t> message, const NetAddress& to) override {
    {
      std::lock_guard lock(mutex_);
      sent_.push_back({std::vector<uint8_t>(message.begin(), message.end()), to});
    }
    if (fail_.load()) return SendResult::Failed(ENETUNREACH);
    if (forward_ && !forward_(message, to)) return SendResult::Failed(ENETUNREACH);
    return SendResult::Sent(message.size());
  }
  std::vector<SentMessage> Sent() const {
    std::lock_guard lock(mutex_);
    return sent_;
  }
  std::vector<SentMessage> SentOfType(MessageType type) const {
    std::vector<SentMessage> out;
    for (auto& m : Sent())
      if (m.type() == static_cast<uint8_t>(type)) out.push_back(m);
    return out;
  }
  void Clear() {
    std::lock_guard lock(mutex_);
    sent_.clear();
  }
  std::atomic<bool> fail_{false};
  // Sends for real (through a transport) after recording.
  std::function<bool(std::span<const uint8_t>, const NetAddress&)> forward_;

 private:
  mutable std::mutex mutex_;
  std::vector<SentMessage> sent_;
};

class FakeDevices : public CallDevices {
 public:
  bool OpenDecoder() override {
    decoder_opens++;
    return decoder_opens_ok;
  }
  void CloseDecoder() override { decoder_closes++; }
  bool StartEncoder() override {
    encoder_starts++;
    return true;
  }
  void StopEncoder() override { encoder_stops++; }
  void SetPeerPictureSize(int w, int h) override {
    peer_width = w;
    peer_height = h;
  }
  MediaSecond TakeSecondCounters() override {
    std::lock_guard lock(mutex);
    MediaSecond s = next_second;
    next_second = {};
    return s;
  }
  LoggedPosition ReadPosition(PositionMoment moment) override {
    return moment == PositionMoment::kStart ? start_position : end_position;
  }
  int ReadBatteryPercent() override { return battery; }
  int LastBatteryPercent() override { return battery; }
  void BacklightOn() override { backlight++; }
  void BacklightOff() override { backlight--; }
  int IdleResetIntervalMs() override { return 950000; }
  void ResetIdleTimer() override { idle_resets++; }
  bool IsSilentMode() override { return silent; }
  void Vibrate(RingRequest request) override {
    std::lock_guard lock(mutex);
    vibrations.push_back(request);
  }
  void SetSurveyTrigger(int index) override {
    std::lock_guard lock(mutex);
    surveys.push_back(index);
  }
  std::vector<int> Surveys() {
    std::lock_guard lock(mutex);
    return surveys;
  }
  std::vector<RingRequest> Vibrations() {
    std::lock_guard lock(mutex);
    return vibrations;
  }

  std::mutex mutex;
  MediaSecond next_second;
  std::atomic<int> decoder_opens{0}, decoder_closes{0}, encoder_starts{0}, encoder_stops{0};
  std::atomic<int> backlight{0}, idle_resets{0};
  std::atomic<int> peer_width{0}, peer_height{0};
  bool decoder_opens_ok = true;
  std::atomic<bool> silent{false};
  int battery = 87;
  LoggedPosition start_position{47.6062, -122.3321, 0.0, 5};
  LoggedPosition end_position{47.6062, -122.3321, 0.0, 5};
  std::vector<RingRequest> vibrations;
  std::vector<int> surveys;
};

class FakeSessions : public ControlSessions {
 public:
  bool HasOpenSession() const override { return open.load(); }
  void CloseSession() override {
    if (open.exchange(false)) closes++;
  }
  void ForgetSession() override { open = false; }
  void RestoreSavedSession() override { restores++; }
  std::atomic<bool> open{false};
  std::atomic<int> closes{0};
  std::atomic<int> restores{0};
};

}  // namespace kestrelio::testing
