#include "call/dial.h"

namespace kestrelio {

std::optional<std::string> DialLookupNumber(std::string_view typed) {
  if (typed.size() == 10) return "1" + std::string(typed);
  if (typed.size() == 11) return std::string(typed);
  return std::nullopt;
}

DialDecision DecideDial(std::string_view typed, const OnlineDb& online_db) {
  DialDecision decision;
  if (typed.find('.') != std::string_view::npos) return decision;
  const std::optional<std::string> number = DialLookupNumber(typed);
  const std::optional<OnlineUser> entry =
      number ? online_db.Lookup(*number) : std::optional<OnlineUser>();
  if (!entry) {
    decision.outcome = DialOutcome::kNotAvailable;
  } else if (entry->status == 0) {
    decision.outcome = DialOutcome::kNotOnline;
  } else {
    decision.outcome = DialOutcome::kPlaceCall;
    decision.number = entry->number;
    decision.name = entry->name;
  }
  return decision;
}

void DialDialogController::OnInit(DialogAccess& dialog) {
  if (!last_dialled_.empty()) dialog.SetText(kDialEdit, last_dialled_);
}

void DialDialogController::OnCommand(DialogAccess& dialog, int control_id) {
  switch (control_id) {
    case kDialSign: {
      std::string text = dialog.Text(kDialEdit);
      if (text.size() > kDialTextChars) text.resize(kDialTextChars);
      if (text.empty()) {
        window_.ShowMessageBox(kNoNumberText, kNoNumberCaption, MessageBoxButtons::kOk);
        return;  // the dialog stays open
      }
      typed_ = std::move(text);
      dialog.End(kDialSign);
      return;
    }
    case kDialContacts:
    case kDialHistory: {
      if (!picker_) return;
      std::optional<PickedEntry> entry =
          picker_(control_id == kDialContacts ? kContactsDialog : kHistoryDialog);
      if (!entry || entry->number.empty()) return;
      picked_ = std::move(entry);
      dialog.End(kDialContacts);
      return;
    }
    case kDialCancel:
    case 2:  // closed
      dialog.End(kDialCancel);
      return;
    default:  // "VRS" has no action
      return;
  }
}

}  // namespace kestrelio
