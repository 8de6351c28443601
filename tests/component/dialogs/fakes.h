// Recording fakes of the dialogs' ports.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "dialogs/identity_port.h"
#include "dialogs/settings_port.h"

namespace kestrelio {

class FakeIdentity : public IdentityPort {
 public:
  std::string UserName() const override { return user_name; }
  std::string PhoneNumber() const override { return phone_number; }
  std::string DeviceId() const override { return "0123456789ABCDEF0123"; }
  bool StoreUserName(std::string_view name) override {
    user_name = std::string(name);
    stored_names.push_back(user_name);
    return store_ok;
  }
  bool SendKeepAlive() override {
    keep_alives_sent.push_back(user_name);
    return send_ok;
  }
  std::string RefreshLocalAddress() override {
    ++address_refreshes;
    return local_address;
  }
  void ReloadIdentity() override { ++reloads; }
  uint16_t LocalPort() const override { return 8200; }
  std::string PublicAddress() const override { return public_address; }
  uint16_t PublicPort() const override { return public_port; }
  std::string PresenceServer() const override { return "127.0.2.1:8238"; }
  std::string StudyServer() const override { return "127.0.0.1:80"; }

  std::string user_name = "Alma";
  std::string phone_number = "12065550101";
  std::string local_address = "127.0.2.2";
  std::string public_address;
  uint16_t public_port = 0;
  bool store_ok = true;
  bool send_ok = true;
  std::vector<std::string> stored_names;
  std::vector<std::string> keep_alives_sent;  // the user name at each send
  int address_refreshes = 0;
  int reloads = 0;
};

class FakeSettings : public SettingsPort {
 public:
  bool AutostartEnabled() const override { return autostart; }
  bool SetAutostart(bool enabled) override {
    calls.push_back(enabled ? "autostart on" : "autostart off");
    autostart = enabled;
    return true;
  }
  bool SignInNotifications() const override { return sign_in; }
  void SetSignInNotifications(bool enabled) override {
    calls.push_back(enabled ? "sign-in on" : "sign-in off");
    sign_in = enabled;
  }
  EncoderSettingsView Encoder() const override { return encoder; }
  void SetEncoderParameter(std::string_view name, int value) override {
    calls.push_back(std::string(name) + "=" + std::to_string(value));
  }
  CaptureFlagsView CaptureFlags() const override { return flags; }
  void SetPreProcessing(bool on) override {
    calls.push_back(std::string("pre-processing ") + (on ? "on" : "off"));
  }
  void SetBlackAndWhite(bool on) override {
    calls.push_back(std::string("black-and-white ") + (on ? "on" : "off"));
  }
  void SetFrameDrop(bool on) override {
    calls.push_back(std::string("frame-drop ") + (on ? "on" : "off"));
  }

  bool autostart = false;
  bool sign_in = true;
  EncoderSettingsView encoder;
  CaptureFlagsView flags;
  std::vector<std::string> calls;
};

}  // namespace kestrelio
