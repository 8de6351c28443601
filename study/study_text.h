// Small text helpers the study file formats share.
#pragma once

#include <string>
#include <string_view>

namespace kestrelio {

// `text` with every control character (bytes below 0x20 and 0x7F) replaced by a space,
// so a field from the network can never break a record into two lines.
std::string OneLineField(std::string_view text);

// `text` cut to at most `max_bytes`, never inside a UTF-8 sequence.
std::string_view CutUtf8(std::string_view text, size_t max_bytes);

// printf-style append.
void AppendFormat(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));

}  // namespace kestrelio
