#include "servers/study/text_escape.h"

#include <cstdint>

namespace kestrelio {
namespace {

// Length of the valid UTF-8 sequence at `at`, or 0.
size_t Utf8Length(std::string_view text, size_t at) {
  auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
  uint8_t lead = byte(at);
  size_t length;
  uint32_t code;
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code = lead & 0x0Fu;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code = lead & 0x07u;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(at + i) & 0x3Fu);
  }
  // Overlong forms, surrogates and values past U+10FFFF are not text.
  if ((length == 3 && code < 0x800) || (length == 4 && (code < 0x10000 || code > 0x10FFFF)) ||
      (code >= 0xD800 && code <= 0xDFFF)) {
    return 0;
  }
  return length;
}

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

std::string HtmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (size_t at = 0; at < text.size();) {
    char c = text[at];
    auto byte = static_cast<uint8_t>(c);
    size_t length = Utf8Length(text, at);
    if (length == 0 || (byte < 0x20 && c != '\t') || byte == 0x7F) {
      out += "&#xFFFD;";
      ++at;
      continue;
    }
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out.append(text.substr(at, length));
    }
    at += length;
  }
  return out;
}

std::string CsvField(std::string_view value, CsvCell cell) {
  std::string text;
  if (cell == CsvCell::kText && !value.empty() &&
      (value[0] == '=' || value[0] == '+' || value[0] == '-' || value[0] == '@' ||
       value[0] == '\t' || value[0] == '\r')) {
    text = "'";
  }
  text.append(value);
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

std::optional<std::string> Base64Decode(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  std::string out;
  out.reserve(text.size() / 4 * 3);
  for (size_t at = 0; at < text.size(); at += 4) {
    bool last = at + 4 == text.size();
    int values[4];
    size_t padding = 0;
    for (size_t i = 0; i < 4; ++i) {
      char c = text[at + i];
      if (c == '=' && last && i >= 2) {
        values[i] = 0;
        ++padding;
        continue;
      }
      if (padding > 0) return std::nullopt;  // data after padding
      values[i] = Base64Value(c);
      if (values[i] < 0) return std::nullopt;
    }
    uint32_t group = (static_cast<uint32_t>(values[0]) << 18) |
                     (static_cast<uint32_t>(values[1]) << 12) |
                     (static_cast<uint32_t>(values[2]) << 6) | static_cast<uint32_t>(values[3]);
    out += static_cast<char>((group >> 16) & 0xFF);
    if (padding < 2) out += static_cast<char>((group >> 8) & 0xFF);
    if (padding < 1) out += static_cast<char>(group & 0xFF);
  }
  return out;
}

}  // namespace kestrelio
