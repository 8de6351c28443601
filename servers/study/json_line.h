// One JSON object per line on a stream, written with one fwrite so that lines from
// the server's threads never interleave. Texts are escaped; bytes outside printable
// ASCII appear as \u00XX so the line is valid JSON whatever a client sent.
//
//   JsonLine(stdout, "request").Text("path", path).Number("status", 200).Write();
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace kestrelio {

class JsonLine {
 public:
  // A null `out` makes Write a no-op (tests, fuzzing).
  JsonLine(std::FILE* out, std::string_view event);

  JsonLine& Text(std::string_view key, std::string_view value);
  JsonLine& Number(std::string_view key, int64_t value);
  void Write();

 private:
  void Key(std::string_view key);

  std::FILE* out_;
  std::string line_;
};

// Milliseconds since the epoch, for the "t_ms" of each line.
int64_t WallClockMs();

}  // namespace kestrelio
