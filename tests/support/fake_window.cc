#include "tests/support/fake_window.h"

#include <algorithm>
#include <chrono>
#include <cstddef>

#include "base/window/ids.h"

namespace kestrelio {

std::string FakeDialog::Text(int control_id) const {
  auto it = texts_.find(control_id);
  return it == texts_.end() ? std::string() : it->second;
}
void FakeDialog::SetText(int control_id, std::string_view text) {
  texts_[control_id] = std::string(text);
}
void FakeDialog::Show(int control_id, bool visible) { visible_[control_id] = visible; }
bool FakeDialog::IsVisible(int control_id) const {
  auto it = visible_.find(control_id);
  return it == visible_.end() || it->second;
}
void FakeDialog::ListAppend(int control_id, std::string_view line) {
  lists_[control_id].emplace_back(line);
  icons_[control_id].push_back(0);
}
void FakeDialog::ListAppendWithIcon(int control_id, std::string_view text, int icon_bitmap_id) {
  lists_[control_id].emplace_back(text);
  icons_[control_id].push_back(icon_bitmap_id);
}
std::vector<int> FakeDialog::ListIcons(int control_id) const {
  auto it = icons_.find(control_id);
  return it == icons_.end() ? std::vector<int>() : it->second;
}
void FakeDialog::ListClear(int control_id) {
  lists_[control_id].clear();
  icons_[control_id].clear();
  selections_.erase(control_id);
}
bool FakeDialog::OpenPage(int page_dialog_id, int tab_control_id, DialogController& controller) {
  PageRecord record;
  record.dialog = std::make_unique<FakeDialog>();
  record.dialog->is_page_ = true;
  record.dialog->visible_[0] = false;  // id 0 stands for the page itself
  record.controller = &controller;
  record.tab_control_id = tab_control_id;
  FakeDialog* page = record.dialog.get();
  pages_[page_dialog_id] = std::move(record);
  controller.OnInit(*page);
  return true;
}
void FakeDialog::ShowPage(int page_dialog_id, bool visible) {
  if (FakeDialog* page = Page(page_dialog_id)) page->visible_[0] = visible;
}
FakeDialog* FakeDialog::Page(int page_dialog_id) {
  auto it = pages_.find(page_dialog_id);
  return it == pages_.end() ? nullptr : it->second.dialog.get();
}
DialogController* FakeDialog::PageController(int page_dialog_id) {
  auto it = pages_.find(page_dialog_id);
  return it == pages_.end() ? nullptr : it->second.controller;
}
bool FakeDialog::IsPageShown(int page_dialog_id) const {
  auto it = pages_.find(page_dialog_id);
  return it != pages_.end() && it->second.dialog->IsVisible(0);
}
int FakeDialog::PageTab(int page_dialog_id) const {
  auto it = pages_.find(page_dialog_id);
  return it == pages_.end() ? -1 : it->second.tab_control_id;
}
int FakeDialog::ListSelection(int control_id) const {
  auto it = selections_.find(control_id);
  return it == selections_.end() ? -1 : it->second;
}
bool FakeDialog::IsChecked(int control_id) const {
  auto it = checked_.find(control_id);
  return it != checked_.end() && it->second;
}
void FakeDialog::SetChecked(int control_id, bool checked) { checked_[control_id] = checked; }
void FakeDialog::End(int result) {
  if (is_page_) {
    last_page_result_ = result;
    visible_[0] = false;
    return;
  }
  if (!result_) result_ = result;
}

void FakeDialog::MoveControl(int control_id, int x, int y, int width, int height) {
  moved_[control_id] = {x, y, width, height};
}
void FakeDialog::Place(int x, int y, int width, int height) {
  placement_ = {{x, y, width, height}};
}
bool FakeDialog::IsEnabled(int control_id) const {
  auto it = enabled_.find(control_id);
  return it == enabled_.end() || it->second;
}
std::optional<std::array<int, 4>> FakeDialog::ControlPlacement(int control_id) const {
  auto it = moved_.find(control_id);
  if (it == moved_.end()) return std::nullopt;
  return it->second;
}

FakeWindow::FakeWindow() = default;

void FakeWindow::StartTimer(int timer_id, int period_ms) {
  std::lock_guard lock(mutex_);
  timers_[timer_id] = period_ms;
  timer_log_.push_back({true, timer_id, period_ms});
}

void FakeWindow::KillTimer(int timer_id) {
  std::lock_guard lock(mutex_);
  timers_.erase(timer_id);
  timer_log_.push_back({false, timer_id, 0});
}

void FakeWindow::ShowControl(int control_id, bool visible) {
  std::lock_guard lock(mutex_);
  visible_[control_id] = visible;
}

bool FakeWindow::IsControlVisible(int control_id) const {
  std::lock_guard lock(mutex_);
  auto it = visible_.find(control_id);
  return it != visible_.end() && it->second;
}

void FakeWindow::SetControlText(int control_id, std::string_view text) {
  std::lock_guard lock(mutex_);
  texts_[control_id] = std::string(text);
}

std::string FakeWindow::ControlText(int control_id) const {
  std::lock_guard lock(mutex_);
  auto it = texts_.find(control_id);
  return it == texts_.end() ? std::string() : it->second;
}

void FakeWindow::ListAppend(int control_id, std::string_view line) {
  std::lock_guard lock(mutex_);
  std::vector<std::string>& lines = lists_[control_id];
  lines.emplace_back(line);
  // The chat history keeps its newest lines, as the real window's list does.
  if (control_id == kControlChatList && lines.size() > kChatListMaxLines) {
    lines.erase(lines.begin(), lines.end() - static_cast<ptrdiff_t>(kChatListMaxLines));
  }
}

void FakeWindow::ForgetRecords() {
  std::lock_guard lock(mutex_);
  timer_log_.clear();
  lists_.clear();
  drawings_.clear();
  boxes_.clear();
  dialogs_run_.clear();
  beeps_.clear();
  alerts_.clear();
}

void FakeWindow::ListClear(int control_id) {
  std::lock_guard lock(mutex_);
  lists_[control_id].clear();
}

void FakeWindow::SetButtonImage(int command_id, int image_index) {
  std::lock_guard lock(mutex_);
  button_images_[command_id] = image_index;
}

void FakeWindow::Invalidate() {
  std::lock_guard lock(mutex_);
  ++invalidate_count_;
}

void FakeWindow::DrawPicture(VideoTarget target, const BgrPicture& picture) {
  const size_t index = target == VideoTarget::kPrimary ? 0 : 1;
  std::lock_guard lock(mutex_);
  ++pictures_drawn_[index];
  drawings_.push_back({target, picture.width, picture.height, picture.bottom_up});
  // Copied like the real window does: the caller reuses its buffer once this returns.
  std::vector<uint8_t>& copy = last_pictures_[index];
  copy.clear();
  if (picture.bytes == nullptr || picture.width <= 0 || picture.height <= 0) return;
  const size_t row_bytes = static_cast<size_t>(picture.width) * 3;
  for (int row = 0; row < picture.height; ++row) {
    const uint8_t* first = picture.bytes + static_cast<ptrdiff_t>(row) * picture.stride;
    copy.insert(copy.end(), first, first + row_bytes);
  }
}

MessageBoxResult FakeWindow::ShowMessageBox(std::string_view text, std::string_view caption,
                                            MessageBoxButtons buttons, std::stop_token cancel) {
  // Made before the lock: it runs at once, and takes the lock, when stop was already asked.
  bool cancelled = false;
  std::stop_callback on_cancel(cancel, [&] {
    std::lock_guard cancel_lock(mutex_);
    cancelled = true;
    held_changed_.notify_all();
  });
  std::unique_lock lock(mutex_);
  Box box{std::string(text), std::string(caption), buttons, MessageBoxResult::kOk};
  auto by_caption = answers_by_caption_.find(caption);
  const bool hold =
      std::find(hold_captions_.begin(), hold_captions_.end(), caption) != hold_captions_.end();
  if (by_caption != answers_by_caption_.end() && !by_caption->second.empty()) {
    box.result = by_caption->second.front();
    by_caption->second.pop_front();
  } else if (!answers_in_order_.empty()) {
    box.result = answers_in_order_.front();
    answers_in_order_.pop_front();
  } else if (hold) {
    HeldBox held{box.caption, std::nullopt};
    held_.push_back(&held);
    held_changed_.notify_all();
    held_changed_.wait(lock, [&] { return held.result.has_value() || cancelled; });
    held_.erase(std::find(held_.begin(), held_.end(), &held));
    box.result = held.result.value_or(MessageBoxResult::kClosed);
  } else {
    box.result =
        buttons == MessageBoxButtons::kYesNo ? MessageBoxResult::kNo : MessageBoxResult::kOk;
  }
  boxes_.push_back(box);
  return box.result;
}

bool FakeWindow::CloseMessageBox(std::string_view caption) {
  return ReleaseBox(caption, MessageBoxResult::kClosed);
}

bool FakeWindow::ReleaseBox(std::string_view caption, MessageBoxResult result) {
  std::lock_guard lock(mutex_);
  for (HeldBox* held : held_) {
    if (held->caption == caption && !held->result) {
      held->result = result;
      held_changed_.notify_all();
      return true;
    }
  }
  return false;
}

bool FakeWindow::WaitForHeldBox(std::string_view caption, int timeout_ms) {
  std::unique_lock lock(mutex_);
  return held_changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] {
    return std::any_of(held_.begin(), held_.end(), [&](const HeldBox* held) {
      return held->caption == caption && !held->result;
    });
  });
}

