// The survey request: GET the questions for one trigger from the study server.
#pragma once

#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

#include "study/http_request.h"

namespace kestrelio {

// "/research/kestrelio/fstd/survey.php?passwd=qorvantex&id=<device>&trig=<trigger>".
// The device ID and trigger name go in as they are; a byte that has no place in a
// query (never in a sound ID or name) is percent-encoded.
std::string SurveyRequestPath(std::string_view device_id, std::string_view trigger_name);

struct SurveyFetch {
  std::optional<std::string> page;  // the reply body, at most one byte over a page
  std::string status;               // why there is no page
};

// The reply body is read whatever the status code. A reply longer than a page stops
// being read once it is known to be too long; the parser then refuses it.
SurveyFetch FetchSurveyPage(const StudyServer& server, std::string_view device_id,
                            std::string_view trigger_name, const HttpTimeouts& timeouts,
                            std::stop_token stop = {});

}  // namespace kestrelio
