#include "ui/main_window_logic.h"

#include <algorithm>

#include "base/window/ids.h"
#include "ui/layout_scale.h"

namespace kestrelio {
MainWindowLogic::MainWindowLogic(Window& window, ViewFlags& view_flags, WindowShell* shell)
    : window_(window), view_flags_(view_flags), shell_(shell) {}

void MainWindowLogic::InitialiseForStartUp() {
  SetChatPanelMode(0);
  ShowCalling(false);
  view_flags_.view_mode.store(1);
  window_.SetButtonImage(kCommandView, kImageView1);
  RunLayout();
  view_flags_.own_video_paused.store(false);
  window_.Invalidate();
  view_flags_.peer_video_paused.store(false);
  window_.Invalidate();
  SetStatusLine(true);
  chat_shown_ = false;
  blink_state_ = false;
}

void MainWindowLogic::OnCommand(int command_id) {
  switch (command_id) {
    case kCommandDial:
      // A second dial while an attempt rings would start a second call set-up.
      if (window_.IsControlVisible(kControlCalling)) return;
      break;
    case kCommandPause:
      view_flags_.own_video_paused.store(!view_flags_.own_video_paused.load());
      window_.Invalidate();
      break;  // the handler tells the peer during a call
    case kCommandChatPanel:
      ToggleChatPanel();
      return;
    case kCommandStatusLine:
      SetStatusLine(!status_line_on_);
      return;
    case kCommandView:
      NextViewMode();
      return;
    case kCommandCallStatistics:
      view_flags_.call_statistics.store(!view_flags_.call_statistics.load());
      window_.Invalidate();
      return;
    case kCommandPlus:
      SetChatPanelMode(2);
      return;
    case kCommandMinus:
      SetChatPanelMode(1);
      return;
    case kCommandExit:
      if (shell_ != nullptr) {
        shell_->RequestClose();
      } else if (handler_ != nullptr) {
        handler_->OnDestroy();
      }
      return;
    default:
      break;
  }
  if (handler_ != nullptr) handler_->OnCommand(command_id);
}

void MainWindowLogic::OnTimer(int timer_id) {
  if (timer_id != kTimerStatusTick) window_.KillTimer(timer_id);
  switch (timer_id) {
    case kTimerCallingAnimation:
      CallingAnimationStep();
      return;
    case kTimerChatBlink:
      ChatBlinkStep();
      return;
    default:
      if (handler_ != nullptr) handler_->OnTimer(timer_id);
      return;
  }
}

void MainWindowLogic::OnTextLogNotify(int wparam) {
  if (handler_ != nullptr) handler_->OnTextLogNotify(wparam);
}

void MainWindowLogic::OnResize() { RunLayout(); }

void MainWindowLogic::SetChatPanelMode(int mode) {
  if (mode < 0 || mode > 2) return;
  chat_mode_ = mode;
  const bool visible = mode != 0;
  for (int id : {kControlChatList, kControlChatEdit, kControlPlus, kControlMinus, kControlSend}) {
    window_.ShowControl(id, visible);
  }
  RunLayout();
}

void MainWindowLogic::SetStatusLine(bool on) {
  status_line_on_ = on;
  if (on && handler_ != nullptr) handler_->OnStatusLineShown();
  window_.ShowControl(kControlStatusLine, on);
  RunLayout();
}

void MainWindowLogic::ShowCalling(bool on) {
  if (on) window_.SetControlText(kControlCalling, kCallingTexts[0]);
  window_.ShowControl(kControlCalling, on);
  window_.ShowControl(kControlCancel, on);
}

void MainWindowLogic::RunLayout() {
  const std::optional<ClientSize> pixels =
      shell_ != nullptr ? shell_->ClientPixels() : std::nullopt;
  const ClientSize size = pixels ? *pixels : window_.GetClientSize();
  const int scale = shell_ != nullptr ? std::max(1, shell_->LayoutScale()) : 1;
  LayoutInput input;
  input.client_width = size.width / scale;
  input.client_height = size.height / scale;
  input.status_line_on = status_line_on_;
  input.chat_mode = chat_mode_;
  input.view_mode = view_mode();
  input.previous_primary = logical_layout_.primary;
  input.previous_secondary = logical_layout_.secondary;
  logical_layout_ = ComputeLayout(input);
  layout_ = ScaleLayout(logical_layout_, scale, size.width, size.height);
  if (layout_.plus_visible) window_.ShowControl(kControlPlus, *layout_.plus_visible);
  if (layout_.minus_visible) window_.ShowControl(kControlMinus, *layout_.minus_visible);
  if (shell_ != nullptr) shell_->ApplyLayout(layout_);
  window_.Invalidate();
}

void MainWindowLogic::NextViewMode() {
  // 0 -> 1 (image 6), 1 -> 2 (image 6), 2 -> 3 (image 7), 3 -> 0 (image 5).
  static constexpr int kImageAfter[4] = {kImageView0, kImageView1, kImageView1, kImageView3};
  const int next = (view_mode() + 1) % 4;
  view_flags_.view_mode.store(next);
  window_.SetButtonImage(kCommandView, kImageAfter[next]);
  RunLayout();
}

void MainWindowLogic::ToggleChatPanel() {
  chat_shown_ = !chat_shown_;
  window_.SetButtonImage(kCommandChatPanel, kImageChat);
  const bool opening = chat_mode_ == 0;
  SetChatPanelMode(opening ? 1 : 0);
  if (opening && shell_ != nullptr) shell_->FocusChatInput();
}

void MainWindowLogic::CallingAnimationStep() {
  // The step is the text shown: an attempt that put up the first text starts there,
  // whatever the last attempt ended with. Any other text counts as the first.
  const std::string shown = window_.ControlText(kControlCalling);
  int step = 0;
  for (int i = 0; i < 3; ++i) {
    if (shown == kCallingTexts[i]) step = i;
  }
  window_.SetControlText(kControlCalling, kCallingTexts[(step + 1) % 3]);
  window_.StartTimer(kTimerCallingAnimation, kCallingAnimationPeriodMs);
}

void MainWindowLogic::ChatBlinkStep() {
  if (chat_shown_) return;
  window_.SetButtonImage(kCommandChatPanel, blink_state_ ? kImageChat : kImageChatUnread);
  blink_state_ = !blink_state_;
  window_.StartTimer(kTimerChatBlink, kChatBlinkPeriodMs);
}

}  // namespace kestrelio
