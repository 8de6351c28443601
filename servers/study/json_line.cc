#include "servers/study/json_line.h"

#include <chrono>

namespace kestrelio {
namespace {

// Values longer than this are cut; a log line describes a request, it does not copy it.
constexpr size_t kMaxValueBytes = 512;

}  // namespace

int64_t WallClockMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

JsonLine::JsonLine(std::FILE* out, std::string_view event) : out_(out) {
  if (out_ == nullptr) return;
  line_ = "{\"t_ms\":" + std::to_string(WallClockMs());
  Text("event", event);
}

void JsonLine::Key(std::string_view key) {
  line_ += ",\"";
  line_ += key;
  line_ += "\":";
}

JsonLine& JsonLine::Text(std::string_view key, std::string_view value) {
  if (out_ == nullptr) return *this;
  Key(key);
  line_ += '"';
  for (char c : value.substr(0, kMaxValueBytes)) {
    auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      line_ += '\\';
      line_ += c;
    } else if (byte < 0x20 || byte >= 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
      line_ += escaped;
    } else {
      line_ += c;
    }
  }
  if (value.size() > kMaxValueBytes) line_ += "...";
  line_ += '"';
  return *this;
}

JsonLine& JsonLine::Number(std::string_view key, int64_t value) {
  if (out_ == nullptr) return *this;
  Key(key);
  line_ += std::to_string(value);
  return *this;
}

void JsonLine::Write() {
  if (out_ == nullptr) return;
  line_ += "}\n";
  std::fwrite(line_.data(), 1, line_.size(), out_);
}

}  // namespace kestrelio
