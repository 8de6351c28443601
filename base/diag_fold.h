// Folding of repeated diagnostic lines and the size-bounded diagnostic log file, the
// two pieces that keep outside input from growing diagnostic.log without end. Used by
// the logger in diag.cc; separate so that tests can step the clock and shrink the size.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace kestrelio {

// Lines from one call site (one format string) are "like" each other. Of those, the
// first kBurst in every kWindowMs are written; the rest are only counted, and the count
// is reported once ("… N more like this") when the window has passed: by the next line
// of that kind, or by Expired() on any later line.
class DiagFolder {
 public:
  static constexpr uint32_t kBurst = 5;
  static constexpr uint64_t kWindowMs = 10000;
  static constexpr size_t kKinds = 32;

  struct Folded {
    const char* format;
    uint32_t count;
  };

  // Whether a line of this kind is written now. `folded` receives the count of lines of
  // this kind left out before it (0 for none), to be reported ahead of it.
  bool Admit(const char* format, uint64_t now_ms, uint32_t* folded);
  using FoldedList = std::array<Folded, kKinds>;
  // Kinds whose window has passed with lines left out, into `out` (their counts are
  // reset); returns how many. Allocates nothing: diagnostics are on per-datagram paths.
  size_t Expired(uint64_t now_ms, FoldedList& out);
  // Every count still open, whatever the time (the log is closing).
  size_t TakeAll(FoldedList& out);

 private:
  struct Kind {
    const char* format = nullptr;
    uint64_t window_start_ms = 0;
    uint32_t in_window = 0;
    uint32_t left_out = 0;
  };
  std::array<Kind, kKinds> kinds_{};
};

// The line that reports folded lines, into `text`: "… N more like this (format)".
void FormatFoldedLine(const DiagFolder::Folded& folded, char* text, size_t size);

// An append-only log file that never grows beyond `max_bytes`: when a line would take
// it past that, the file is renamed to "<path>.1" (replacing an older one) and a new
// file is started, so at most twice the limit is kept on disk.
class RotatingLogFile {
 public:
  static constexpr int64_t kDefaultMaxBytes = 5 * 1024 * 1024;

  RotatingLogFile(std::string path, int64_t max_bytes = kDefaultMaxBytes);
  ~RotatingLogFile();
  RotatingLogFile(const RotatingLogFile&) = delete;
  RotatingLogFile& operator=(const RotatingLogFile&) = delete;

  bool is_open() const { return file_ != nullptr; }
  // Writes the line and a line end, flushed.
  void WriteLine(std::string_view line);

 private:
  void Rotate();

  std::string path_;
  int64_t max_bytes_;
  std::FILE* file_ = nullptr;
  int64_t size_ = 0;
};

}  // namespace kestrelio
