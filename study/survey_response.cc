#include "study/survey_response.h"

#include "study/study_text.h"

namespace kestrelio {
namespace {

// The device ID is the handset's own hex text; anything else it might hold is kept
// out of the markup.
std::string MarkupSafe(std::string_view text) {
  std::string safe;
  for (char c : OneLineField(text)) {
    if (c == '<' || c == '>' || c == '&' || c == '"') {
      safe.push_back('_');
    } else {
      safe.push_back(c);
    }
  }
  return safe;
}

}  // namespace

std::string FormatSurveyResponse(const SurveyResponse& response) {
  std::string record;
  const std::string trigger(SurveyTriggerName(response.trigger));
  AppendFormat(record,
               "<response trigger=\"%s\">\r\n\t<device>%s</device>\r\n\t<qid>%d</qid>\r\n"
               "\t<aid>%d</aid>\r\n\t<showtime>%s</showtime>\r\n"
               "\t<submittime>%s</submittime>\r\n</response>\r\n",
               trigger.c_str(), MarkupSafe(response.device_id).c_str(), response.question,
               response.answer, FormatStudyTimestamp(response.shown).c_str(),
               FormatStudyTimestamp(response.submitted).c_str());
  return record;
}

}  // namespace kestrelio
