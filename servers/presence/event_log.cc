#include "event_log.h"

#include <cinttypes>

namespace kestrelio {

namespace {
// Room kept back for the closing "}\n" and a truncation marker.
constexpr size_t kReserve = 24;
}  // namespace

JsonLine::JsonLine(std::FILE* out, uint64_t now_ms, std::string_view event) : out_(out) {
  if (out_ == nullptr) return;
  Raw("{\"t_ms\":");
  char number[24];
  int n = std::snprintf(number, sizeof number, "%" PRIu64, now_ms);
  Raw(std::string_view(number, static_cast<size_t>(n)));
  Text("event", event);
}

void JsonLine::Raw(std::string_view text) {
  if (overflow_ || used_ + text.size() + kReserve > sizeof buffer_) {
    overflow_ = true;
    return;
  }
  for (char c : text) buffer_[used_++] = c;
}

void JsonLine::Key(std::string_view key) {
  Raw(",\"");
  Raw(key);
  Raw("\":");
}

JsonLine& JsonLine::Text(std::string_view key, std::string_view value) {
  if (out_ == nullptr || overflow_) return *this;
  size_t mark = used_;  // a field that does not fit is dropped whole
  Key(key);
  Raw("\"");
  for (char c : value) {
    auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      char escaped[2] = {'\\', c};
      Raw(std::string_view(escaped, 2));
    } else if (byte < 0x20 || byte >= 0x7F) {
      // Wire texts are 8-bit of unknown encoding: anything not plain ASCII is shown as
      // its byte value so the line stays valid UTF-8 JSON.
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
      Raw(std::string_view(escaped, 6));
    } else {
      Raw(std::string_view(&c, 1));
    }
  }
  Raw("\"");
  if (overflow_) used_ = mark;
  return *this;
}

JsonLine& JsonLine::Number(std::string_view key, int64_t value) {
  if (out_ == nullptr || overflow_) return *this;
  size_t mark = used_;
  Key(key);
  char number[24];
  int n = std::snprintf(number, sizeof number, "%" PRId64, value);
  Raw(std::string_view(number, static_cast<size_t>(n)));
  if (overflow_) used_ = mark;
  return *this;
}

JsonLine& JsonLine::Bool(std::string_view key, bool value) {
  if (out_ == nullptr || overflow_) return *this;
  size_t mark = used_;
  Key(key);
  Raw(value ? "true" : "false");
  if (overflow_) used_ = mark;
  return *this;
}

void JsonLine::Finish() {
  if (out_ == nullptr) return;
  // The reserve always leaves room for this ending.
  std::string_view ending = overflow_ ? ",\"truncated\":true}\n" : "}\n";
  for (char c : ending) buffer_[used_++] = c;
  std::fwrite(buffer_, 1, used_, out_);
}

}  // namespace kestrelio
