// Output of untrusted text: HTML, CSV, and the decoding of HTTP basic credentials.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kestrelio {

// Escapes & < > " ' and shows bytes that are not valid UTF-8 (or are control
// characters) as U+FFFD, so a record cannot inject markup or break the page encoding.
std::string HtmlEscape(std::string_view text);

enum class CsvCell { kNumber, kText };
// One CSV field: quoted when it holds a comma, quote or line end. A text that a
// spreadsheet would run as a formula (= + - @ at its start) gets a leading apostrophe.
std::string CsvField(std::string_view value, CsvCell cell);

// Standard base64 with padding; nullopt for anything else.
std::optional<std::string> Base64Decode(std::string_view text);

}  // namespace kestrelio
