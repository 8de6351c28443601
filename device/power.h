// Keeping the machine fit for a video call: the screen stays on and the session does
// not go idle during a call (org.freedesktop.ScreenSaver over D-Bus when a screen saver
// answers; nothing otherwise). The handset's unattended mode and WLAN power requirement
// have no desktop counterpart and always succeed, as does the data connection: the
// desktop's own network manager keeps it up.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

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

class DataConnection {
 public:
  bool Establish() {
    established_ = true;
    return true;
  }
  void Release() { established_ = false; }
  bool established() const { return established_; }

 private:
  bool established_ = false;
};

}  // namespace kestrelio
