#include "net/presence/presence_client.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <chrono>

#include "base/diag.h"
#include "base/timer_scale.h"
#include "base/window/ids.h"
#include "base/window/window.h"

namespace kestrelio {
namespace {

constexpr size_t kMaxSignInTextBytes = 1023;
constexpr size_t kMaxLocalAddressChars = 19;
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

std::string HostNameAddress() {
  std::array<char, 80> host{};
  if (gethostname(host.data(), host.size() - 1) != 0) {
    Diag("gethostname failed: no local address");
    return {};
  }
  std::optional<uint32_t> address = ResolveIpv4(host.data());
  return address ? std::string(DottedAddress(*address).view()) : std::string();
}

PresenceClient::PresenceClient(DatagramSender& sender, Window& window, OnlineDb& online_db,
                               const CallFlags& call_flags, PresenceClientConfig config,
                               SignInBubble bubble)
    : sender_(sender),
      window_(window),
      online_db_(online_db),
      call_flags_(call_flags),
      server_(config.server),
      bind_address_(std::move(config.bind_address)),
      device_id_(std::move(config.device_id)),
      bubble_(std::move(bubble)),
      phone_number_(std::move(config.phone_number)),
      user_name_(std::move(config.user_name)) {
  last_sign_in_.reserve(kMaxSignInTextBytes + 1);
}

PresenceClient::~PresenceClient() { Stop(); }

void PresenceClient::Start() {
  if (thread_.joinable()) return;
  thread_ = std::jthread([this](std::stop_token stop) { Run(stop); });
}

void PresenceClient::Stop() {
  if (!thread_.joinable()) return;
  stopping_.store(true);
  thread_.request_stop();
  { std::lock_guard lock(wake_mutex_); }
  wake_.notify_all();
  // A failed send leaves the thread in a modal box until someone answers it; close it so
  // the join cannot hang. The thread checks the stop request before each box, so one
  // more close covers a box opened just after the request.
  while (in_error_box_.load()) {
    window_.CloseMessageBox(kKeepAliveErrorCaption);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  thread_.join();
  thread_ = std::jthread();
  stopping_.store(false);
}

void PresenceClient::Run(std::stop_token stop) {
  SetThreadName("keep-alive");
  const auto period = std::chrono::milliseconds(ScaledPeriodMs(kKeepAlivePeriodMs));
  while (!stop.stop_requested()) {
    RefreshLocalAddress();
    if (!SendKeepAlive()) {
      in_error_box_.store(true);
      if (!stopping_.load()) {
        window_.ShowMessageBox(kKeepAliveErrorText, kKeepAliveErrorCaption, MessageBoxButtons::kOk);
      }
      in_error_box_.store(false);
    }
    std::unique_lock lock(wake_mutex_);
    wake_.wait_for(lock, stop, period, [] { return false; });
  }
}

void PresenceClient::RefreshLocalAddress() {
  std::string address = IsAnyAddress(bind_address_) ? HostNameAddress() : bind_address_;
  if (address.size() > kMaxLocalAddressChars) address.resize(kMaxLocalAddressChars);
  std::lock_guard lock(identity_mutex_);
  local_address_ = std::move(address);
}

bool PresenceClient::SendKeepAlive() {
  KeepAliveFields fields;
  // Only the lower 16 bits travel; the counter itself runs on.
  fields.counter = static_cast<uint16_t>(counter_.fetch_add(1, std::memory_order_relaxed));
  {
    std::lock_guard lock(identity_mutex_);
    fields.phone.Assign(phone_number_);
    fields.local_address.Assign(local_address_);
    fields.user_name.Assign(user_name_);
  }
  fields.local_port = kHandsetUdpPort;
  fields.device_id.Assign(device_id_);
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
        std::lock_guard lock(identity_mutex_);
        last_sign_in_ = html;
      }
      if (!bubble_ || !bubble_(html)) {
        // No notification service: a line in the window, never a modal box here (this
        // is the UDP thread).
        window_.SetControlText(kControlStatusLine, SignInPlainText(names));
      }
    }
  }

  online_db_.TakePage(page);
}

void PresenceClient::SetUserName(std::string_view user_name) {
  std::lock_guard lock(identity_mutex_);
  user_name_ = user_name;
}

void PresenceClient::SetPhoneNumber(std::string_view phone_number) {
  std::lock_guard lock(identity_mutex_);
  phone_number_ = phone_number;
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
  std::lock_guard lock(identity_mutex_);
  return local_address_;
}

std::string PresenceClient::LastSignInText() const {
  std::lock_guard lock(identity_mutex_);
  return last_sign_in_;
}

}  // namespace kestrelio
