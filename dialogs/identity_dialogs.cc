#include "dialogs/identity_dialogs.h"

#include <cstdio>

#include "device/identity.h"
#include "dialogs/entry_text.h"
#include "resources/menu.h"

namespace kestrelio {
namespace {

constexpr size_t kMyInfoChars = 255;
constexpr size_t kAboutChars = 199;
constexpr size_t kAddressChars = 19;

}  // namespace

bool IsAcceptableUserName(std::string_view name) {
  return name.find(',') == std::string_view::npos;
}

std::string MyInfoText(std::string_view phone_number, std::string_view local_address,
                       std::string_view public_address, uint16_t public_port) {
  const std::string local = CutCharacters(local_address, kAddressChars);
  const std::string public_text(public_address);
  std::string number;
  if (phone_number.size() >= 11) {
    const std::string_view d = phone_number.substr(1, 10);
    number = "(" + std::string(d.substr(0, 3)) + ") " + std::string(d.substr(3, 3)) + "-" +
             std::string(d.substr(6, 4));
  } else {
    number = std::string(phone_number);
  }
  char text[512];
  std::snprintf(text, sizeof text, "Phone Number\n  %s\nIP address\n  %s (%s:%d)\n", number.c_str(),
                local.c_str(), public_text.c_str(), public_port);
  return CutCharacters(text, kMyInfoChars);
}

std::string AboutText(const AboutFacts& facts) {
  std::string text = facts.title;
  text += "\n\nDevice ID\n  " + facts.device_id;
  text += "\nPhone Number\n  " + facts.phone_number + " (" + facts.user_name + ")";
  text += "\nPresence server\n  " + facts.presence_server;
  text += "\nStudy server\n  " + facts.study_server;
  return CutCharacters(text, kAboutChars);
}

void UserNameDialog::OnInit(DialogAccess& dialog) {
  const std::string name = identity_.UserName();
  if (!name.empty()) dialog.SetText(kUserNameEdit, name);
}

void UserNameDialog::OnCommand(DialogAccess& dialog, int control_id) {
  switch (control_id) {
    case kUserNameOk: {
      const std::string text = CutCharacters(dialog.Text(kUserNameEdit), kUserNameEditChars);
      if (!IsAcceptableUserName(text)) {
        window_.ShowMessageBox(kUserNameCommaText, kUserNameCaption, MessageBoxButtons::kOk);
        return;  // the dialog stays open, the old name stays
      }
      // The name is kept in memory and in the store even when the announcement fails.
      const bool stored = identity_.StoreUserName(TruncateUtf8(text, kUserNameChars));
      const bool sent = identity_.SendKeepAlive();
      window_.ShowMessageBox(stored && sent ? kUserNameUpdatedText : kUserNameNotUpdatedText,
                             kUserNameCaption, MessageBoxButtons::kOk);
      dialog.End(kUserNameOk);
      return;
    }
    case kUserNameCancel:
    case 2:  // closed
      dialog.End(kUserNameCancel);
      return;
    default:
      return;
  }
}

void ShowMyInfo(Window& window, IdentityPort& identity) {
  window.MessageBeep(BeepKind::kDefault);
  const std::string local = identity.RefreshLocalAddress();
  identity.ReloadIdentity();
  identity.SendKeepAlive();
  window.ShowMessageBox(
      MyInfoText(identity.PhoneNumber(), local, identity.PublicAddress(), identity.PublicPort()),
      kMyInfoCaption, MessageBoxButtons::kOk);
}

void ShowAbout(Window& window, const IdentityPort& identity) {
  AboutFacts facts;
  facts.title = CutCharacters(LoadString(1), 99);
  facts.device_id = identity.DeviceId();
  facts.phone_number = identity.PhoneNumber();
  facts.user_name = identity.UserName();
  facts.presence_server = identity.PresenceServer();
  facts.study_server = identity.StudyServer();
  window.ShowMessageBox(AboutText(facts), kAboutCaption, MessageBoxButtons::kOk);
}

}  // namespace kestrelio
