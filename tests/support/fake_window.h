// FakeWindow: a recording, scriptable stand-in for the main window, for tests of code
// that talks to the Window interface (call control, signalling, media). No Qt, no
// display. Thread-safe: any thread may call it, as with the real window.
//
// What it records: timers (running ids with periods, plus a log of starts and kills),
// control texts and visibility, list contents, button images, repaint requests, pictures
// drawn (the shape of every one in order, and a copy of the last one per target),
// message boxes shown, dialogs run, beeps and alerts with their durations, notices.
//
// Message boxes are answered from a script:
//   fake.AnswerBoxes("Connection", {MessageBoxResult::kYes});   // by caption, in order
//   fake.AnswerNextBoxes({MessageBoxResult::kOk});              // any caption, in order
//   fake.HoldBoxes("Connection");  // blocks the caller until CloseMessageBox/ReleaseBox
// Unscripted boxes answer kOk (OK box) or kNo (Yes/No box) at once.
//
// Dialogs run a script against a FakeDialog after the controller's OnInit:
//   fake.ScriptDialog(105, [](FakeDialog& d, DialogController& c) {
//     d.SetText(1001, "12063330001"); c.OnCommand(d, 1012); });
// A dialog the script leaves open is closed as by the window's close button (the
// controller's OnClose); RunDialog returns the value passed to End, or 2 when nothing
// ended it. An unscripted dialog is initialised and closed that way.
#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/window/window.h"

namespace kestrelio {

// A dialog's controls as plain maps; what a scripted user sees and changes.
class FakeDialog : public DialogAccess {
 public:
  std::string Text(int control_id) const override;
  void SetText(int control_id, std::string_view text) override;
  void Show(int control_id, bool visible) override;
  void ListAppend(int control_id, std::string_view line) override;
  void ListClear(int control_id) override;
  int ListSelection(int control_id) const override;
  bool IsChecked(int control_id) const override;
  void SetChecked(int control_id, bool checked) override;
  void End(int result) override;
  void SetListSelection(int control_id, int index) override { selections_[control_id] = index; }
  void SetEnabled(int control_id, bool enabled) override { enabled_[control_id] = enabled; }
  void MoveControl(int control_id, int x, int y, int width, int height) override;
  void Place(int x, int y, int width, int height) override;
  void ListAppendWithIcon(int control_id, std::string_view text, int icon_bitmap_id) override;
  bool OpenPage(int page_dialog_id, int tab_control_id, DialogController& controller) override;
  void ShowPage(int page_dialog_id, bool visible) override;

  // The icon of every item of a list, in order (0 for an item added without one).
  std::vector<int> ListIcons(int control_id) const;
  // A page opened with OpenPage (null when none), its controller, and whether it shows.
  FakeDialog* Page(int page_dialog_id);
  DialogController* PageController(int page_dialog_id);
  bool IsPageShown(int page_dialog_id) const;
  // The tab control a page was laid over (-1 when none).
  int PageTab(int page_dialog_id) const;
  // A page: End hides it (and records the result) instead of ending it for good.
  bool is_page() const { return is_page_; }
  std::optional<int> last_page_result() const { return last_page_result_; }

  bool IsEnabled(int control_id) const;
  // Pixel rectangle {x, y, width, height} of the last MoveControl / Place.
  std::optional<std::array<int, 4>> ControlPlacement(int control_id) const;
  std::optional<std::array<int, 4>> placement() const { return placement_; }
  void SetSelection(int control_id, int index) { selections_[control_id] = index; }
  const std::vector<std::string>& List(int control_id) { return lists_[control_id]; }
  bool IsVisible(int control_id) const;
  bool ended() const { return result_.has_value(); }
  std::optional<int> result() const { return result_; }

 private:
  std::map<int, std::string> texts_;
  std::map<int, bool> visible_;
  std::map<int, std::vector<std::string>> lists_;
  std::map<int, int> selections_;
  std::map<int, bool> checked_;
  std::map<int, bool> enabled_;
  std::map<int, std::array<int, 4>> moved_;
  std::optional<std::array<int, 4>> placement_;
  std::optional<int> result_;
  std::map<int, std::vector<int>> icons_;
  struct PageRecord {
    std::unique_ptr<FakeDialog> dialog;
    DialogController* controller = nullptr;
    int tab_control_id = -1;
  };
  std::map<int, PageRecord> pages_;
  bool is_page_ = false;
  std::optional<int> last_page_result_;
};

class FakeWindow : public Window {
 public:
  struct TimerEvent {
    bool started;  // false: killed
    int timer_id;
    int period_ms;
  };
  struct Box {
    std::string text;
    std::string caption;
    MessageBoxButtons buttons;
    MessageBoxResult result;
  };
  // One DrawPicture call: where it went and the picture's shape.
  struct Drawing {
    VideoTarget target;
    int width;
    int height;
    bool bottom_up;
  };
  using DialogScript = std::function<void(FakeDialog&, DialogController&)>;

