// One handset's call code with the recording fake window, a recording message sender,
// recording media and device pieces, and the real Online DB, presence client (not
// started) and study files in a temporary folder.
#pragma once

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/window/ids.h"
#include "call/call_devices.h"
#include "call/call_service.h"
#include "net/wire/call_messages.h"
#include "net/wire/header.h"
#include "net/wire/media_messages.h"
#include "net/wire/presence_messages.h"
#include "ui/testing/fake_window.h"

namespace kestrelio::testing {

struct SentMessage {
  std::vector<uint8_t> bytes;
  NetAddress to;
  uint8_t type() const { return bytes.size() > 1 ? bytes[1] : 0; }
};

class RecordingSender : public MessageSender {
 public:
  bool SendTo(std::span<const uint8_t> message, const NetAddress& to) override {
    {
      std::lock_guard lock(mutex_);
      sent_.push_back({std::vector<uint8_t>(message.begin(), message.end()), to});
    }
    if (fail_.load()) return false;
    return forward_ ? forward_(message, to) : true;
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

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// CR LF-terminated lines of a file.
inline std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  const std::string text = ReadFile(path);
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

inline bool WaitFor(const std::function<bool()>& condition, int timeout_ms = 5000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

inline constexpr NetAddress kPresenceServer{0x7F000001, 8238};

struct HandsetConfig {
  std::string device_id = "0123456789ABCDEF0123";
  std::string number = "12065550100";
  std::string name = "Alice";
  std::string bind = "127.0.0.2";
  NetAddress presence = kPresenceServer;
};

class CallHarness {
 public:
  explicit CallHarness(HandsetConfig config = {})
      : config_(config),
        folder_(MakeFolder()),
        identity(config.device_id, config.number, config.name),
        presence_(sender, window, online_db, call_flags, identity,
                  PresenceClientConfig{config.presence, config.bind},
                  [](std::string_view) { return true; }),
        study_files(folder_, logging_mutex) {
    presence_.RefreshLocalAddress();
    CallServiceContext context{window,          sender,      presence_,  online_db,
                               peer_link,       call_flags,  view_flags, identity,
                               devices,         study_files, sessions,   connection_mutex,
                               config.presence, {},          {}};
    context.timings = SignallingTimings{20, 10, 5};
    service = std::make_unique<CallService>(context);
    window.ShowControl(kControlChatEdit, true);
  }
  ~CallHarness() {
    service.reset();
    std::filesystem::remove_all(folder_);
  }

  // Hands a whole message to the dispatcher as the transport would.
  void Deliver(std::span<const uint8_t> bytes, Channel channel = Channel::kUdp,
               NetAddress from = NetAddress{0x7F000003, 8200}) {
    ReceivedMessage message;
    auto header = ParseHeader(bytes);
    if (!header) return;  // the transport drops these before signalling sees them
    message.header = *header;
    message.datagram = bytes;
    message.from = from;
    message.channel = channel;
    service->handler().OnControlMessage(message);
  }

  // CallConnectInd for a call with the peer (this handset calling when `caller`).
  void Connect(bool caller, const std::string& peer_number = "12065550111",
               const std::string& peer_public = "127.0.0.3", uint16_t peer_port = 8200) {
    CallConnectFields fields;
    fields.call_number = 7;
    fields.role = caller ? 1 : 0;
    fields.peer.phone.Assign(peer_number);
    fields.peer.local_address.Assign(peer_public);
    fields.peer.local_port = 8200;
    fields.peer.public_address.Assign(peer_public);
    fields.peer.public_port = peer_port;
    fields.own_public_address.Assign(config_.bind);
    fields.own_public_port = 8200;
    fields.note = "call-7";
    std::array<uint8_t, kCallConnectIndBytes> out{};
    Deliver(std::span(out).first(BuildCallConnectInd(out, fields)));
  }

  std::string CallLogPath() const { return study_files.CallLogPath(); }
  std::string HistoryPath() const { return study_files.HistoryPath(); }
  std::vector<std::string> CallLog() {
    study_files.WaitUntilWritten(2000);
    return ReadLines(CallLogPath());
  }
  std::vector<std::string> History() { return ReadLines(HistoryPath()); }
  std::vector<FakeWindow::Box> BoxesWithCaption(std::string_view caption) {
    std::vector<FakeWindow::Box> out;
    for (auto& box : window.Boxes())
      if (box.caption == caption) out.push_back(box);
    return out;
  }

  FakeWindow window;
  RecordingSender sender;
  OnlineDb online_db;
  PeerLink peer_link;
  CallFlags call_flags;
  ViewFlags view_flags;
  FakeDevices devices;
  FakeSessions sessions;
  std::mutex connection_mutex;
  std::timed_mutex logging_mutex;

 private:
  static std::string MakeFolder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "kestrelio-call-XXXXXX").string();
    char* made = mkdtemp(pattern.data());
    return std::string(made) + "/";
  }

  HandsetConfig config_;
  std::string folder_;

 public:
  OwnIdentity identity;

 private:
  PresenceClient presence_;

 public:
  StudyFiles study_files;
  std::unique_ptr<CallService> service;

  PresenceClient& presence() { return presence_; }
};

// Splits a call log line into its ", "-separated columns.
inline std::vector<std::string> Columns(const std::string& line) {
  std::vector<std::string> out;
  size_t start = 0;
  for (size_t at; (at = line.find(", ", start)) != std::string::npos; start = at + 2) {
    out.push_back(line.substr(start, at - start));
  }
  out.push_back(line.substr(start));
  return out;
}

}  // namespace kestrelio::testing
