// ConsoleWindow: the Window a command-line media tool hands to the media code. It paints
// nothing and allocates nothing, so it neither slows nor shows up in what a tool
// measures; a message box is printed to stderr and answered OK at once. A tool that
// wants to see the pictures overrides DrawPicture. (Tests use FakeWindow,
// which records everything and so allocates as it goes.)
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "base/window/window.h"

namespace kestrelio::bench {

class ConsoleWindow : public Window {
 public:
  void StartTimer(int, int) override {}
  void KillTimer(int) override {}
  void ShowControl(int, bool) override {}
  bool IsControlVisible(int) const override { return false; }
  void SetControlText(int, std::string_view) override {}
  std::string ControlText(int) const override { return {}; }
  void ListAppend(int, std::string_view) override {}
  void ListClear(int) override {}
  void SetButtonImage(int, int) override {}
  void Invalidate() override {}
  void DrawPicture(VideoTarget, const BgrPicture&) override {}
  using Window::ShowMessageBox;
  MessageBoxResult ShowMessageBox(std::string_view text, std::string_view caption,
                                  MessageBoxButtons, std::stop_token) override {
    std::fprintf(stderr, "message box %.*s: %.*s\n", static_cast<int>(caption.size()),
                 caption.data(), static_cast<int>(text.size()), text.data());
    return MessageBoxResult::kOk;
  }
  bool CloseMessageBox(std::string_view) override { return false; }
  int RunDialog(int, DialogController&) override { return 0; }
  void MessageBeep(BeepKind) override {}
  void Alert(int) override {}
  void ShowNotice(std::string_view, int) override {}
  ClientSize GetClientSize() const override { return {}; }
};

}  // namespace kestrelio::bench
