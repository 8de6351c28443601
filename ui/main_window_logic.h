// The main window's own behaviour, free of Qt: view mode, chat panel, status line,
// "Calling" indicator, the window-local commands and timers, and the dispatch of
// everything else to the handset's WindowHandler. Runs on the GUI thread only; it works
// against the Window interface, so tests drive it with the recording fake.
#pragma once

#include <optional>

#include "base/state/view_flags.h"
#include "base/window/window.h"
#include "base/window/window_handler.h"
#include "ui/layout.h"

namespace kestrelio {

// What the logic needs from the real window beyond the Window interface.
class WindowShell {
 public:
  virtual ~WindowShell() = default;
  // Moves the child controls and adopts the video rectangles, then repaints.
  virtual void ApplyLayout(const Layout& layout) = 0;
  // Focus on the chat edit (122) with all its text selected.
  virtual void FocusChatInput() = 0;
  // Close the window: the handler's OnDestroy runs, then the event loop ends.
  virtual void RequestClose() = 0;
  // The whole-number scale the window lays out at (1: phone size).
  virtual int LayoutScale() const { return 1; }
  // The client area in real pixels, where that differs from Window::GetClientSize (which
  // is in phone pixels, for placing dialogs).
  virtual std::optional<ClientSize> ClientPixels() const { return std::nullopt; }
};

class MainWindowLogic {
 public:
  // `shell` may be null (tests that do not look at placement).
  MainWindowLogic(Window& window, ViewFlags& view_flags, WindowShell* shell);

  void SetHandler(WindowHandler* handler) { handler_ = handler; }
  WindowHandler* handler() const { return handler_; }

  // The window's state right after creation: chat hidden, "Calling" hidden, view mode 1
  // with button image 6, laid out, both paused flags clear, status line shown.
  void InitialiseForStartUp();

  void OnCommand(int command_id);
  void OnTimer(int timer_id);
  void OnTextLogNotify(int wparam);
  // The client area changed size: lay out again.
  void OnResize();

  void SetChatPanelMode(int mode);
  void SetStatusLine(bool on);
  void ShowCalling(bool on);
  void RunLayout();

  int view_mode() const { return view_flags_.view_mode.load(std::memory_order_relaxed); }
  int chat_mode() const { return chat_mode_; }
  bool chat_shown() const { return chat_shown_; }
  bool status_line_on() const { return status_line_on_; }
  // The layout in client pixels, stretched to the window's scale.
  const Layout& layout() const { return layout_; }

 private:
  void NextViewMode();
  void ToggleChatPanel();
  void CallingAnimationStep();
  void ChatBlinkStep();

  Window& window_;
  ViewFlags& view_flags_;
  WindowShell* shell_;
  WindowHandler* handler_ = nullptr;
  int chat_mode_ = 0;
  bool chat_shown_ = false;
  bool blink_state_ = false;
  bool status_line_on_ = true;
  Layout logical_layout_;  // at phone size: what the next layout keeps unchanged
  Layout layout_;
};

}  // namespace kestrelio
