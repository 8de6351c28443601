// The decoder library's log lines for the diagnostic output. The library hands its log
// over in pieces (one call may end mid-line); the pieces of one decoder are gathered
// until the line ends, so that each line is written once with one "[ffmpeg] " prefix,
// also when the text itself already begins with it.
//
//   LibraryLogLines lines;           // one per decoder context (its opaque pointer)
//   lines.Add("error at MB ");       // nothing written yet
//   lines.Add("3 4\n");              // "[ffmpeg] error at MB 3 4"
#pragma once

#include <array>
#include <cstddef>
#include <mutex>
#include <string_view>

namespace kestrelio {

inline constexpr std::string_view kLibraryLogPrefix = "[ffmpeg] ";

// Writes one line with the prefix once; a trailing line end is dropped.
void WriteLibraryLogLine(std::string_view line);

class LibraryLogLines {
 public:
  static constexpr size_t kMaxLine = 512;

  // Any thread; allocates nothing. A line longer than kMaxLine is written in parts.
  void Add(std::string_view piece);
  // Writes what is gathered (the decoder closes).
  void Flush();

 private:
  void FlushLocked();

  std::mutex mutex_;
  std::array<char, kMaxLine> line_{};
  size_t size_ = 0;  // under mutex_
};

}  // namespace kestrelio
