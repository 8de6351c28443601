#include "media/library_log.h"

#include "base/diag.h"

namespace kestrelio {

void WriteLibraryLogLine(std::string_view line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  if (line.starts_with(kLibraryLogPrefix)) line.remove_prefix(kLibraryLogPrefix.size());
  Diag("%.*s%.*s", static_cast<int>(kLibraryLogPrefix.size()), kLibraryLogPrefix.data(),
       static_cast<int>(line.size()), line.data());
}

void LibraryLogLines::Add(std::string_view piece) {
  std::lock_guard lock(mutex_);
  while (!piece.empty()) {
    const size_t end = piece.find('\n');
    const std::string_view part = piece.substr(0, end);
    size_t taken = 0;
    while (taken < part.size()) {
      if (size_ == line_.size()) FlushLocked();
      const size_t room = line_.size() - size_;
      const size_t n = part.size() - taken < room ? part.size() - taken : room;
      part.copy(line_.data() + size_, n, taken);
      size_ += n;
      taken += n;
    }
    if (end == std::string_view::npos) return;
    FlushLocked();
    piece.remove_prefix(end + 1);
  }
}

void LibraryLogLines::Flush() {
  std::lock_guard lock(mutex_);
  if (size_ > 0) FlushLocked();
}

void LibraryLogLines::FlushLocked() {
  WriteLibraryLogLine(std::string_view(line_.data(), size_));
  size_ = 0;
}

}  // namespace kestrelio
