#include "dialogs/handset_identity.h"

#include "base/window/window.h"

namespace kestrelio {

void HandsetIdentity::UseIdentity(const std::string& number, const std::string& name) {
  // The presence client reads this record at every keep-alive.
  parts_.own_identity.SetPhoneNumber(number);
  parts_.own_identity.SetUserName(name);
}

bool HandsetIdentity::StoreUserName(std::string_view name) {
  const std::string user_name = TruncateUtf8(name, kMaxUserNameLength);
  UseIdentity(parts_.own_identity.phone_number(), user_name);
  return WriteUserName(parts_.settings, user_name);
}

std::string HandsetIdentity::RefreshLocalAddress() {
  parts_.presence.RefreshLocalAddress();
  return parts_.presence.OwnLocalAddress();
}

void HandsetIdentity::ReloadIdentity() {
  NoTelephonyLine no_line;
  const Identity fresh = ReadIdentity(parts_.settings, no_line, parts_.window);
  UseIdentity(fresh.phone_number, fresh.user_name);
}

uint16_t HandsetIdentity::PublicPort() const {
  // No port until the server has named one.
  return parts_.presence.OwnPublicAddressText().empty() ? 0
                                                        : parts_.presence.OwnPublicAddress().port;
}

}  // namespace kestrelio
