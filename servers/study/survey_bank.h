// The survey pages the server hands out, one file "<trigger>.txt" per trigger in the
// bank folder, read and checked once at start-up. A missing or refused page is served
// as "^" (no questions); a refused one is reported with its file and line.
#pragma once

#include <array>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace kestrelio {

inline constexpr size_t kSurveyTriggerCount = 10;
// The trigger names in index order, as the handset sends them.
extern const std::array<std::string_view, kSurveyTriggerCount> kSurveyTriggers;

inline constexpr std::string_view kNoSurveyPage = "^";

class SurveyBank {
 public:
  // Reads `folder`; every finding goes to `log` as a JSON line and to the diagnostic
  // output.
  SurveyBank(const std::string& folder, std::FILE* log);

  // The page for `trigger`; nullopt when no such trigger exists.
  std::optional<std::string_view> PageFor(std::string_view trigger) const;
  size_t loaded() const { return loaded_; }
  size_t refused() const { return refused_; }

 private:
  std::array<std::string, kSurveyTriggerCount> pages_;
  size_t loaded_ = 0;
  size_t refused_ = 0;
};

// The folder used without --surveys: the bank installed beside the program
// (<bin>/../share/kestrelio/surveys, which also holds in the build tree), else the
// install location compiled in.
std::string DefaultSurveyFolder();

}  // namespace kestrelio
