// The upload of one study file: POST its bytes to the study server and, when the
// server confirms with a reply that begins with "success", move the file to its
// rotated (timestamped) name so the next records start a fresh file.
//
// The caller holds the Logging Mutex for the whole upload, so no record is written to
// the file while it is read, sent and moved.
#pragma once

#include <functional>
#include <stop_token>
#include <string>
#include <string_view>

#include "study/http_request.h"
#include "study/study_time.h"

namespace kestrelio {

enum class StudyUpload { kSurveyResults, kCallLog, kBatteryLog, kIpLog, kProgramLog };

// The shared password every request to the study server carries.
inline constexpr std::string_view kStudyPassword = "qorvantex";

struct UploadContext {
  std::string study_folder;  // with or without the trailing '/'
  StudyServer server;
  HttpTimeouts timeouts;
  std::function<StudyTime()> clock;  // local time for the rotated name; null: now
  std::stop_token stop;
};

struct UploadOutcome {
  bool sent = false;   // posted, confirmed and moved to its rotated name
  std::string status;  // why not, in the routine's own words; empty when sent
  // The server could not be reached or did not answer within the time-outs.
  bool timed_out = false;
};

std::string_view UploadFileName(StudyUpload upload);    // "calllog.txt", ...
std::string_view UploadServerPath(StudyUpload upload);  // "/research/kestrelio/fstd/..."
// "calllog20240307_090500.txt"; the survey results have no prefix.
std::string RotatedFileName(StudyUpload upload, const StudyTime& time);
// "Call log sent!" / "Call log sending failed.", as the diagnostic output reports them.
std::string_view UploadSentText(StudyUpload upload);
std::string_view UploadFailedText(StudyUpload upload);

// The request body: "passwd=qorvantex&data=" and the file's bytes as they are.
std::string UploadBody(std::string_view file_bytes);

UploadOutcome UploadStudyFile(StudyUpload upload, const UploadContext& context);

}  // namespace kestrelio
