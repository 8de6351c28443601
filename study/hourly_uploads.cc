#include "study/hourly_uploads.h"

#include <string>

#include "base/diag.h"

namespace kestrelio {
namespace {

void ReportResult(StudyUpload upload, bool sent) {
  const std::string_view text = sent ? UploadSentText(upload) : UploadFailedText(upload);
  Diag("%.*s", static_cast<int>(text.size()), text.data());
}

}  // namespace

UploadOutcome UploadHoldingMutex(StudyUpload upload, const UploadContext& context,
                                 std::timed_mutex& logging_mutex,
                                 const std::function<bool()>& in_call) {
  UploadOutcome outcome;
  std::unique_lock lock(logging_mutex, std::try_to_lock);
  if (!lock.owns_lock()) {
    outcome.status = "Logging Mutex busy";  // until the next pass
    return outcome;
  }
  if (in_call && in_call()) {
    outcome.status = "a call is connected";
  } else {
    outcome = UploadStudyFile(upload, context);
  }
  ReportResult(upload, outcome.sent);
  return outcome;
}

std::array<bool, 4> RunHourlyUploads(const UploadContext& context, std::timed_mutex& logging_mutex,
                                     const std::function<bool()>& in_call) {
  std::array<bool, 4> sent{};
  bool server_silent = false;
  for (size_t i = 0; i < kHourlyUploads.size(); ++i) {
    if (server_silent) {
      ReportResult(kHourlyUploads[i], false);
      continue;
    }
    const UploadOutcome outcome =
        UploadHoldingMutex(kHourlyUploads[i], context, logging_mutex, in_call);
    sent[i] = outcome.sent;
    if (outcome.timed_out) {
      Diag("study server %s:%d did not answer in time; the other uploads wait for the next pass",
           context.server.host.c_str(), context.server.port);
      server_silent = true;
    }
  }
  return sent;
}

}  // namespace kestrelio
