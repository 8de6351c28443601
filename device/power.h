// Keeping the machine fit for a video call: the screen stays on and the session does
// not go idle during a call (org.freedesktop.ScreenSaver over D-Bus when a screen saver
// answers; nothing otherwise). The handset's unattended mode and WLAN power requirement
// have no desktop counterpart and always succeed.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "base/net_address.h"

namespace kestrelio {

class PowerLayer {
 public:
  // `bus_address` "" uses the session bus.
  explicit PowerLayer(std::string bus_address = {});
  ~PowerLayer();  // releases a held inhibition
  PowerLayer(const PowerLayer&) = delete;
  PowerLayer& operator=(const PowerLayer&) = delete;

  bool SetUnattendedMode(bool on);
  bool RequireWlan();
  void ReleaseWlan();

  // Backlight on: inhibit the screen saver (for a call). Any thread.
  void BacklightOn();
  void BacklightOff();
  bool backlight_held() const;
  // Tells the screen saver the user is active.
  void ResetIdleTimer();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The data connection is the route to the servers: the desktop's network manager keeps
// the link up, and Establish asks the kernel whether `destination` can be reached now,
// by connecting a UDP socket to it (no datagram is sent).
class DataConnection {
 public:
  // 0 when a route exists, else the errno of the failure (ENETUNREACH: no route).
  int Establish(const NetAddress& destination);
  void Release() { established_ = false; }
  bool established() const { return established_; }

 private:
  bool established_ = false;
};

}  // namespace kestrelio
