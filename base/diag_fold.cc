#include "base/diag_fold.h"

#include <cstdio>
#include <string_view>
#include <utility>

namespace kestrelio {

bool DiagFolder::Admit(const char* format, uint64_t now_ms, uint32_t* folded) {
  *folded = 0;
  Kind* kind = nullptr;
  Kind* oldest = &kinds_[0];
  for (Kind& k : kinds_) {
    if (k.format == format) {
      kind = &k;
      break;
    }
    if (k.format == nullptr ||
        (oldest->format != nullptr && k.window_start_ms < oldest->window_start_ms)) {
      oldest = &k;
    }
  }
  if (kind == nullptr) {
    // A new kind takes a free entry or the one whose window began longest ago; what
    // that one left out is reported with this line.
    kind = oldest;
    *folded = kind->format != nullptr ? kind->left_out : 0;
    *kind = Kind{format, now_ms, 0, 0};
  } else if (now_ms - kind->window_start_ms >= kWindowMs) {
    *folded = kind->left_out;
    kind->window_start_ms = now_ms;
    kind->in_window = 0;
    kind->left_out = 0;
  }
  if (kind->in_window < kBurst) {
    ++kind->in_window;
    return true;
  }
  ++kind->left_out;
  return false;
}

size_t DiagFolder::Expired(uint64_t now_ms, FoldedList& out) {
  size_t n = 0;
  for (Kind& k : kinds_) {
    if (k.format == nullptr || k.left_out == 0 || now_ms - k.window_start_ms < kWindowMs) {
      continue;
    }
    out[n++] = {k.format, k.left_out};
    k.left_out = 0;
  }
  return n;
}

size_t DiagFolder::TakeAll(FoldedList& out) {
  size_t n = 0;
  for (Kind& k : kinds_) {
    if (k.format == nullptr || k.left_out == 0) continue;
    out[n++] = {k.format, k.left_out};
    k.left_out = 0;
  }
  return n;
}

void FormatFoldedLine(const DiagFolder::Folded& folded, char* text, size_t size) {
  // The format names the kind; its line end, if any, is not part of it.
  std::string_view format(folded.format);
  while (!format.empty() && (format.back() == '\n' || format.back() == '\r')) {
    format.remove_suffix(1);
  }
  std::snprintf(text, size, "\u2026 %u more like this (%.*s)", folded.count,
                static_cast<int>(format.size()), format.data());
}

RotatingLogFile::RotatingLogFile(std::string path, int64_t max_bytes)
    : path_(std::move(path)), max_bytes_(max_bytes) {
  file_ = std::fopen(path_.c_str(), "a");
  if (file_ != nullptr) {
    std::fseek(file_, 0, SEEK_END);
    size_ = std::ftell(file_);
    if (size_ < 0) size_ = 0;
    // A log left over the limit by an earlier run starts a new file at once.
    if (size_ >= max_bytes_) Rotate();
  }
}

RotatingLogFile::~RotatingLogFile() {
  if (file_ != nullptr) std::fclose(file_);
}

void RotatingLogFile::Rotate() {
  std::fclose(file_);
  const std::string older = path_ + ".1";
  std::rename(path_.c_str(), older.c_str());
  file_ = std::fopen(path_.c_str(), "w");
  size_ = 0;
}

void RotatingLogFile::WriteLine(std::string_view line) {
  if (file_ == nullptr) return;
  const auto bytes = static_cast<int64_t>(line.size()) + 1;
  if (size_ > 0 && size_ + bytes > max_bytes_) {
    Rotate();
    if (file_ == nullptr) return;
  }
  std::fwrite(line.data(), 1, line.size(), file_);
  std::fputc('\n', file_);
  std::fflush(file_);
  size_ += bytes;
}

}  // namespace kestrelio