int FakeWindow::RunDialog(int dialog_id, DialogController& controller) {
  DialogScript script;
  {
    std::lock_guard lock(mutex_);
    dialogs_run_.push_back(dialog_id);
    auto it = dialog_scripts_.find(dialog_id);
    if (it != dialog_scripts_.end()) script = it->second;
  }
  // The controller may call back into this window (boxes, controls): no lock held here.
  FakeDialog dialog;
  controller.OnInit(dialog);
  if (!dialog.ended() && script) script(dialog, controller);
  // What is left open is closed as by the window's close button.
  if (!dialog.ended()) controller.OnClose(dialog);
  return dialog.result().value_or(2);
}

void FakeWindow::MessageBeep(BeepKind kind) {
  std::lock_guard lock(mutex_);
  beeps_.push_back(kind);
}

void FakeWindow::Alert(int duration_ms) {
  std::lock_guard lock(mutex_);
  alerts_.push_back(duration_ms);
}

ClientSize FakeWindow::GetClientSize() const {
  std::lock_guard lock(mutex_);
  return client_size_;
}

void FakeWindow::SetClientSize(int width, int height) {
  std::lock_guard lock(mutex_);
  client_size_ = {width, height};
}

void FakeWindow::AnswerBoxes(std::string_view caption, std::vector<MessageBoxResult> answers) {
  std::lock_guard lock(mutex_);
  auto& queue = answers_by_caption_[std::string(caption)];
  queue.insert(queue.end(), answers.begin(), answers.end());
}

