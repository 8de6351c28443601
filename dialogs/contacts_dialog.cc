#include "dialogs/contacts_dialog.h"

#include "base/window/ids.h"

namespace kestrelio {

std::string ContactItemText(const OnlineUser& user, std::string_view own_number) {
  const bool me = !own_number.empty() && user.number == own_number;
  return user.name + (me ? " (me), " : ", ") + user.number;
}

int ContactIcon(uint32_t status) {
  if (status == 2) return kBitmapContactBusy;
  if (status == 1) return kBitmapContactOnline;
  return kBitmapContactOffline;
}

std::string ContactViewText(const SelectedEntry& entry) {
  return "Name\n " + entry.name + "\nPhone Number\n " + entry.number;
}

void ContactsDialog::OnInit(DialogAccess& dialog) {
  items_.clear();
  dialog.ListClear(kContactsList);
  const std::string own = ctx_.own_number ? ctx_.own_number() : std::string();
  for (const OnlineUser& user : ctx_.online_db.Snapshot()) {
    const std::string text = ContactItemText(user, own);
    Item item;
    item.icon = ContactIcon(user.status);
    item.entry = SplitEntryText(text);
    items_.push_back(std::move(item));
    AddListItem(ctx_.window, dialog, kContactsList, text, items_.back().icon);
  }
}

const ContactsDialog::Item* ContactsDialog::Selected(DialogAccess& dialog) const {
  const int index = dialog.ListSelection(kContactsList);
  if (index < 0 || static_cast<size_t>(index) >= items_.size()) return nullptr;
  return &items_[static_cast<size_t>(index)];
}

void ContactsDialog::OnCommand(DialogAccess& dialog, int control_id) {
  switch (control_id) {
    case kContactsSign: {
      const Item* item = Selected(dialog);
      if (item == nullptr) {
        ctx_.window.ShowMessageBox(kNoItemSelectedText, kContactsDialCaption,
                                   MessageBoxButtons::kOk);
        return;
      }
      if (item->icon == kBitmapContactOffline) {
        ctx_.window.ShowMessageBox(kContactNotOnlineText, kContactsDialCaption,
                                   MessageBoxButtons::kOk);
        return;
      }
      if (item->icon == kBitmapContactBusy) {
        ctx_.window.ShowMessageBox(kContactBusyText, kContactsDialCaption, MessageBoxButtons::kOk);
        return;
      }
      ctx_.selected = item->entry;
      if (ctx_.set_chat_peer_name) {
        ctx_.set_chat_peer_name(CutCharacters(item->entry.name, kContactChatPeerChars));
      }
      dialog.End(kEntryChosen);
      return;
    }
    case kContactsView: {
      const Item* item = Selected(dialog);
      if (item == nullptr) {
        ctx_.window.ShowMessageBox(kNoItemSelectedText, kContactsViewCaption,
                                   MessageBoxButtons::kOk);
        return;
      }
      ctx_.window.ShowMessageBox(ContactViewText(item->entry), kContactsViewCaption,
                                 MessageBoxButtons::kOk);
      return;
    }
    case kContactsCancel:
      ctx_.selected.Clear();
      dialog.End(kEntryCancelled);
      return;
    case kCloseCommand:
      dialog.End(kEntryDialogClosed);
      return;
    default:  // selection notifications
      return;
  }
}

}  // namespace kestrelio
