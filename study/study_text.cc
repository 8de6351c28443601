#include "study/study_text.h"

#include <cstdarg>
#include <cstdio>

namespace kestrelio {

std::string OneLineField(std::string_view text) {
  std::string field(text);
  for (char& c : field) {
    auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) c = ' ';
  }
  return field;
}

std::string_view CutUtf8(std::string_view text, size_t max_bytes) {
  if (text.size() <= max_bytes) return text;
  size_t end = max_bytes;
  // Step back over continuation bytes to the start of the cut sequence.
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

void AppendFormat(std::string& out, const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  int needed = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (needed > 0) {
    size_t old_size = out.size();
    out.resize(old_size + static_cast<size_t>(needed) + 1);
    std::vsnprintf(out.data() + old_size, static_cast<size_t>(needed) + 1, format, args);
    out.resize(old_size + static_cast<size_t>(needed));
  }
  va_end(args);
}

}  // namespace kestrelio
