#include "servers/study/field_parsers.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace kestrelio {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The decimal value of `count` digits at `at`, or -1 when one is not a digit.
int Digits(std::string_view text, size_t at, size_t count) {
  int value = 0;
  for (size_t i = at; i < at + count; ++i) {
    if (!IsDigit(text[i])) return -1;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

bool DateAt(std::string_view text) {
  if (text[4] != '-' || text[7] != '-') return false;
  int year = Digits(text, 0, 4);
  int month = Digits(text, 5, 2);
  int day = Digits(text, 8, 2);
  return year >= 0 && month >= 1 && month <= 12 && day >= 1 && day <= 31;
}

}  // namespace

bool IsDeviceId(std::string_view text) {
  if (text.size() != 20) return false;
  for (char c : text) {
    if (!IsDigit(c) && !(c >= 'A' && c <= 'F')) return false;
  }
  return true;
}

bool IsDate(std::string_view text) { return text.size() == 10 && DateAt(text); }

bool IsTimestamp(std::string_view text) {
  if (text.size() != 19 || !DateAt(text)) return false;
  if (text[10] != ' ' || text[13] != ':' || text[16] != ':') return false;
  int hour = Digits(text, 11, 2);
  int minute = Digits(text, 14, 2);
  int second = Digits(text, 17, 2);
  return hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59 && second >= 0 && second <= 60;
}

std::optional<int64_t> ParseInteger(std::string_view text) {
  size_t digits_at = !text.empty() && text[0] == '-' ? 1 : 0;
  if (text.size() == digits_at || text.size() - digits_at > 19) return std::nullopt;
  for (size_t i = digits_at; i < text.size(); ++i) {
    if (!IsDigit(text[i])) return std::nullopt;
  }
  int64_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<FieldValue> ParseDecimal(std::string_view text) {
  if (text == "nan" || text == "-nan" || text == "inf" || text == "-inf") {
    return FieldValue(std::monostate{});
  }
  size_t at = !text.empty() && text[0] == '-' ? 1 : 0;
  size_t whole = 0;
  while (at < text.size() && IsDigit(text[at])) ++at, ++whole;
  size_t fraction = 0;
  if (at < text.size() && text[at] == '.') {
    ++at;
    while (at < text.size() && IsDigit(text[at])) ++at, ++fraction;
  }
  // %f of a huge double prints hundreds of digits; such a value is no position or rate.
  if (at != text.size() || whole == 0 || whole > 20 || fraction > 20) return std::nullopt;
  // strtod needs a terminated string; the text is short and bounded.
  std::string copy(text);
  double value = std::strtod(copy.c_str(), nullptr);
  if (!std::isfinite(value)) return std::nullopt;
  return FieldValue(value);
}

bool IsPlainText(std::string_view text) {
  if (text.size() > kMaxTextBytes) return false;
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return false;
  }
  return true;
}

std::optional<FieldValue> ParseField(const FieldLayout& field, std::string_view text,
                                     std::string* why) {
  auto refuse = [&](const char* what) -> std::optional<FieldValue> {
    *why = std::string(field.column.empty() ? "null column" : field.column) + ": " + what;
    return std::nullopt;
  };
  switch (field.kind) {
    case FieldKind::kDeviceId:
      if (!IsDeviceId(text)) return refuse("not a device ID");
      return FieldValue(text);
    case FieldKind::kTimestamp:
      if (!IsTimestamp(text)) return refuse("not a timestamp");
      return FieldValue(text);
    case FieldKind::kInteger: {
      auto value = ParseInteger(text);
      if (!value) return refuse("not an integer");
      return FieldValue(*value);
    }
    case FieldKind::kDecimal: {
      auto value = ParseDecimal(text);
      if (!value) return refuse("not a decimal number");
      return value;
    }
    case FieldKind::kText:
      if (!IsPlainText(text)) return refuse("control character or too long");
      return FieldValue(text);
    case FieldKind::kChoice:
      for (std::string_view choice : field.choices) {
        if (text == choice) return FieldValue(text);
      }
      return refuse("unknown word");
    case FieldKind::kFlag:
      if (text != "0" && text != "1") return refuse("not 0 or 1");
      return FieldValue(int64_t{text[0] - '0'});
    case FieldKind::kNull:
      if (text != "null") return refuse("expected null");
      return FieldValue(std::monostate{});
  }
  return refuse("unknown field kind");
}

}  // namespace kestrelio
