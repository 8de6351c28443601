#include "ui/incoming_prompt.h"

namespace kestrelio {
namespace {

constexpr std::string_view kPrefix = "Incoming call from ";
constexpr std::string_view kSuffix = ").\n\n Accept?";

std::string Printable(std::string_view field) {
  std::string out(field);
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
  }
  return out;
}

}  // namespace

std::optional<IncomingCaller> ParseIncomingPrompt(std::string_view caption, std::string_view text) {
  if (caption != kIncomingPromptCaption) return std::nullopt;
  if (!text.starts_with(kPrefix) || !text.ends_with(kSuffix)) return std::nullopt;
  text.remove_prefix(kPrefix.size());
  text.remove_suffix(kSuffix.size());
  // The number is digits, so the first " (" ends it; the name may hold anything.
  const size_t split = text.find(" (");
  if (split == std::string_view::npos) return std::nullopt;
  return IncomingCaller{Printable(text.substr(0, split)), Printable(text.substr(split + 2))};
}

std::string IncomingCallSummary(const IncomingCaller& caller) {
  return std::string(kPrefix) + caller.name + " (" + caller.number + ")";
}

}  // namespace kestrelio
