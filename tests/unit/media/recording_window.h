// A Window that records what the media code asks of it: message boxes and painted
// pictures (copied, as the real window does). Message boxes answer OK at once.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "ui/window.h"

namespace kestrelio::testing {

class RecordingWindow : public Window {
 public:
  struct Box {
    std::string text;
    std::string caption;
  };
  struct Painted {
    VideoTarget target;
    int width;
    int height;
    bool bottom_up;
    std::vector<uint8_t> rows;  // width x 3 bytes a row, in memory order
  };

  void StartTimer(int, int) override {}
  void KillTimer(int) override {}
  void ShowControl(int, bool) override {}
  bool IsControlVisible(int) const override { return false; }
  void SetControlText(int, std::string_view) override {}
  std::string ControlText(int) const override { return {}; }
  void ListAppend(int, std::string_view) override {}
  void ListClear(int) override {}
  void SetButtonImage(int, int) override {}
  void Invalidate() override { ++invalidations; }
  void DrawPicture(VideoTarget target, const BgrPicture& picture) override {
    Painted p{target, picture.width, picture.height, picture.bottom_up, {}};
    for (int r = 0; r < picture.height; ++r) {
      const uint8_t* row = picture.bytes + r * picture.stride;
      p.rows.insert(p.rows.end(), row, row + picture.width * 3);
    }
    std::lock_guard lock(mutex);
    painted.push_back(std::move(p));
  }
  MessageBoxResult ShowMessageBox(std::string_view text, std::string_view caption,
                                  MessageBoxButtons) override {
    std::lock_guard lock(mutex);
    boxes.push_back(Box{std::string(text), std::string(caption)});
    return MessageBoxResult::kOk;
  }
  bool CloseMessageBox(std::string_view) override { return false; }
  int RunDialog(int, DialogController&) override { return 0; }
  void MessageBeep(BeepKind) override {}
  void Alert(int) override {}
  ClientSize GetClientSize() const override { return {240, 320}; }

  size_t PaintedCount(VideoTarget target) {
    std::lock_guard lock(mutex);
    size_t n = 0;
    for (const auto& p : painted) n += p.target == target ? 1 : 0;
    return n;
  }

  std::mutex mutex;
  std::vector<Box> boxes;
  std::vector<Painted> painted;
  std::atomic<int> invalidations{0};
};

}  // namespace kestrelio::testing
