#include "net/presence/presence_client.h"

#include <array>

#include "base/diag.h"
#include "base/thread_priority.h"
#include "base/timer_scale.h"
#include "base/window/ids.h"
#include "base/window/window.h"
#include "net/socket/local_address.h"
#include "net/socket/socket_address.h"

namespace kestrelio {
namespace {

constexpr size_t kMaxSignInTextBytes = 1023;
constexpr size_t kMaxLocalAddressChars = AddressText::kMaxChars;
constexpr std::string_view kSignInHead = "<html><body>";
constexpr std::string_view kSignInOne = "has just signed in.</body></html>";
constexpr std::string_view kSignInMany = "have just signed in.</body></html>";

bool IsAnyAddress(std::string_view address) { return address.empty() || address == "0.0.0.0"; }

}  // namespace

std::string SignInText(const std::vector<std::string>& names) {
  if (names.empty()) return {};
  const std::string_view tail = names.size() == 1 ? kSignInOne : kSignInMany;
  std::string text(kSignInHead);
  for (const std::string& name : names) {
    // "[<b>%s</b>] ": 12 bytes around the name. A table with many offline duplicates of
    // one number could otherwise grow the text without bound.
    if (text.size() + name.size() + 12 + tail.size() > kMaxSignInTextBytes) {
      Diag("sign-in text full: %s left out", name.c_str());
      continue;
    }
    text += "[<b>";
    text += name;
    text += "</b>] ";
  }
  text += tail;
  return text;
}

std::string SignInPlainText(const std::vector<std::string>& names) {
  if (names.empty()) return {};
  std::string text;
  for (const std::string& name : names) {
    text += "[" + name + "] ";
  }
  text += names.size() == 1 ? "has just signed in." : "have just signed in.";
  return text;
}

std::string OwnInterfaceAddress() {
  return std::string(DottedAddress(FindOwnLocalAddress()).view());
}

PresenceClient::PresenceClient(DatagramSender& sender, Window& window, OnlineDb& online_db,
                               const CallFlags& call_flags, const OwnIdentity& identity,
                               PresenceClientConfig config, SignInBubble bubble)
    : sender_(sender),
      window_(window),
      online_db_(online_db),
      call_flags_(call_flags),
      identity_(identity),
      server_(config.server),
      bind_address_(std::move(config.bind_address)),
      find_local_address_(config.find_local_address
                              ? std::move(config.find_local_address)
                              : LocalAddressFinder([] { return FindOwnLocalAddress(); })),
      bubble_(std::move(bubble)) {
  last_sign_in_.reserve(kMaxSignInTextBytes + 1);
}

PresenceClient::~PresenceClient() { Stop(); }

void PresenceClient::Start() {
  if (keep_alive_.Running()) return;
  keep_alive_.Start("keep-alive", [this](std::stop_token stop) {
    // One datagram every ten seconds yields to the media threads.
    SetCurrentThreadPriority(ThreadPriority::kBelowNormal);
    Run(stop);
  });
}

// The error box carries the worker's stop token, so the stop request closes it.
void PresenceClient::Stop() { keep_alive_.Stop(); }

void PresenceClient::Run(std::stop_token stop) {
  const int period_ms = ScaledPeriodMs(kKeepAlivePeriodMs);
  while (!stop.stop_requested()) {
    RefreshLocalAddress();
    if (!SendKeepAlive()) {
      window_.ShowMessageBox(kKeepAliveErrorText, kKeepAliveErrorCaption, MessageBoxButtons::kOk,
                             stop);
    }
    if (!keep_alive_.SleepFor(period_ms)) break;
  }
}

void PresenceClient::RefreshLocalAddress() {
  // A --bind address wins: it is the address the sockets are bound to, so the one a
  // peer can reach. Without it, the interface that carries the default route.
  std::string address = IsAnyAddress(bind_address_)
                            ? std::string(DottedAddress(find_local_address_()).view())
                            : bind_address_;
  if (address.size() > kMaxLocalAddressChars) address.resize(kMaxLocalAddressChars);
  std::lock_guard lock(texts_mutex_);
  local_address_ = std::move(address);
}

bool PresenceClient::SendKeepAlive() {
  KeepAliveFields fields;
  // Only the lower 16 bits travel; the counter itself runs on.
  fields.counter = static_cast<uint16_t>(counter_.fetch_add(1, std::memory_order_relaxed));
  fields.phone.Assign(identity_.phone_number());
  fields.user_name.Assign(identity_.user_name());
  fields.device_id.Assign(identity_.device_id());
  {
    std::lock_guard lock(texts_mutex_);
    fields.local_address.Assign(local_address_);
  }
  fields.local_port = kHandsetUdpPort;
  fields.status = call_flags_.in_call.load(std::memory_order_relaxed) ? kStatusInCall : kStatusIdle;
  std::array<uint8_t, kKeepAliveBytes> message{};
  size_t length = BuildKeepAlive(message, fields);
  if (length != kKeepAliveBytes) {
    Diag("KeepAlive build gave %zu bytes", length);
    return false;
  }
  return sender_.SendTo(std::span<const uint8_t>(message.data(), length), server_);
}

void PresenceClient::OnUserListInd(const UserListFields& page) {
  std::optional<uint32_t> public_ipv4 = ParseDottedAddress(page.public_address.view());
  if (public_ipv4) {
    SetOwnPublicAddress(NetAddress{*public_ipv4, page.public_port});
  } else {
    Diag("UserListInd public address \"%s\" is not an IPv4 address; kept the old one",
         page.public_address.c_str());
  }

  if (show_sign_in_notifications.load(std::memory_order_relaxed)) {
    std::vector<std::string> names = online_db_.SignedInSince(page);
    if (!names.empty()) {
      std::string html = SignInText(names);
      {
        std::lock_guard lock(texts_mutex_);
        last_sign_in_ = html;
      }
      if (!bubble_ || !bubble_(html)) {
        // No notification service: a passing notice in the window, never a modal box
        // here (this is the UDP thread), and never over the status line's own text.
        window_.ShowNotice(SignInPlainText(names), kSignInNoticeMs);
      }
    }
  }

  online_db_.TakePage(page);
}

NetAddress PresenceClient::OwnPublicAddress() const {
  uint16_t port = public_port_.load(std::memory_order_acquire);
  return NetAddress{public_ipv4_.load(std::memory_order_relaxed), port};
}

std::string PresenceClient::OwnPublicAddressText() const {
  if (!public_known_.load(std::memory_order_acquire)) return {};
  return std::string(DottedAddress(OwnPublicAddress().ipv4).view());
}

void PresenceClient::SetOwnPublicAddress(const NetAddress& address) {
  public_ipv4_.store(address.ipv4, std::memory_order_relaxed);
  public_port_.store(address.port, std::memory_order_release);
  public_known_.store(true, std::memory_order_release);
}

std::string PresenceClient::OwnLocalAddress() const {
  std::lock_guard lock(texts_mutex_);
  return local_address_;
}

std::string PresenceClient::LastSignInText() const {
  std::lock_guard lock(texts_mutex_);
  return last_sign_in_;
}

}  // namespace kestrelio
