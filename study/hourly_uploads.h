// The field study thread's hourly work: the four uploads in their order, each under
// the Logging Mutex (skipped while it is busy) and never during a call.
#pragma once

#include <array>
#include <functional>
#include <mutex>

#include "study/log_upload.h"

namespace kestrelio {

// Survey results, call log, battery log, IP log.
inline constexpr std::array<StudyUpload, 4> kHourlyUploads = {
    StudyUpload::kSurveyResults, StudyUpload::kCallLog, StudyUpload::kBatteryLog,
    StudyUpload::kIpLog};

// One upload as the hourly pass runs it: takes the Logging Mutex without waiting
// (false, nothing written, when busy), counts a connected call as a failure without
// contacting the server, and writes the result text to the diagnostic output.
bool UploadHoldingMutex(StudyUpload upload, const UploadContext& context,
                        std::timed_mutex& logging_mutex, const std::function<bool()>& in_call);

// The four hourly uploads at once; the results in kHourlyUploads order.
std::array<bool, 4> RunHourlyUploads(const UploadContext& context, std::timed_mutex& logging_mutex,
                                     const std::function<bool()>& in_call);

}  // namespace kestrelio
