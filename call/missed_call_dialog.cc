#include "call/missed_call_dialog.h"

#include <cstdio>

namespace kestrelio {

std::string MissedCallText(int count) {
  if (count == 1) return "You have 1 missed call";
  return MissedCallUpdateText(count);
}

std::string MissedCallUpdateText(int count) {
  char text[64];
  std::snprintf(text, sizeof text, "You have %d missed calls", count);
  return text;
}

void MissedCallDialog::Run() {
  see_history_ = false;
  pressed_ = false;
  window_.RunDialog(kMissedCallDialog, *this);
  open_ = nullptr;
  counter_.store(0);
  // Only the two buttons count as an answer; closing the window does not.
  if (pressed_) survey_();
  if (see_history_ && open_history_) open_history_();
}

void MissedCallDialog::Update() {
  if (open_ != nullptr) open_->SetText(kMissedCallText, MissedCallUpdateText(counter_.load()));
}

void MissedCallDialog::Close() {
  if (open_ == nullptr) return;
  DialogAccess* dialog = open_;
  open_ = nullptr;
  dialog->End(0);
}

void MissedCallDialog::OnInit(DialogAccess& dialog) {
  const int count = counter_.load();
  if (count <= 0) {
    dialog.End(0);
    return;
  }
  open_ = &dialog;
  PlaceOverClientArea(dialog);
  dialog.SetText(kMissedCallText, MissedCallText(count));
}

void MissedCallDialog::PlaceOverClientArea(DialogAccess& dialog) {
  const ClientSize client = window_.GetClientSize();
  const int y = client.width < client.height ? client.height - 170 : client.height - 120;
  dialog.Place(client.width / 2 - 80, y, 170, 100);
}

void MissedCallDialog::OnClose(DialogAccess& dialog) {
  counter_.store(0);
  see_history_ = false;
  pressed_ = false;
  open_ = nullptr;
  dialog.End(0);
}

void MissedCallDialog::OnCommand(DialogAccess& dialog, int control_id) {
  if (control_id != kMissedCallDismiss && control_id != kMissedCallSeeHistory) return;
  counter_.store(0);
  see_history_ = control_id == kMissedCallSeeHistory;
  pressed_ = true;
  open_ = nullptr;
  dialog.End(control_id);
}

}  // namespace kestrelio
