// The Contacts dialog (141): the users of the Online DB, each with the icon of its
// state, and Sign (call it), View (show its name and number) and Cancel.
//
// The list is built from the Online DB when the dialog opens and does not follow it
// while open. Sign on a callable entry sets the selected entry and the chat peer name
// and ends the dialog with kEntryChosen; the dial logic then places the call.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/window/window.h"
#include "dialogs/entry_text.h"
#include "net/presence/online_db.h"

namespace kestrelio {

inline constexpr int kContactsDialogId = 141;
inline constexpr int kContactsSign = 1041;
inline constexpr int kContactsView = 1068;
inline constexpr int kContactsCancel = 1044;
inline constexpr int kContactsList = 1048;

inline constexpr std::string_view kContactsDialCaption = "Contacts - Dial";
inline constexpr std::string_view kContactsViewCaption = "Contacts - View";
inline constexpr std::string_view kContactNotOnlineText =
    "The user you are trying to call is not online.";
inline constexpr std::string_view kContactBusyText = "The user you are trying to call is busy.";
// How many characters of the selected name become the chat peer name.
inline constexpr size_t kContactChatPeerChars = 19;

// "name, number", or "name (me), number" for the own number.
std::string ContactItemText(const OnlineUser& user, std::string_view own_number);
// Status 2 busy (149), 1 online (148), anything else offline (1000).
int ContactIcon(uint32_t status);
// "Name\n %s\nPhone Number\n %s".
std::string ContactViewText(const SelectedEntry& entry);

struct ContactsContext {
  Window& window;
  const OnlineDb& online_db;
  std::function<std::string()> own_number;
  SelectedEntry& selected;
  std::function<void(std::string_view)> set_chat_peer_name;
};

class ContactsDialog : public DialogController {
 public:
  explicit ContactsDialog(ContactsContext context) : ctx_(std::move(context)) {}

  void OnInit(DialogAccess& dialog) override;
  void OnCommand(DialogAccess& dialog, int control_id) override;

 private:
  struct Item {
    int icon = 0;
    SelectedEntry entry;  // what the item stands for
  };
  const Item* Selected(DialogAccess& dialog) const;

  ContactsContext ctx_;
  std::vector<Item> items_;  // in list order
};

}  // namespace kestrelio
