// The survey response record appended to survey_results.txt for every answered
// question: seven lines, each ending with CR LF, with no XML declaration or root
// element around the records.
#pragma once

#include <string>
#include <string_view>

#include "study/study_time.h"
#include "study/survey_trigger.h"

namespace kestrelio {

struct SurveyResponse {
  SurveyTrigger trigger = SurveyTrigger::kAfterCall;
  std::string device_id;
  int question = 0;  // the question number of the block
  int answer = 0;    // the number of the chosen answer as the page gave it, 0 if none
  StudyTime shown;
  StudyTime submitted;
};

std::string FormatSurveyResponse(const SurveyResponse& response);

}  // namespace kestrelio
