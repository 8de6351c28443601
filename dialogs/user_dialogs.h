// The user dialogs of one handset, as the window's commands and the dial logic reach
// them:
//
//   dial dialog "Contacts" / "History", command 145, "See History" -> PickEntry(141|143)
//   File menu 32782 My Name, 32803 Settings, 32807 Update My Info, 32811 About,
//             32813 Check for updates                                -> OnCommand(id)
//
// GUI thread only.
#pragma once

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "base/window/window.h"
#include "call/dial.h"
#include "dialogs/entry_text.h"
#include "dialogs/identity_port.h"
#include "dialogs/settings_port.h"
#include "net/presence/online_db.h"

namespace kestrelio {

struct UserDialogsContext {
  Window& window;
  const OnlineDb& online_db;
  IdentityPort& identity;
  SettingsPort& settings;
  std::string history_path;
  std::mutex* history_lock = nullptr;  // the lock history appends take
  std::function<void(std::string_view)> set_chat_peer_name;
  std::function<bool()> in_call;
  std::function<void()> launch_updater;  // in its menu form, "1005 -m"
};

class UserDialogs {
 public:
  explicit UserDialogs(UserDialogsContext context) : ctx_(std::move(context)) {}

  // Runs the Contacts (141) or History (143) dialog. The entry chosen, name cut to 31
  // bytes and number to 15 characters; nullopt when none was (or for another id).
  std::optional<PickedEntry> PickEntry(int dialog_id);
  // Commands 32782, 32803, 32807, 32811 and 32813; false for any other id.
  bool OnCommand(int command_id);

  const SelectedEntry& selected() const { return selected_; }

 private:
  void OnMyName();

  UserDialogsContext ctx_;
  SelectedEntry selected_;
};

}  // namespace kestrelio
