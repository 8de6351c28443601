// The identity functions of the File menu: the User Name dialog (144), My Info, the
// About box and the updater launch. GUI thread.
#pragma once

#include <string>
#include <string_view>

#include "base/window/window.h"
#include "dialogs/identity_port.h"

namespace kestrelio {

inline constexpr int kUserNameDialogId = 144;
inline constexpr int kUserNameEdit = 1064;
inline constexpr int kUserNameOk = 1062;
inline constexpr int kUserNameCancel = 1063;
inline constexpr size_t kUserNameEditChars = 100;
inline constexpr size_t kUserNameChars = 31;

inline constexpr std::string_view kUserNameCaption = "Username";
inline constexpr std::string_view kUserNameCommaText =
    "Your username cannot have a ',' in it. Please enter a different username.";
inline constexpr std::string_view kUserNameUpdatedText = "Your username was successfully updated.";
inline constexpr std::string_view kUserNameNotUpdatedText = "Your username could not be updated!";
inline constexpr std::string_view kUserNameInCallText =
    "Connection is active! Cannot change username. Please disconnect first.";
inline constexpr std::string_view kMyInfoCaption = "My Info";
inline constexpr std::string_view kAboutCaption = "About";

// A user name may not contain ','; the list items and the presence protocol split on it.
bool IsAcceptableUserName(std::string_view name);

// "Phone Number\n  (%c%c%c) %c%c%c-%c%c%c%c\nIP address\n  %s (%s:%d)\n" with characters
// 2 to 11 of the number. A number shorter than 11 characters has no such digits: it is
// shown as it stands instead of reading past its end.
std::string MyInfoText(std::string_view phone_number, std::string_view local_address,
                       std::string_view public_address, uint16_t public_port);

struct AboutFacts {
  std::string title;  // the window title, "Kestrelio 1.0.5"
  std::string device_id;
  std::string phone_number;
  std::string user_name;
  std::string presence_server;
  std::string study_server;
};
std::string AboutText(const AboutFacts& facts);

class UserNameDialog : public DialogController {
 public:
  UserNameDialog(Window& window, IdentityPort& identity) : window_(window), identity_(identity) {}

  void OnInit(DialogAccess& dialog) override;
  void OnCommand(DialogAccess& dialog, int control_id) override;

 private:
  Window& window_;
  IdentityPort& identity_;
};

// My Info: beep, fresh local address, identity read again, KeepAlive, the box.
void ShowMyInfo(Window& window, IdentityPort& identity);
// The About box.
void ShowAbout(Window& window, const IdentityPort& identity);

}  // namespace kestrelio
