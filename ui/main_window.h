// The main window in Qt Widgets: the client area with its child controls and video
// pictures, the bottom soft-key bar with the File menu, accelerators, timers, message
// boxes and dialogs. Implements Window for every other module; its own behaviour lives in
// MainWindowLogic.
//
// Threads: widgets are touched only on the GUI thread. Every Window method may be called
// from any thread: work is posted to the GUI thread, reads come from a mutex-protected
// snapshot of control texts and visibility. A message box or dialog asked for by a
// worker blocks only that worker; on the GUI thread it runs modally.
//
// Use from the handset context:
//   MainWindow main_window(call_flags, view_flags);
//   main_window.SetHandler(&handler);      // commands, timers, "textlognotify", shutdown
//   Window& window = main_window.window();  // hand this to the other modules
//   main_window.InitialiseForStartUp();    // start-up state: view 1, chat hidden, status line on
//   main_window.show();
//   int code = RunEventLoop();             // 0 after Exit
#pragma once

#include <QImage>
#include <QJsonObject>
#include <QPixmap>
#include <QPointer>
#include <QWidget>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/event.h"
#include "base/state/call_flags.h"
#include "base/state/media_statistics.h"
#include "base/state/view_flags.h"
#include "base/window/window.h"
#include "ui/main_window_logic.h"
#include "ui/picture_scaler.h"
#include "ui/window_geometry.h"

class QAction;
class QPainter;
class QLabel;
class QListWidget;
class QLineEdit;
class QMessageBox;
class QTimer;
class QToolBar;

namespace kestrelio {

class ClientArea;
class RepaintWake;
class RingAttention;
class StatsOverlay;
class TemplateDialog;

// What the remote control and tests see of an open message box.
struct OpenBoxInfo {
  std::string caption;
  std::string text;
  MessageBoxButtons buttons;
};

class MainWindow : public QWidget, public Window, private WindowShell {
  Q_OBJECT

 public:
  MainWindow(CallFlags& call_flags, ViewFlags& view_flags);
  ~MainWindow() override;

  void SetHandler(WindowHandler* handler) { logic_.SetHandler(handler); }
  Window& window() { return *this; }
  MainWindowLogic& logic() { return logic_; }
  void InitialiseForStartUp() { logic_.InitialiseForStartUp(); }
  // The call's media figures: the overlay shows them, painting adds to them.
  void SetMediaStatistics(MediaStatistics* statistics);
  // Runs a command as if its button were pressed (GUI thread).
  void Command(int command_id) { logic_.OnCommand(command_id); }
  // Brings the window to the front (a second start asked for it).
  void Raise();
  // Closes the window: releases waiting workers, runs the handler's OnDestroy, ends the
  // event loop with 0. Safe to call more than once.
  void Close();

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

  // For the remote control (GUI thread).
  std::vector<OpenBoxInfo> OpenBoxes() const;
  // Presses `result`'s button on the first open box with this caption; false when there
  // is none or it has no such button.
  bool AnswerBox(std::string_view caption, MessageBoxResult result);
  std::vector<TemplateDialog*> OpenDialogs() const;
  // Window state as JSON text pieces are built by main_window_state.cc.
  QJsonObject StateJson() const;
  bool SaveScreenshot(const QString& path);
  // Called with caption and text whenever a message box opens (GUI thread).
  void SetBoxOpenedListener(std::function<void(const OpenBoxInfo&)> listener) {
    box_opened_ = std::move(listener);
  }

  // Painting support for ClientArea (GUI thread).
  void PaintClient(QPainter& painter);

