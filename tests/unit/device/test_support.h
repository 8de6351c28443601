// Helpers for the device tests: a scratch folder and a Window that records.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "ui/window.h"

namespace kestrelio {

class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kestrelio-test-XXXXXX");
    char* made = ::mkdtemp(pattern.data());
    path_ = made != nullptr ? made : "";
  }
  ~ScratchDir() {
    std::error_code error;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, error);
    std::filesystem::remove_all(path_, error);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  std::string Write(const std::string& name, const std::string& text) const {
    std::string file = File(name);
    std::filesystem::create_directories(std::filesystem::path(file).parent_path());
    std::ofstream(file, std::ios::binary) << text;
    return file;
  }
  static std::string Read(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

 private:
  std::string path_;
};

// Records message boxes and alerts; everything else is inert.
class RecordingWindow : public Window {
 public:
  struct Box {
    std::string text;
    std::string caption;
  };

  std::vector<Box> boxes() const {
    std::lock_guard lock(mutex_);
    return boxes_;
  }
  std::vector<int> alerts() const {
    std::lock_guard lock(mutex_);
    return alerts_;
  }

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
  MessageBoxResult ShowMessageBox(std::string_view text, std::string_view caption,
                                  MessageBoxButtons) override {
    std::lock_guard lock(mutex_);
    boxes_.push_back({std::string(text), std::string(caption)});
    return MessageBoxResult::kOk;
  }
  bool CloseMessageBox(std::string_view) override { return false; }
  int RunDialog(int, DialogController&) override { return 0; }
  void MessageBeep(BeepKind) override {}
  void Alert(int duration_ms) override {
    std::lock_guard lock(mutex_);
    alerts_.push_back(duration_ms);
  }
  ClientSize GetClientSize() const override { return {240, 320}; }

 private:
  mutable std::mutex mutex_;
  std::vector<Box> boxes_;
  std::vector<int> alerts_;
};

}  // namespace kestrelio
