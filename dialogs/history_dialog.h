// The History dialog (143): the last 30 call attempts, newest first, with the icon of
// each (incoming, missed, outgoing); Sign hands the entry to the dial logic, Cancel
// clears the selection.
//
// Opening the dialog reads the history file and trims it to 30 entries when it has
// grown to 30 or more (history_store.h), holding the lock its appends take.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "base/window/window.h"
#include "dialogs/entry_text.h"
#include "dialogs/history_list.h"

namespace kestrelio {

inline constexpr int kHistoryDialogId = 143;
inline constexpr int kHistorySign = 1059;
inline constexpr int kHistoryCancel = 1060;
inline constexpr int kHistoryList = 1061;
inline constexpr std::string_view kHistoryDialCaption = "History - Dial";
inline constexpr size_t kHistoryChatPeerChars = 19;

// What Sign makes of an item text: the name and number after "[MM/DD hh:mm] ".
SelectedEntry HistoryItemEntry(std::string_view item_text);

struct HistoryContext {
  Window& window;
  std::string history_path;
  std::mutex* history_lock = nullptr;  // the lock history appends take; may be null
  SelectedEntry& selected;
  std::function<void(std::string_view)> set_chat_peer_name;
};

class HistoryDialog : public DialogController {
 public:
  explicit HistoryDialog(HistoryContext context) : ctx_(std::move(context)) {}

  void OnInit(DialogAccess& dialog) override;
  void OnCommand(DialogAccess& dialog, int control_id) override;

 private:
  HistoryContext ctx_;
  std::vector<HistoryEntry> shown_;  // in list order: newest first
};

}  // namespace kestrelio
