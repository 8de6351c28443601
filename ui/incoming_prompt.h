// Recognising the incoming-call prompt among the window's message boxes, and the
// desktop notification's text for it. No Qt.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kestrelio {

inline constexpr std::string_view kIncomingPromptCaption = "Connection";

struct IncomingCaller {
  std::string number;
  std::string name;
};

// The caller of an incoming-call prompt ("Incoming call from NUMBER (NAME).\n\n Accept?"
// in a "Connection" box), or nothing for any other box. Control characters in the
// caller's fields (they come from the network) become spaces.
std::optional<IncomingCaller> ParseIncomingPrompt(std::string_view caption, std::string_view text);

// "Incoming call from NAME (NUMBER)": the notification's summary, plain text.
std::string IncomingCallSummary(const IncomingCaller& caller);

}  // namespace kestrelio
