#include "servers/study/survey_bank.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "base/diag.h"
#include "servers/study/json_line.h"
#include "servers/study/survey_page_check.h"

#ifndef KESTRELIO_SURVEY_BANK_DIR
#define KESTRELIO_SURVEY_BANK_DIR "/usr/local/share/kestrelio/surveys"
#endif

namespace kestrelio {

const std::array<std::string_view, kSurveyTriggerCount> kSurveyTriggers = {
    "after_call", "after_call_short", "after_call_privacy", "decline_call", "missed_call",
    "ip_change",  "gps_change",       "receive_text",       "sent_text",    "vrs_call"};

namespace {

// Bounded read: anything larger than a page is refused by the check anyway.
constexpr size_t kReadLimit = 64 * 1024;

std::optional<std::string> ReadSmallFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string text(kReadLimit + 1, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  if (in.bad()) return std::nullopt;
  text.resize(static_cast<size_t>(in.gcount()));
  return text;
}

}  // namespace

SurveyBank::SurveyBank(const std::string& folder, std::FILE* log) {
  for (size_t i = 0; i < kSurveyTriggerCount; ++i) {
    pages_[i] = std::string(kNoSurveyPage);
    std::filesystem::path path =
        std::filesystem::path(folder) / (std::string(kSurveyTriggers[i]) + ".txt");
    std::error_code error;
    if (!std::filesystem::exists(path, error)) {
      JsonLine(log, "survey-page-missing").Text("file", path.string()).Write();
      continue;
    }
    std::optional<std::string> page = ReadSmallFile(path);
    PageCheck check;
    if (!page) {
      check.ok = false;
      check.line = 0;
      check.reason = "cannot be read";
    } else {
      check = CheckSurveyPage(*page);
    }
    if (!check.ok) {
      ++refused_;
      Diag("survey page refused: %s:%zu: %s", path.c_str(), check.line, check.reason.c_str());
      JsonLine(log, "survey-page-refused")
          .Text("file", path.string())
          .Number("line", static_cast<int64_t>(check.line))
          .Text("reason", check.reason)
          .Write();
      continue;
    }
    ++loaded_;
    pages_[i] = std::move(*page);
    JsonLine(log, "survey-page-loaded")
        .Text("file", path.string())
        .Number("blocks", static_cast<int64_t>(check.blocks))
        .Write();
  }
}

std::optional<std::string_view> SurveyBank::PageFor(std::string_view trigger) const {
  for (size_t i = 0; i < kSurveyTriggerCount; ++i) {
    if (kSurveyTriggers[i] == trigger) return std::string_view(pages_[i]);
  }
  return std::nullopt;
}

std::string DefaultSurveyFolder() {
  std::error_code error;
  std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) {
    std::filesystem::path beside =
        program.parent_path().parent_path() / "share" / "kestrelio" / "surveys";
    if (std::filesystem::is_directory(beside, error)) return beside.string();
  }
  return KESTRELIO_SURVEY_BANK_DIR;
}

}  // namespace kestrelio
