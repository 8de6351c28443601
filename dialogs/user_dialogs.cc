#include "dialogs/user_dialogs.h"

#include "base/window/ids.h"
#include "device/identity.h"
#include "dialogs/contacts_dialog.h"
#include "dialogs/history_dialog.h"
#include "dialogs/identity_dialogs.h"
#include "dialogs/settings_dialog.h"

namespace kestrelio {

std::optional<PickedEntry> UserDialogs::PickEntry(int dialog_id) {
  // A choice left from an earlier dialog must not be dialled when this one is closed.
  selected_.Clear();
  if (dialog_id == kContactsDialogId) {
    ContactsDialog dialog(ContactsContext{ctx_.window, ctx_.online_db,
                                          [this] { return ctx_.identity.PhoneNumber(); }, selected_,
                                          ctx_.set_chat_peer_name});
    ctx_.window.RunDialog(kContactsDialogId, dialog);
  } else if (dialog_id == kHistoryDialogId) {
    HistoryDialog dialog(HistoryContext{ctx_.window, ctx_.history_path, ctx_.history_lock,
                                        selected_, ctx_.set_chat_peer_name});
    ctx_.window.RunDialog(kHistoryDialogId, dialog);
  } else {
    return std::nullopt;
  }
  if (selected_.number.empty()) return std::nullopt;
  PickedEntry entry;
  entry.name = TruncateUtf8(selected_.name, kMaxUserNameLength);
  entry.number = CutCharacters(selected_.number, kMaxPhoneNumberLength);
  return entry;
}

void UserDialogs::OnMyName() {
  if (ctx_.in_call && ctx_.in_call()) {
    ctx_.window.MessageBeep(BeepKind::kQuestion);
    ctx_.window.ShowMessageBox(kUserNameInCallText, "", MessageBoxButtons::kOk);
    return;
  }
  UserNameDialog dialog(ctx_.window, ctx_.identity);
  ctx_.window.RunDialog(kUserNameDialogId, dialog);
}

bool UserDialogs::OnCommand(int command_id) {
  switch (command_id) {
    case kCommandMyName:
      OnMyName();
      return true;
    case kCommandSettings: {
      SettingsDialog dialog(ctx_.settings);
      ctx_.window.RunDialog(kSettingsDialogId, dialog);
      return true;
    }
    case kCommandUpdateMyInfo:
      ShowMyInfo(ctx_.window, ctx_.identity);
      return true;
    case kCommandAbout:
      ShowAbout(ctx_.window, ctx_.identity);
      return true;
    case kCommandCheckForUpdates:
      if (ctx_.launch_updater) ctx_.launch_updater();
      return true;
    default:
      return false;
  }
}

}  // namespace kestrelio
