// The identity dialogs' view of the running handset: the identity record, the settings
// store, the signalling identity and the presence client.
#pragma once

#include <string>

#include "device/identity.h"
#include "device/settings_store.h"
#include "dialogs/identity_port.h"
#include "net/presence/presence_client.h"
#include "base/state/own_identity.h"

namespace kestrelio {

class Window;

struct HandsetIdentityParts {
  Window& window;
  SettingsStore& settings;
  OwnIdentity& own_identity;  // the one record the presence client and calls read
  PresenceClient& presence;
  std::string device_id;
  std::string presence_server;  // "host:port"
  std::string study_server;
};

class HandsetIdentity final : public IdentityPort {
 public:
  explicit HandsetIdentity(HandsetIdentityParts parts) : parts_(std::move(parts)) {}

  std::string UserName() const override { return parts_.own_identity.user_name(); }
  std::string PhoneNumber() const override { return parts_.own_identity.phone_number(); }
  std::string DeviceId() const override { return parts_.device_id; }
  bool StoreUserName(std::string_view name) override;
  bool SendKeepAlive() override { return parts_.presence.SendKeepAlive(); }
  std::string RefreshLocalAddress() override;
  void ReloadIdentity() override;
  uint16_t LocalPort() const override { return parts_.presence.OwnLocalPort(); }
  std::string PublicAddress() const override { return parts_.presence.OwnPublicAddressText(); }
  uint16_t PublicPort() const override;
  std::string PresenceServer() const override { return parts_.presence_server; }
  std::string StudyServer() const override { return parts_.study_server; }

 private:
  void UseIdentity(const std::string& number, const std::string& name);

  HandsetIdentityParts parts_;
};

}  // namespace kestrelio
