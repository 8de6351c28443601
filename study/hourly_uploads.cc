#include "study/hourly_uploads.h"

#include <string>

#include "base/diag.h"

namespace kestrelio {

bool UploadHoldingMutex(StudyUpload upload, const UploadContext& context,
                        std::timed_mutex& logging_mutex, const std::function<bool()>& in_call) {
  std::unique_lock lock(logging_mutex, std::try_to_lock);
  if (!lock.owns_lock()) return false;  // until the next pass
  bool sent = false;
  if (!(in_call && in_call())) sent = UploadStudyFile(upload, context).sent;
  const std::string_view text = sent ? UploadSentText(upload) : UploadFailedText(upload);
  Diag("%.*s", static_cast<int>(text.size()), text.data());
  return sent;
}

std::array<bool, 4> RunHourlyUploads(const UploadContext& context, std::timed_mutex& logging_mutex,
                                     const std::function<bool()>& in_call) {
  std::array<bool, 4> sent{};
  for (size_t i = 0; i < kHourlyUploads.size(); ++i) {
    sent[i] = UploadHoldingMutex(kHourlyUploads[i], context, logging_mutex, in_call);
  }
  return sent;
}

}  // namespace kestrelio
