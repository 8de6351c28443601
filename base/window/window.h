// The narrow interface through which call control, signalling, media and study code
// reach the main window. None of them touch Qt.
//
// Any thread may call any method. Work that must happen on the GUI thread is posted
// there. ShowMessageBox and RunDialog block the calling thread until the user answers;
// when the caller is a worker thread the GUI stays live meanwhile.
#pragma once

#include <cstdint>
#include <stop_token>
#include <string>
#include <string_view>

namespace kestrelio {

struct ClientSize {
  int width = 0;
  int height = 0;
};

enum class MessageBoxButtons { kOk, kYesNo };
enum class MessageBoxResult { kOk, kYes, kNo, kClosed };
enum class BeepKind { kDefault, kQuestion, kExclamation, kError };

// Where the video display thread paints: the primary rectangle holds the peer's
// picture, the secondary one the own preview.
enum class VideoTarget { kPrimary, kSecondary };

// A 24-bit picture, three bytes B, G, R a pixel, rows of `stride` bytes. When
// `bottom_up` is set the first row in memory is the bottom row on screen.
struct BgrPicture {
  const uint8_t* bytes = nullptr;
  int width = 0;
  int height = 0;
  int stride = 0;
  bool bottom_up = true;
  // Tick count at which the picture's data arrived from the network (peer pictures);
  // 0 when unknown.
  uint32_t arrival_ms = 0;
};

class DialogController;

// The controls of a modal dialog, as its controller sees them. Valid only during the
// controller's callbacks, which run on the GUI thread.
class DialogAccess {
 public:
  virtual ~DialogAccess() = default;
  virtual std::string Text(int control_id) const = 0;
  virtual void SetText(int control_id, std::string_view text) = 0;
  virtual void Show(int control_id, bool visible) = 0;
  virtual void ListAppend(int control_id, std::string_view line) = 0;
  virtual void ListClear(int control_id) = 0;
  virtual int ListSelection(int control_id) const = 0;  // -1 when none
  virtual bool IsChecked(int control_id) const = 0;
  virtual void SetChecked(int control_id, bool checked) = 0;
  // Closes the dialog; RunDialog returns `result`.
  virtual void End(int result) = 0;
  // Selects item `index` of a list box, drop-down list or tab control (-1: none).
  virtual void SetListSelection(int /*control_id*/, int /*index*/) {}
  virtual void SetEnabled(int /*control_id*/, bool /*enabled*/) {}
  // Moves a control, in pixels relative to the dialog.
  virtual void MoveControl(int /*control_id*/, int /*x*/, int /*y*/, int /*width*/,
                           int /*height*/) {}
  // Places the dialog in pixels relative to the main window's client area.
  virtual void Place(int /*x*/, int /*y*/, int /*width*/, int /*height*/) {}
  // An owner-drawn list item: `text` with the picture `icon_bitmap_id` (a bitmap resource
  // id) drawn at its top-left corner.
  virtual void ListAppendWithIcon(int control_id, std::string_view text, int /*icon_bitmap_id*/) {
    ListAppend(control_id, text);
  }
  // A modeless child page built from template `page_dialog_id`, laid over the display
  // area of tab control `tab_control_id` and driven by `controller`, which must outlive
  // the dialog. The page starts hidden; End on the page hides it again. False when the
  // page cannot be made.
  virtual bool OpenPage(int /*page_dialog_id*/, int /*tab_control_id*/,
                        DialogController& /*controller*/) {
    return false;
  }
  virtual void ShowPage(int /*page_dialog_id*/, bool /*visible*/) {}
};

// Behaviour of one modal dialog: the template (controls and rectangles) comes from
// resources/, what the buttons do comes from here.
class DialogController {
 public:
  virtual ~DialogController() = default;
  virtual void OnInit(DialogAccess& dialog) = 0;
  // A button press or list activation on `control_id` (IDOK = 1, IDCANCEL = 2).
  virtual void OnCommand(DialogAccess& dialog, int control_id) = 0;
  // A dialog timer started with Window::StartDialogTimer fired.
  virtual void OnTimer(DialogAccess& /*dialog*/, int /*timer_id*/) {}
  // The main window changed size (the handset was turned): a dialog that places itself
  // relative to the main window places itself again.
  virtual void OnOwnerResized(DialogAccess& /*dialog*/) {}
  // The dialog window's close button or Escape. Most dialogs treat it as IDCANCEL (2);
  // one whose control 2 is an answer of its own (the Missed Call dialog's "Dismiss")
  // tells the two apart here.
  virtual void OnClose(DialogAccess& dialog) { OnCommand(dialog, 2); }
};

class Window {
 public:
  virtual ~Window() = default;

  // Timers: starting an id that runs restarts it with the new period. Expiry is
  // delivered on the GUI thread to the window's timer handler.
  virtual void StartTimer(int timer_id, int period_ms) = 0;
  virtual void KillTimer(int timer_id) = 0;

  // Child controls of the main window, by id.
  virtual void ShowControl(int control_id, bool visible) = 0;
  virtual bool IsControlVisible(int control_id) const = 0;
  virtual void SetControlText(int control_id, std::string_view text) = 0;
  virtual std::string ControlText(int control_id) const = 0;
  virtual void ListAppend(int control_id, std::string_view line) = 0;
  virtual void ListClear(int control_id) = 0;

  // Soft-key bar button images, by the button's command id.
  virtual void SetButtonImage(int command_id, int image_index) = 0;

  // Repaint the whole window (placeholders and layout-dependent drawing).
  virtual void Invalidate() = 0;

  // Paints `picture` stretched into the target video rectangle. The picture is copied
  // before the call returns, so the caller may reuse its buffer at once.
  virtual void DrawPicture(VideoTarget target, const BgrPicture& picture) = 0;

  // A modal box owned by the main window; blocks the caller until answered or closed.
  MessageBoxResult ShowMessageBox(std::string_view text, std::string_view caption,
                                  MessageBoxButtons buttons) {
    return ShowMessageBox(text, caption, buttons, std::stop_token());
  }
  // The same, also closed (result kClosed) when `cancel` is asked to stop: a worker
  // passes its own stop token, so stopping the worker never waits for a person.
  virtual MessageBoxResult ShowMessageBox(std::string_view text, std::string_view caption,
                                          MessageBoxButtons buttons, std::stop_token cancel) = 0;
  // Closes an open box with this caption as if dismissed (result kClosed); returns
  // whether one was found.
  virtual bool CloseMessageBox(std::string_view caption) = 0;

  // Runs dialog `dialog_id` modally with `controller`; returns the value passed to End.
  virtual int RunDialog(int dialog_id, DialogController& controller) = 0;

  virtual void MessageBeep(BeepKind kind) = 0;
  // Draws the user's attention (the desktop's stand-in for a vibrator pulse).
  virtual void Alert(int duration_ms) = 0;
  // A short notice laid over the top of the pictures that goes away by itself after
  // `duration_ms`; it takes no input and hides no control. A later notice replaces it.
  // Never blocks: network threads use it.
  virtual void ShowNotice(std::string_view text, int duration_ms) = 0;

  // The client area in phone pixels: a window shown at a whole multiple of the phone's
  // size reports its size divided by that multiple, and dialogs are placed in these units.
  virtual ClientSize GetClientSize() const = 0;
};

}  // namespace kestrelio
