// The field study thread's hourly work: the four uploads in their order, each under
// the Logging Mutex (skipped while it is busy) and never during a call.
//
// A server that lets one upload run into its time-out is not asked again in the same
// pass: the remaining uploads count as failed and wait for the next pass, so one pass
// holds the Logging Mutex for at most one time-out and ends within it.
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
// (not sent, nothing written, when busy), counts a connected call as a failure without
// contacting the server, and writes the result text to the diagnostic output.
UploadOutcome UploadHoldingMutex(StudyUpload upload, const UploadContext& context,
                                 std::timed_mutex& logging_mutex,
                                 const std::function<bool()>& in_call);

// The four hourly uploads at once; the results in kHourlyUploads order.
std::array<bool, 4> RunHourlyUploads(const UploadContext& context, std::timed_mutex& logging_mutex,
                                     const std::function<bool()>& in_call);

}  // namespace kestrelio
