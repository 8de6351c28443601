// One JSON object per line for every server event, built in a fixed buffer (no
// allocation) and written with one fwrite. Texts from the wire are escaped.
//
//   JsonLine line(log, now_ms, "keepalive");
//   line.Text("phone", user.phone.view());
//   line.Number("status", 1);
//   line.Finish();
#pragma once

#include <cstdint>
#include <cstdio>
#include <string_view>

namespace kestrelio {

class JsonLine {
 public:
  // A null `out` makes every call a no-op (fuzzing, quiet tests).
  JsonLine(std::FILE* out, uint64_t now_ms, std::string_view event);
  JsonLine(const JsonLine&) = delete;
  JsonLine& operator=(const JsonLine&) = delete;

  JsonLine& Text(std::string_view key, std::string_view value);
  JsonLine& Number(std::string_view key, int64_t value);
  JsonLine& Bool(std::string_view key, bool value);
  // Writes the closing brace and the newline; a line too long for the buffer ends early
  // but is still valid JSON.
  void Finish();

 private:
  void Raw(std::string_view text);
  void Key(std::string_view key);

  std::FILE* out_;
  char buffer_[1024];
  size_t used_ = 0;
  bool overflow_ = false;
};

}  // namespace kestrelio
