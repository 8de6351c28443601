// The diagnostic lines written while it lives, kept in a scratch file, so that a test can
// wait for the line a module writes when it drops something: the event that says the
// input has been dealt with.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "base/diag.h"
#include "tests/support/wait.h"

namespace kestrelio::testing {

class DiagCapture {
 public:
  DiagCapture() : path_(MakeFile()), scope_(path_) {}
  ~DiagCapture() {
    std::error_code error;
    std::filesystem::remove(path_, error);
  }
  DiagCapture(const DiagCapture&) = delete;
  DiagCapture& operator=(const DiagCapture&) = delete;

  std::string Text() const {
    std::ifstream in(path_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  bool Contains(std::string_view text) const { return Text().find(text) != std::string::npos; }
  // Waits (bounded) until a line holding `text` has been written.
  bool WaitForText(std::string_view text, int timeout_ms = 5000) const {
    return WaitFor([&] { return Contains(text); }, timeout_ms, 2);
  }

 private:
  static std::string MakeFile() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kestrelio-diag-XXXXXX");
    const int fd = ::mkstemp(pattern.data());
    if (fd >= 0) ::close(fd);
    return pattern;
  }

  std::string path_;
  DiagFileScope scope_;
};

}  // namespace kestrelio::testing
