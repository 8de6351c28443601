#include "dialogs/history_dialog.h"

#include "base/window/ids.h"
#include "dialogs/history_store.h"

namespace kestrelio {

SelectedEntry HistoryItemEntry(std::string_view item_text) {
  if (item_text.size() <= kHistoryTimeChars) return {};
  return SplitEntryText(item_text.substr(kHistoryTimeChars));
}

void HistoryDialog::OnInit(DialogAccess& dialog) {
  std::vector<HistoryEntry> entries;
  if (ctx_.history_lock != nullptr) {
    std::lock_guard lock(*ctx_.history_lock);
    entries = LoadHistory(ctx_.history_path);
  } else {
    entries = LoadHistory(ctx_.history_path);
  }
  shown_.assign(entries.rbegin(), entries.rend());
  dialog.ListClear(kHistoryList);
  for (const HistoryEntry& entry : shown_) {
    AddListItem(ctx_.window, dialog, kHistoryList, entry.item_text, entry.icon);
  }
}

void HistoryDialog::OnCommand(DialogAccess& dialog, int control_id) {
  switch (control_id) {
    case kHistorySign: {
      // An outgoing attempt is being made: calling back now would start a second one.
      if (ctx_.window.IsControlVisible(kControlCalling)) return;
      const int index = dialog.ListSelection(kHistoryList);
      if (index < 0 || static_cast<size_t>(index) >= shown_.size()) {
        ctx_.window.ShowMessageBox(kNoItemSelectedText, kHistoryDialCaption,
                                   MessageBoxButtons::kOk);
        return;
      }
      ctx_.selected = HistoryItemEntry(shown_[static_cast<size_t>(index)].item_text);
      if (ctx_.set_chat_peer_name) {
        ctx_.set_chat_peer_name(CutCharacters(ctx_.selected.name, kHistoryChatPeerChars));
      }
      dialog.End(kEntryChosen);
      return;
    }
    case kHistoryCancel:
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
