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

#include "base/state/network_loss_watch.h"
#include "base/tick.h"
#include "base/timer_scale.h"
#include "base/window/ids.h"
#include "call/call_devices.h"
#include "call/call_service.h"
#include "net/wire/call_messages.h"
#include "net/wire/header.h"
#include "net/wire/media_messages.h"
#include "net/wire/presence_messages.h"
#include "tests/support/call_fakes.h"
#include "tests/support/fake_window.h"
#include "tests/support/study_lines.h"
#include "tests/support/wait.h"

namespace kestrelio::testing {

inline constexpr NetAddress kPresenceServer{0x7F000001, 8238};

struct HandsetConfig {
  std::string device_id = "0123456789ABCDEF0123";
  std::string number = "12065550100";
  std::string name = "Alice";
  std::string bind = "127.0.0.2";
  NetAddress presence = kPresenceServer;
  // The control sessions signalling and call control use; the harness's FakeSessions
  // when none is given.
  ControlSessions* control_sessions = nullptr;
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
    CallServiceContext context{
        window,
        sender,
        presence_,
        online_db,
        peer_link,
        call_flags,
        view_flags,
        identity,
        devices,
        study_files,
        config.control_sessions != nullptr ? *config.control_sessions : sessions,
        connection_mutex,
        config.presence,
        {},
        {}};
    context.timings = SignallingTimings{20, 10, 5};
    context.network_loss = &network_loss;
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

  // CallConnectInd from the presence server for a call with the peer (this handset
  // calling when `caller`: its CallRequest for the number goes out first).
  void Connect(bool caller, const std::string& peer_number = "12065550111",
               const std::string& peer_public = "127.0.0.3", uint16_t peer_port = 8200) {
    if (caller) service->signalling().SendCallRequest(peer_number);
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
    Deliver(std::span(out).first(BuildCallConnectInd(out, fields)), Channel::kUdp,
            config_.presence);
  }
  // Runs on this thread what the window's timer would run on the GUI thread: the boxes
  // that network threads queued.
  void ShowNotices() {
    if (window.IsTimerRunning(kTimerShowNotices)) service->OnTimer(kTimerShowNotices);
  }

  // Makes the last video heard older than the network-loss period, as if the peer had
  // gone silent.
  void SilenceVideo() {
    network_loss.last_heard_ms =
        TickCountMs() - static_cast<uint32_t>(ScaledPeriodMs(kNetworkLossPeriodMs)) - 1;
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
  NetworkLossWatch network_loss;
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

}  // namespace kestrelio::testing
