// What the server takes from one upload, before anything is stored: the five upload
// paths, the body "passwd=<password>&data=<file bytes>" taken raw (no form decoding:
// everything after the first "&data=" is the file), and the file split into records.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "servers/study/study_record.h"

namespace kestrelio {

enum class UploadKind { kSurveyResults, kCallLog, kBatteryLog, kIpLog, kProgramLog };

inline constexpr std::string_view kStudyPassword = "qorvantex";
inline constexpr size_t kMaxUploadBytes = 16 * 1024 * 1024;

// The upload a POST path names, if any.
std::optional<UploadKind> UploadKindForPath(std::string_view path);
std::string_view UploadPath(UploadKind kind);
// "survey_results", "call_log", ... for the log and the database.
std::string_view UploadKindName(UploadKind kind);

struct UploadBody {
  std::string_view password;
  std::string_view data;
};

// Splits "passwd=...&data=..." at the first "&data="; nullopt when the body has not
// that form.
std::optional<UploadBody> SplitUploadBody(std::string_view body);
// Compares in time independent of where the texts differ.
bool PasswordMatches(std::string_view given, std::string_view expected);

struct UploadContent {
  std::vector<StudyRecord> records;
  std::vector<RefusedRecord> refused;
  size_t lines = 0;         // non-empty lines seen
  std::string_view device;  // device of the first record taken, empty if none
};

// Splits `data` into CR LF lines (a bare LF is taken too) and parses the records of
// `kind`. Empty lines are skipped; a last line without its line end is refused, since
// a record cut short can still look whole.
UploadContent ParseUploadData(UploadKind kind, std::string_view data);

}  // namespace kestrelio