  // Desktop placement (GUI thread). Before show: takes `saved` when it fits on a present
  // screen, else keeps the opening size (a whole multiple of the phone's size).
  void PlaceAtOpening(const std::optional<ScreenRect>& saved);
  // Where the window is now, to remember for the next run.
  ScreenRect Placement() const;
  // Told where the window is a second after the person last moved or resized it, so the
  // place survives a run that does not end normally.
  void SetPlacementListener(std::function<void(const ScreenRect&)> listener) {
    placement_listener_ = std::move(listener);
  }
  int layout_scale() const { return scale_.load(); }
  // The client area in real pixels (GetClientSize is in phone pixels).
  std::optional<ClientSize> ClientPixels() const override;
  // Smooth (true) or nearest-neighbour stretching of the pictures; the File menu's
  // "Smooth pictures" item toggles it and tells the listener.
  void SetSmoothPictures(bool on);
  bool smooth_pictures() const { return smooth_pictures_; }
  void SetSmoothPicturesListener(std::function<void(bool)> listener) {
    smooth_listener_ = std::move(listener);
  }
  const RingAttention& ring_attention() const { return *ring_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void moveEvent(QMoveEvent* event) override;

 private:
  void PlacementChanged();
  struct BoxRecord;
  struct DialogRequest;
  struct ControlState {
    std::string text;
    bool visible = true;
  };
  struct Picture {
    std::mutex mutex;
    QImage image;  // RGB32, upright, at the shown size; made again only when that changes
    PictureScaler scaler;
    // Where the picture goes, in device pixels, and how it is scaled (set by the GUI
    // thread, read by the display thread).
    int shown_width = 0;
    int shown_height = 0;
    bool smooth = true;
    bool valid = false;
    uint32_t serial = 0;          // pictures handed over
    uint32_t painted_serial = 0;  // the last one painted
    uint32_t arrival_ms = 0;      // when the picture's data arrived
  };

  // WindowShell
  void ApplyLayout(const Layout& layout) override;
  void FocusChatInput() override;
  void RequestClose() override { Close(); }
  int LayoutScale() const override;

  // Soft-key icons, control fonts and bar height for a layout scale.
  void ApplyScale(int scale);
  QPixmap SoftKeyPixmap(int image_index) const;
  // The status line's font shrinks until its whole text fits; the text is its tooltip.
  void FitStatusLine();
  void WatchIncomingPrompt(QMessageBox* box, const OpenBoxInfo& info);

  bool OnGuiThread() const;
  void PostToGui(std::function<void()> work);
  // Queues `work` for the GUI thread, in order. The work itself waits in our own queue
  // under a mutex and Qt is asked only to call RunGuiQueue: the hand-off is then one
  // that ThreadSanitizer can see, since it cannot see into Qt's event queue.
  void QueueOnGui(std::function<void()> work);
  Q_INVOKABLE void RunGuiQueue();
  void BuildClientControls();
  void BuildSoftKeyBar();
  void ApplyControlText(int control_id);
  void ApplyControlVisible(int control_id);
  void OnTimerFired(int timer_id);
  // On the GUI thread runs open(modal=true); from a worker posts open(modal=false) to the
  // GUI thread and waits for `done`.
  void OpenAndWait(Event& done, const std::function<void(bool modal)>& open);
  void OpenBox(const std::shared_ptr<BoxRecord>& record, bool modal);
  // The first unfinished box with this caption, or null.
  std::shared_ptr<BoxRecord> FindOpenBox(std::string_view caption) const;
  void FinishBox(BoxRecord& record, MessageBoxResult result);
  void OpenDialog(const std::shared_ptr<DialogRequest>& request, bool modal);
  // Records the dialog's result, drops it from dialog_requests_ and wakes its waiter; once.
  void FinishDialog(DialogRequest& request, int result);
  void ReleaseWaiters();
  void OnClientResized(int width, int height);
  // The notice over the top of the client area: made on first use, sized to its text.
  void ApplyNotice(const QString& text, int duration_ms);
  void PlaceNotice();
  // After the pictures: counts a newly painted peer picture, then the statistics overlay.
  void PaintCallStatistics(QPainter& painter, const QRect& primary);

  friend class ClientArea;

  CallFlags& call_flags_;
  ViewFlags& view_flags_;
  MainWindowLogic logic_;
  ClientArea* client_ = nullptr;
  QToolBar* bar_ = nullptr;
  std::map<int, QWidget*> controls_;
  std::map<int, QAction*> soft_keys_;
  std::map<int, int> button_images_;  // GUI thread
  std::map<int, QTimer*> timers_;     // GUI thread
  QImage idle_bitmap_, own_bitmap_, paused_bitmap_;
  QLabel* notice_ = nullptr;        // GUI thread
  QTimer* notice_timer_ = nullptr;  // GUI thread
  Layout layout_;                   // GUI thread: the rectangles painting uses

  mutable std::mutex state_mutex_;  // guards the snapshot below
  std::map<int, ControlState> control_state_;
  std::map<int, std::vector<std::string>> lists_;
  std::string notice_text_;  // "" when no notice shows
  std::atomic<int> client_width_{0};
  std::atomic<int> client_height_{0};

  Picture pictures_[2];  // the peer's (primary), then the own (secondary)
  const VideoRect& PictureRect(int index) const {
    return index == 0 ? layout_.primary : layout_.secondary;
  }
  // What a repaint must cover, gathered from other threads until the GUI thread runs.
  static constexpr uint32_t kDirtyAll = 1, kDirtyPrimary = 2, kDirtySecondary = 4;
  void MarkDirty(uint32_t parts);
  void UpdateDirty(uint32_t parts);  // GUI thread
  std::atomic<uint32_t> dirty_{0};
  std::atomic<bool> repaint_posted_{false};
  RepaintWake* repaint_wake_ = nullptr;    // GUI thread object; Wake from any thread
  StatsOverlay* stats_overlay_ = nullptr;  // GUI thread
  MediaStatistics* statistics_ = nullptr;
  std::mutex gui_queue_mutex_;  // guards gui_queue_
  std::deque<std::function<void()>> gui_queue_;

  mutable std::mutex boxes_mutex_;  // guards boxes_, dialogs_ and closing_
  std::vector<std::shared_ptr<BoxRecord>> boxes_;
  std::vector<std::shared_ptr<DialogRequest>> dialog_requests_;
  std::vector<QPointer<TemplateDialog>> dialogs_;
  bool closing_ = false;
  std::atomic<int> next_box_serial_{1};

  std::function<void(const OpenBoxInfo&)> box_opened_;

  // Desktop scale and picture quality (GUI thread).
  std::atomic<int> scale_{1};  // read by GetClientSize from any thread
  int bar_base_height_ = 0;    // the soft-key bar's height at scale 1
  int base_font_px_ = 12;      // the controls' font size at scale 1
  bool smooth_pictures_ = true;
  void SetShownPictureSizes();
  QAction* smooth_action_ = nullptr;
  std::function<void(bool)> smooth_listener_;
  std::function<void(const ScreenRect&)> placement_listener_;
  QTimer* placement_timer_ = nullptr;  // settles a move or resize before it is saved
  std::unique_ptr<RingAttention> ring_;
};

// QApplication::exec(); returns the exit code (0 after Exit).
int RunEventLoop();

}  // namespace kestrelio
