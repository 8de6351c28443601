// The sign-in bubble ("Incoming Users") as a desktop notification over D-Bus
// (org.freedesktop.Notifications). When no notification service answers, the caller
// shows its in-window fallback.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace kestrelio {

inline constexpr std::string_view kSignInBubbleTitle = "Incoming Users";
inline constexpr int kSignInBubbleMs = 5000;

// The bubble's HTML ("<html><body>[<b>name</b>] has just signed in.</body></html>") as a
// notification body: the page tags go, bold stays when the server understands markup,
// and everything else (names come from the network) is escaped or shown as text.
std::string SignInBubbleBody(std::string_view html, bool server_has_markup);

class DesktopNotifier {
 public:
  // `bus_address` "" uses the session bus.
  explicit DesktopNotifier(std::string bus_address = {});
  ~DesktopNotifier();
  DesktopNotifier(const DesktopNotifier&) = delete;
  DesktopNotifier& operator=(const DesktopNotifier&) = delete;

  // Shows (or replaces) the bubble. False when no notification service answered.
  bool ShowSignInBubble(std::string_view html);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace kestrelio
