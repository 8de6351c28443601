// What the identity dialogs (My Name, My Info, About) need of the handset: its identity
// values, the settings store and the presence keep-alive. The handset implements it
// over its own records (handset_identity.h); tests use a fake.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrelio {

class IdentityPort {
 public:
  virtual ~IdentityPort() = default;

  virtual std::string UserName() const = 0;
  virtual std::string PhoneNumber() const = 0;
  virtual std::string DeviceId() const = 0;

  // Makes `name` the own user name wherever the handset holds it (keep-alives, call
  // set-up, the window's state) and writes it to the settings store ("UserName").
  // False when the store could not be written; the name is then still used for the run.
  virtual bool StoreUserName(std::string_view name) = 0;
  // Sends one KeepAlive now, with the current identity; true when all of it went out.
  virtual bool SendKeepAlive() = 0;
  // Asks for the own local address again and keeps it; returns it (at most 19 chars).
  virtual std::string RefreshLocalAddress() = 0;
  // Reads the identity again (telephony number, settings store, user name).
  virtual void ReloadIdentity() = 0;

  virtual uint16_t LocalPort() const = 0;
  // As the presence server last reported them: "" and 0 until it has.
  virtual std::string PublicAddress() const = 0;
  virtual uint16_t PublicPort() const = 0;

  // The servers in use, "host:port".
  virtual std::string PresenceServer() const = 0;
  virtual std::string StudyServer() const = 0;
};

}  // namespace kestrelio
