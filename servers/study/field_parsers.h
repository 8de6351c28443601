// Checks of single record fields as the handset writes them. Each returns the value or
// nullopt; none reads outside the given text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "servers/study/study_tables.h"

namespace kestrelio {

// A stored value: none (a non-finite decimal), an integer, a decimal or text. Text
// views point into the upload being taken in.
using FieldValue = std::variant<std::monostate, int64_t, double, std::string_view>;

bool IsDeviceId(std::string_view text);
// "YYYY-MM-DD hh:mm:ss" with month 1-12, day 1-31, hour 0-23, minute 0-59, second 0-60.
bool IsTimestamp(std::string_view text);
// "YYYY-MM-DD" with the same ranges (the researcher page's date filter).
bool IsDate(std::string_view text);
// Optional '-' and 1 to 19 digits that fit in 64 bits.
std::optional<int64_t> ParseInteger(std::string_view text);
// Optional '-', digits, optional '.' and digits. "nan", "-nan", "inf", "-inf" give
// a monostate: the handset wrote a value that is not a number.
std::optional<FieldValue> ParseDecimal(std::string_view text);
// No control characters (below 0x20, 0x7F) and at most kMaxTextBytes.
bool IsPlainText(std::string_view text);

// Checks `text` against `field`; on failure `why` says what was wrong with it.
std::optional<FieldValue> ParseField(const FieldLayout& field, std::string_view text,
                                     std::string* why);

}  // namespace kestrelio
