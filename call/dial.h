// The dial dialog (kDialDialog, "IP or Phone Number"): the typed number, its Online DB look-up
// and what becomes of it. The decision is a pure function so it can be tested alone.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "base/window/window.h"
#include "net/presence/online_db.h"

namespace kestrelio {

inline constexpr int kDialDialog = 105;
inline constexpr int kDialEdit = 1001;
inline constexpr int kDialSign = 1012;
inline constexpr int kDialVrs = 1013;
inline constexpr int kDialCancel = 1014;
inline constexpr int kDialContacts = 1015;
inline constexpr int kDialHistory = 1016;
inline constexpr size_t kDialTextChars = 80;

// The number to look up: ten digits get a leading 1, eleven are taken as typed, any
// other length is not a number the list can hold.
std::optional<std::string> DialLookupNumber(std::string_view typed);

enum class DialOutcome {
  kNoCall,        // a typed address (with a '.'): nothing happens
  kNotAvailable,  // not in the Online DB
  kNotOnline,     // listed with status 0
  kPlaceCall,
};
struct DialDecision {
  DialOutcome outcome = DialOutcome::kNoCall;
  std::string number;  // kPlaceCall: the entry's number and name
  std::string name;
};
DialDecision DecideDial(std::string_view typed, const OnlineDb& online_db);

// The user's text for each outcome that shows one, with its caption.
inline constexpr std::string_view kNoNumberText = "No phone number was entered!";
inline constexpr std::string_view kNoNumberCaption = "Phone";
inline constexpr std::string_view kNotAvailableText =
    "The phone number you typed is not available.";
inline constexpr std::string_view kNotOnlineText = "The phone number you typed is not online.";
inline constexpr std::string_view kDialResultCaption = "Call";

// A name and number picked in the Contacts (kContactsDialog) or History (kHistoryDialog)
// dialog.
struct PickedEntry {
  std::string name;
  std::string number;
};
// Runs the Contacts or History dialog and returns the picked entry (nullopt: none).
// Without one (the dialogs are not part of the handset yet) the buttons do nothing.
using EntryPicker = std::function<std::optional<PickedEntry>(int dialog_id)>;
inline constexpr int kContactsDialog = 141;
inline constexpr int kHistoryDialog = 143;

// The dialog's buttons. "Sign" with text ends the dialog with kDialSign and keeps the
// text; "Contacts" and "History" run the picker and, when it yields a number, end the
// dialog with kDialContacts and keep the entry; "VRS" does nothing.
class DialDialogController : public DialogController {
 public:
  DialDialogController(Window& window, std::string last_dialled, EntryPicker picker = {})
      : window_(window), last_dialled_(std::move(last_dialled)), picker_(std::move(picker)) {}

  void OnInit(DialogAccess& dialog) override;
  void OnCommand(DialogAccess& dialog, int control_id) override;

  const std::string& typed() const { return typed_; }
  const std::optional<PickedEntry>& picked() const { return picked_; }

 private:
  Window& window_;
  std::string last_dialled_;
  EntryPicker picker_;
  std::string typed_;
  std::optional<PickedEntry> picked_;
};

}  // namespace kestrelio