void FakeWindow::AnswerNextBoxes(std::vector<MessageBoxResult> answers) {
  std::lock_guard lock(mutex_);
  answers_in_order_.insert(answers_in_order_.end(), answers.begin(), answers.end());
}

void FakeWindow::HoldBoxes(std::string_view caption) {
  std::lock_guard lock(mutex_);
  hold_captions_.emplace_back(caption);
}

void FakeWindow::ScriptDialog(int dialog_id, DialogScript script) {
  std::lock_guard lock(mutex_);
  dialog_scripts_[dialog_id] = std::move(script);
}

bool FakeWindow::IsTimerRunning(int timer_id) const {
  std::lock_guard lock(mutex_);
  return timers_.count(timer_id) != 0;
}

std::optional<int> FakeWindow::TimerPeriod(int timer_id) const {
  std::lock_guard lock(mutex_);
  auto it = timers_.find(timer_id);
  if (it == timers_.end()) return std::nullopt;
  return it->second;
}

std::vector<FakeWindow::TimerEvent> FakeWindow::TimerLog() const {
  std::lock_guard lock(mutex_);
  return timer_log_;
}

std::vector<std::string> FakeWindow::List(int control_id) const {
  std::lock_guard lock(mutex_);
  auto it = lists_.find(control_id);
  return it == lists_.end() ? std::vector<std::string>() : it->second;
}

std::optional<int> FakeWindow::ButtonImage(int command_id) const {
  std::lock_guard lock(mutex_);
  auto it = button_images_.find(command_id);
  if (it == button_images_.end()) return std::nullopt;
  return it->second;
}

int FakeWindow::invalidate_count() const {
  std::lock_guard lock(mutex_);
  return invalidate_count_;
}

int FakeWindow::pictures_drawn(VideoTarget target) const {
  std::lock_guard lock(mutex_);
  return pictures_drawn_[target == VideoTarget::kPrimary ? 0 : 1];
}

std::vector<FakeWindow::Drawing> FakeWindow::Drawings() const {
  std::lock_guard lock(mutex_);
  return drawings_;
}

std::vector<uint8_t> FakeWindow::LastPicture(VideoTarget target) const {
  std::lock_guard lock(mutex_);
  return last_pictures_[target == VideoTarget::kPrimary ? 0 : 1];
}

std::vector<FakeWindow::Box> FakeWindow::Boxes() const {
  std::lock_guard lock(mutex_);
  return boxes_;
}

std::vector<int> FakeWindow::DialogsRun() const {
  std::lock_guard lock(mutex_);
  return dialogs_run_;
}

std::vector<BeepKind> FakeWindow::Beeps() const {
  std::lock_guard lock(mutex_);
  return beeps_;
}

int FakeWindow::alert_count() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(alerts_.size());
}

std::vector<int> FakeWindow::Alerts() const {
  std::lock_guard lock(mutex_);
  return alerts_;
}

void FakeWindow::ShowNotice(std::string_view text, int duration_ms) {
  std::lock_guard lock(mutex_);
  notices_.push_back(Notice{std::string(text), duration_ms});
}

std::vector<FakeWindow::Notice> FakeWindow::Notices() const {
  std::lock_guard lock(mutex_);
  return notices_;
}

}  // namespace kestrelio
