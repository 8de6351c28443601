#include "ui/line_framer.h"

namespace kestrelio {
namespace {

bool IsBlankLine(std::string_view line) {
  for (char c : line) {
    if (c != ' ' && c != '\t' && c != '\r' && c != '\f' && c != '\v') return false;
  }
  return true;
}

}  // namespace

std::vector<LineFramer::Piece> LineFramer::Feed(std::string_view bytes) {
  std::vector<Piece> out;
  while (!bytes.empty()) {
    const size_t newline = bytes.find('\n');
    const std::string_view part = bytes.substr(0, newline);
    const bool ends = newline != std::string_view::npos;
    bytes.remove_prefix(ends ? newline + 1 : bytes.size());
    if (skipping_) {
      // The rest of a line already refused.
      if (ends) skipping_ = false;
      continue;
    }
    if (buffer_.size() + part.size() > max_line_bytes_) {
      out.push_back({true, {}});
      buffer_.clear();
      skipping_ = !ends;
      continue;
    }
    buffer_.append(part);
    if (!ends) break;
    if (!IsBlankLine(buffer_)) out.push_back({false, std::move(buffer_)});
    buffer_.clear();
  }
  return out;
}

}  // namespace kestrelio
