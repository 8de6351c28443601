// What the main window hands to the handset context: every command and timer it does
// not handle itself, the "textlognotify" message, and its end.
#pragma once

namespace kestrelio {

class WindowHandler {
 public:
  virtual ~WindowHandler() = default;
  // Commands the window does not handle itself: 110 dial (never while "Calling" is
  // shown), 111, 112 (after the window toggled the own-video-paused flag), 127, 145, 155,
  // 32782, 32803, 32807, 32811, 32813, and unknown ids.
  virtual void OnCommand(int command_id) = 0;
  // Timers 125, 138, 139, 2002, 2003 and any other id the window does not own. Every
  // timer but 125 has already been killed when this runs, as its handler requires.
  virtual void OnTimer(int timer_id) = 0;
  // Another program reports a sent (0) or received (1) text message; other values are
  // passed on unchanged and must be ignored by the handler.
  virtual void OnTextLogNotify(int wparam) = 0;
  // The status line was turned on: rebuild its text now.
  virtual void OnStatusLineShown() {}
  // The window is closing (Exit, Ctrl+Q, the window manager): run the ordered shutdown.
  // The event loop ends with exit code 0 when this returns.
  virtual void OnDestroy() = 0;
};

}  // namespace kestrelio
