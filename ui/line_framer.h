// Splits a byte stream into lines, with a bound on the length of one line. Qt-free, for
// the remote-control socket and its fuzzer.
//
// Every line is handed out, in order. A line longer than the bound is handed out once,
// as too long, as soon as it passes the bound (so its sender hears at once); the rest of
// it, up to its line end, is skipped without being kept, and the lines after it are
// handed out as usual, also when they came in the same read. At most one bound's worth
// of bytes is ever kept.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kestrelio {

class LineFramer {
 public:
  struct Piece {
    bool too_long = false;
    std::string line;  // without its '\n'; empty when too long
  };

  explicit LineFramer(size_t max_line_bytes) : max_line_bytes_(max_line_bytes) {}

  // Takes the next bytes and returns the lines they complete. Lines of only blanks are
  // left out.
  std::vector<Piece> Feed(std::string_view bytes);

  size_t buffered() const { return buffer_.size(); }
  // Inside a too-long line, waiting for its end.
  bool skipping() const { return skipping_; }

 private:
  size_t max_line_bytes_;
  std::string buffer_;  // the unfinished line, at most max_line_bytes_
  bool skipping_ = false;
};

}  // namespace kestrelio
