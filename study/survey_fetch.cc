#include "study/survey_fetch.h"

#include "base/diag.h"
#include "study/log_upload.h"
#include "study/study_text.h"
#include "study/survey_page.h"

namespace kestrelio {
namespace {

void AppendQueryValue(std::string& out, std::string_view value) {
  for (char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    const bool plain = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                       (byte >= '0' && byte <= '9') || byte == '-' || byte == '_' || byte == '.' ||
                       byte == '~';
    if (plain) {
      out.push_back(c);
    } else {
      AppendFormat(out, "%%%02X", byte);
    }
  }
}

std::string Formatted(const char* format, int value) {
  std::string text;
  AppendFormat(text, format, value);
  return text;
}

}  // namespace

std::string SurveyRequestPath(std::string_view device_id, std::string_view trigger_name) {
  std::string path = "/research/kestrelio/fstd/survey.php?passwd=";
  path.append(kStudyPassword);
  path.append("&id=");
  AppendQueryValue(path, device_id);
  path.append("&trig=");
  AppendQueryValue(path, trigger_name);
  return path;
}

SurveyFetch FetchSurveyPage(const StudyServer& server, std::string_view device_id,
                            std::string_view trigger_name, const HttpTimeouts& timeouts,
                            std::stop_token stop) {
  HttpRequest request;
  request.path = SurveyRequestPath(device_id, trigger_name);
  request.headers = {"Accept: text/*, image/*"};
  request.max_reply_bytes = kMaxSurveyPageBytes + 1;
  HttpReply reply = RunHttpRequest(server, request, timeouts, stop);
  SurveyFetch fetch;
  switch (reply.stage) {
    case HttpStage::kOpen:
      Diag("HTTP Open failed (%d)", reply.error);
      fetch.status = Formatted("HTTP Open failed (%d)", reply.error);
      return fetch;
    case HttpStage::kOpenRequest:
      fetch.status = Formatted("HTTP OpenRequest(GET) failed (%d)", reply.error);
      return fetch;
    case HttpStage::kConnect:
      fetch.status = Formatted("HTTP Connection failed (%d)", reply.error);
      return fetch;
    case HttpStage::kSend:
      fetch.status = Formatted("HTTP SendRequest(GET) failed (%d)", reply.error);
      return fetch;
    case HttpStage::kRead:
      fetch.status = Formatted("Internet Read File failed (%d)", reply.error);
      return fetch;
    case HttpStage::kDone:
      break;
  }
  fetch.page = std::move(reply.body);
  return fetch;
}

}  // namespace kestrelio