  FakeWindow();

  // Window
  void StartTimer(int timer_id, int period_ms) override;
  void KillTimer(int timer_id) override;
  void ShowControl(int control_id, bool visible) override;
  bool IsControlVisible(int control_id) const override;
  void SetControlText(int control_id, std::string_view text) override;
  std::string ControlText(int control_id) const override;
  void ListAppend(int control_id, std::string_view line) override;
  void ListClear(int control_id) override;
  void SetButtonImage(int command_id, int image_index) override;
  void Invalidate() override;
  void DrawPicture(VideoTarget target, const BgrPicture& picture) override;
  using Window::ShowMessageBox;
  MessageBoxResult ShowMessageBox(std::string_view text, std::string_view caption,
                                  MessageBoxButtons buttons, std::stop_token cancel) override;
  bool CloseMessageBox(std::string_view caption) override;
  int RunDialog(int dialog_id, DialogController& controller) override;
  void MessageBeep(BeepKind kind) override;
  void Alert(int duration_ms) override;
  void ShowNotice(std::string_view text, int duration_ms) override;
  ClientSize GetClientSize() const override;

  // Scripting.
  void SetClientSize(int width, int height);
  void AnswerBoxes(std::string_view caption, std::vector<MessageBoxResult> answers);
  void AnswerNextBoxes(std::vector<MessageBoxResult> answers);
  void HoldBoxes(std::string_view caption);
  // Ends a held box with `result`; false when none with that caption is held.
  bool ReleaseBox(std::string_view caption, MessageBoxResult result);
  // Waits (up to `timeout_ms`) until a box with this caption is held open.
  bool WaitForHeldBox(std::string_view caption, int timeout_ms);
  void ScriptDialog(int dialog_id, DialogScript script);
  // Drops what has been recorded (boxes, timer log, lists, drawings, beeps, alerts),
  // keeping the scripting: long runs such as the fuzzers stay bounded.
  void ForgetRecords();

  // Inspection.
  bool IsTimerRunning(int timer_id) const;
  std::optional<int> TimerPeriod(int timer_id) const;
  std::vector<TimerEvent> TimerLog() const;
  std::vector<std::string> List(int control_id) const;
  std::optional<int> ButtonImage(int command_id) const;
  int invalidate_count() const;
  int pictures_drawn(VideoTarget target) const;
  std::vector<Drawing> Drawings() const;  // every picture drawn, in order of drawing
  // The pixels of the last picture drawn to `target`: `width` x 3 bytes a row (no stride
  // padding), rows in memory order. Empty before the first.
  std::vector<uint8_t> LastPicture(VideoTarget target) const;
  std::vector<Box> Boxes() const;  // answered boxes, in order of showing
  std::vector<int> DialogsRun() const;
  std::vector<BeepKind> Beeps() const;
  int alert_count() const;
  std::vector<int> Alerts() const;  // durations of the alerts, in order
  struct Notice {
    std::string text;
    int duration_ms;
  };
  std::vector<Notice> Notices() const;  // in order of showing

 private:
  struct HeldBox {
    std::string caption;
    std::optional<MessageBoxResult> result;
  };

  mutable std::mutex mutex_;
  std::condition_variable held_changed_;
  ClientSize client_size_{240, 320};
  std::map<int, int> timers_;
  std::vector<TimerEvent> timer_log_;
  std::map<int, std::string> texts_;
  std::map<int, bool> visible_;
  std::map<int, std::vector<std::string>> lists_;
  std::map<int, int> button_images_;
  int invalidate_count_ = 0;
  int pictures_drawn_[2] = {0, 0};
  std::vector<Drawing> drawings_;
  std::array<std::vector<uint8_t>, 2> last_pictures_;
  std::map<std::string, std::deque<MessageBoxResult>, std::less<>> answers_by_caption_;
  std::deque<MessageBoxResult> answers_in_order_;
  std::vector<std::string> hold_captions_;
  std::vector<HeldBox*> held_;
  std::vector<Box> boxes_;
  std::map<int, DialogScript> dialog_scripts_;
  std::vector<int> dialogs_run_;
  std::vector<BeepKind> beeps_;
  std::vector<int> alerts_;
  std::vector<Notice> notices_;
};

}  // namespace kestrelio
