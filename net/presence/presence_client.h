// Presence: the keep-alive thread that tells the presence server this handset is
// online, and the intake of the server's user list pages.
//
//   keep-alive thread ──KeepAlive (every 10 s)──▶ presence server
//   UDP thread ◀──UserListInd pages── presence server
//        └─ OnUserListInd: own public address, sign-in notice, Online DB page
//
// The keep-alive thread sends at once on Start and then every
// ScaledPeriodMs(kKeepAlivePeriodMs). Its status field is kStatusInCall while a call is
// connected, else kStatusIdle. The own number, user name and device ID are read from
// the one OwnIdentity record at every send, so a changed name goes out with the next
// keep-alive. A failed send shows "KeepAlive Sending Error" (caption "KEEPALIVE"); the
// box carries the thread's stop token, so Stop closes a box left open and the join never
// waits for a person.
//
// Sign-in notices go to the desktop bubble; when no notification service answers the
// plain text ("[name] has just signed in.") shows for kSignInNoticeMs as a notice in the
// window (never a modal box: that would stall the UDP thread that delivers every
// datagram; never in the status line, whose time and battery stay).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "base/state/call_flags.h"
#include "base/state/own_identity.h"
#include "base/worker.h"
#include "net/presence/online_db.h"
#include "net/socket/datagram_sender.h"
#include "net/socket/socket_address.h"
#include "net/wire/presence_messages.h"

namespace kestrelio {

class Window;

inline constexpr int kKeepAlivePeriodMs = 10000;
inline constexpr std::string_view kKeepAliveErrorText = "KeepAlive Sending Error";
inline constexpr std::string_view kKeepAliveErrorCaption = "KEEPALIVE";
// How long the in-window sign-in notice stays, as long as the desktop bubble.
inline constexpr int kSignInNoticeMs = 5000;

// Shows the sign-in bubble's HTML; false when no notification service answered.
// In the handset: [&](std::string_view html) { return notifier.ShowSignInBubble(html); }
using SignInBubble = std::function<bool(std::string_view html)>;

// The own interface address in host byte order; FindOwnLocalAddress outside tests.
using LocalAddressFinder = std::function<uint32_t()>;

struct PresenceClientConfig {
  NetAddress server;         // the presence server (port 8238 by default)
  std::string bind_address;  // --bind; empty or "0.0.0.0": the own interface address
  LocalAddressFinder find_local_address = nullptr;  // null: FindOwnLocalAddress
};

// "<html><body>[<b>a</b>] [<b>b</b>] have just signed in.</body></html>"; empty when
// `names` is empty. At most 1023 bytes: names that would not fit are left out.
std::string SignInText(const std::vector<std::string>& names);
// The same notice as plain text for the in-window fallback: "[a] has just signed in.".
std::string SignInPlainText(const std::vector<std::string>& names);

// The dotted own interface address (default-route interface, else the first
// non-loopback interface that is up, else 127.0.0.1).
std::string OwnInterfaceAddress();

class PresenceClient {
 public:
  PresenceClient(DatagramSender& sender, Window& window, OnlineDb& online_db,
                 const CallFlags& call_flags, const OwnIdentity& identity,
                 PresenceClientConfig config, SignInBubble bubble);
  ~PresenceClient();  // Stop()
  PresenceClient(const PresenceClient&) = delete;
  PresenceClient& operator=(const PresenceClient&) = delete;

  // Starts the keep-alive thread (first keep-alive at once). Stop requests the end,
  // wakes the thread, closes its box if one is open, and joins it. Both are idempotent.
  void Start();
  void Stop();

  // Builds and sends one KeepAlive with the current local address and identity; true
  // only when all kKeepAliveBytes went out. Any thread (keep-alive thread, "Update My
  // Info", name dialog).
  bool SendKeepAlive();
  // Wakes the keep-alive thread to send now (a call started or ended: the server's
  // status follows at once, not up to ten seconds later). Returns at once.
  void SendKeepAliveSoon() { keep_alive_.Wake(); }
  // Re-reads the own local address (the --bind address, else the own interface's).
  void RefreshLocalAddress();

  // One UserListInd page, on the UDP thread: own public address and port, sign-in
  // notice when enabled, Online DB page.
  void OnUserListInd(const UserListFields& page);

  NetAddress OwnPublicAddress() const;
  std::string OwnPublicAddressText() const;  // "" until the server has said
  void SetOwnPublicAddress(const NetAddress& address);
  std::string OwnLocalAddress() const;
  uint16_t OwnLocalPort() const { return kHandsetUdpPort; }

  // The last sign-in notice shown (HTML), for tests and the remote control.
  std::string LastSignInText() const;
  // Keep-alives built so far (the counter's next value).
  uint32_t KeepAliveCounter() const { return counter_.load(std::memory_order_relaxed); }

  // The "Show sign-in notifications" setting; on by default.
  std::atomic<bool> show_sign_in_notifications{true};

 private:
  void Run(std::stop_token stop);

  DatagramSender& sender_;
  Window& window_;
  OnlineDb& online_db_;
  const CallFlags& call_flags_;
  const OwnIdentity& identity_;
  const NetAddress server_;
  const std::string bind_address_;
  const LocalAddressFinder find_local_address_;
  SignInBubble bubble_;

  mutable std::mutex texts_mutex_;  // guards the strings below
  std::string local_address_;
  std::string last_sign_in_;

  std::atomic<uint32_t> counter_{0};
  std::atomic<uint32_t> public_ipv4_{0};
  std::atomic<uint16_t> public_port_{0};
  std::atomic<bool> public_known_{false};

  Worker keep_alive_;
};

}  // namespace kestrelio
