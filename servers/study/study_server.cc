#include "servers/study/study_server.h"

#include <httplib.h>
#include <sys/socket.h>

#include <cctype>
#include <ctime>

#include "servers/study/bounded_task_queue.h"
#include "servers/study/json_line.h"
#include "servers/study/research_pages.h"
#include "servers/study/study_store.h"
#include "servers/study/survey_bank.h"
#include "servers/study/text_escape.h"
#include "servers/study/upload_intake.h"

namespace kestrelio {
namespace {

constexpr std::string_view kResearchRoot = "/study/";
constexpr size_t kCsvPageRows = 1000;
constexpr size_t kHttpThreads = 8;
constexpr size_t kMaxQueuedConnections = 64;
constexpr int kListenBacklog = 128;

// Details a handler leaves for the request log line. They travel as response headers,
// which tell a client the same: what the server made of its request.
constexpr const char* kNoteKind = "X-Study-Kind";
constexpr const char* kNoteDevice = "X-Study-Device";
constexpr const char* kNoteStored = "X-Study-Stored";
constexpr const char* kNoteDuplicates = "X-Study-Duplicates";
constexpr const char* kNoteRefused = "X-Study-Refused";
constexpr const char* kNoteTrigger = "X-Study-Trigger";
constexpr const char* kNoteBytes = "X-Study-Bytes";
constexpr const char* kNoteRefusedLines = "X-Study-Refused-Lines";

// "X-Study-Refused-Lines" -> "refused_lines"
std::string NoteKey(std::string_view note) {
  std::string key(note.substr(std::string_view("X-Study-").size()));
  for (char& c : key) {
    c = c == '-' ? '_' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return key;
}

std::string UtcNow() {
  std::time_t now = std::time(nullptr);
  std::tm parts{};
  gmtime_r(&now, &parts);
  char text[24];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
  return text;
}

void Reply(httplib::Response& response, int status, const std::string& text) {
  response.status = status;
  response.set_content(text + "\n", "text/plain");
}

// The handset reads whatever body a survey request returns as a page, whatever the
// status: every refusal is served as the empty page.
void ReplyNoSurvey(httplib::Response& response, int status) {
  response.status = status;
  response.set_content(std::string(kNoSurveyPage), "text/plain");
}

void SetPageHeaders(httplib::Response& response) {
  response.set_header("Cache-Control", "no-store");
  response.set_header("X-Content-Type-Options", "nosniff");
  response.set_header("Content-Security-Policy",
                      "default-src 'none'; style-src 'unsafe-inline'; form-action 'self'");
}

std::string ErrorText(int status) {
  switch (status) {
    case 400:
      return "bad request";
    case 404:
      return "not found";
    case 405:
      return "method not allowed";
    case 413:
      return "body too large (at most 16 MiB)";
    case 414:
      return "request line too long";
    default:
      return "error " + std::to_string(status);
  }
}

}  // namespace

// cpp-httplib listens with a backlog of 5: a few handsets connecting at once while the
// accepting thread waits for the CPU would have their connection attempts dropped and
// retried a second later. Calling listen again on the bound socket widens it.
class StudyServer::StudyHttp : public httplib::Server {
 public:
  void WidenBacklog(int backlog) { ::listen(svr_sock_, backlog); }
};

StudyServer::StudyServer(StudyServerConfig config, StudyStore& store, const SurveyBank& surveys)
    : config_(std::move(config)),
      store_(store),
      surveys_(surveys),
      http_(std::make_unique<StudyHttp>()) {
  http_->new_task_queue = [] { return new BoundedTaskQueue(kHttpThreads, kMaxQueuedConnections); };
  http_->set_payload_max_length(kMaxUploadBytes);
  // A kept-alive connection holds a pool thread, and Stop waits for it: one idle second
  // is enough for a client that sends its next request at once. The handset speaks
  // HTTP/1.0 and closes anyway.
  http_->set_keep_alive_timeout(1);
  http_->set_read_timeout(10);
  http_->set_write_timeout(10);
  // Replies go out as headers and body in two writes; without this the second waits
  // for the client's delayed acknowledgement on kept-alive connections.
  http_->set_tcp_nodelay(true);
  // Uploads are read through a content reader: the library's own body reading would
  // form-decode an application/x-www-form-urlencoded body, which the handset sends, and
  // refuse one over 8 KiB.
  http_->Post(".*", [this](const httplib::Request& request, httplib::Response& response,
                           const httplib::ContentReader& content) {
    HandlePost(request, response, content);
  });
  http_->Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
    HandleGet(request, response);
  });
  // Refusals made before a handler ran (unknown method, body too large, bad request
  // line) get a plain text that is never "success".
  http_->set_error_handler([](const httplib::Request&, httplib::Response& response) {
    if (response.body.empty()) Reply(response, response.status, ErrorText(response.status));
  });
  http_->set_exception_handler([](const httplib::Request&, httplib::Response& response,
                                  std::exception_ptr) { Reply(response, 500, "internal error"); });
  http_->set_logger([this](const httplib::Request& request, const httplib::Response& response) {
    LogRequest(request, response);
  });
}

StudyServer::~StudyServer() = default;

int StudyServer::Bind(const std::string& address, int port) {
  int bound = port;
  if (port == 0) {
    bound = http_->bind_to_any_port(address);
  } else if (!http_->bind_to_port(address, port)) {
    bound = -1;
  }
  if (bound > 0) http_->WidenBacklog(kListenBacklog);
  return bound;
}

bool StudyServer::Run() { return http_->listen_after_bind(); }

void StudyServer::Stop() { http_->stop(); }

void StudyServer::HandlePost(const httplib::Request& request, httplib::Response& response,
                             const httplib::ContentReader& content_reader) {
  std::string raw_body;
  bool too_large = false;
  bool read = content_reader([&](const char* data, size_t length) {
    if (length > kMaxUploadBytes - raw_body.size()) {
      too_large = true;
      return false;
    }
    raw_body.append(data, length);
    return true;
  });
  response.set_header(kNoteBytes, std::to_string(raw_body.size()));
  if (too_large || response.status == 413 ||
      request.get_header_value<uint64_t>("Content-Length") > kMaxUploadBytes) {
    return Reply(response, 413, ErrorText(413));
  }
  if (!read) return Reply(response, 400, "bad request: body incomplete");

  std::optional<UploadKind> kind = UploadKindForPath(request.path);
  if (!kind) return Reply(response, 404, "unknown upload path");
  response.set_header(kNoteKind, std::string(UploadKindName(*kind)));
  std::optional<UploadBody> body = SplitUploadBody(raw_body);
  if (!body) return Reply(response, 400, "bad request: expected passwd=...&data=...");
  if (!PasswordMatches(body->password, kStudyPassword)) {
    return Reply(response, 403, "wrong password");
  }

  UploadContent content = ParseUploadData(*kind, body->data);
  std::string received_at = UtcNow();
  UploadMeta meta{*kind, request.remote_addr, received_at};
  std::optional<StoreResult> result = store_.StoreUpload(meta, body->data, content);
  if (!result) return Reply(response, 500, "storage failed; send again later");

  response.set_header(kNoteDevice, std::string(content.device));
  response.set_header(kNoteStored, std::to_string(result->stored));
  response.set_header(kNoteDuplicates, std::to_string(result->duplicates));
  response.set_header(kNoteRefused, std::to_string(result->refused));
  size_t refused_lines = 0;
  for (const RefusedRecord& refused : content.refused) refused_lines += refused.line_count;
  response.set_header(kNoteRefusedLines, std::to_string(refused_lines));
  std::string refused_text =
      std::to_string(result->refused) + " refused (" + std::to_string(refused_lines) + " lines)";
  // The raw upload is kept whatever parsed. Only an upload in which nothing at all
  // could be taken is answered as a failure; otherwise the handset would post the same
  // bad line with every upload, forever, while its good records are already stored.
  if (content.records.empty() && !content.refused.empty()) {
    return Reply(response, 422,
                 "refused: nothing parsed, " + refused_text + "; the upload is kept as sent");
  }
  Reply(response, 200,
        "success: " + std::to_string(result->stored) + " stored, " +
            std::to_string(result->duplicates) + " already stored, " + refused_text);
}

void StudyServer::HandleGet(const httplib::Request& request, httplib::Response& response) {
  if (request.path == kSurveyPath) return HandleSurvey(request, response);
  std::string_view path = request.path;
  if (path == "/study" || path.starts_with(kResearchRoot)) {
    return HandleResearch(request, response);
  }
  Reply(response, 404, "not found");
}

void StudyServer::HandleSurvey(const httplib::Request& request, httplib::Response& response) {
  std::string trigger = request.get_param_value("trig");
  std::string device = request.get_param_value("id");
  response.set_header(kNoteTrigger, trigger);
  response.set_header(kNoteDevice, device);
  if (!PasswordMatches(request.get_param_value("passwd"), kStudyPassword)) {
    return ReplyNoSurvey(response, 403);
  }
  std::optional<std::string_view> page = surveys_.PageFor(trigger);
  if (!page) return ReplyNoSurvey(response, 404);
  response.status = 200;
  response.set_content(std::string(*page), "text/plain");
}

bool StudyServer::ResearcherAuthorised(const httplib::Request& request) const {
  std::string header = request.get_header_value("Authorization");
  constexpr std::string_view kScheme = "Basic ";
  if (!std::string_view(header).starts_with(kScheme)) return false;
  std::optional<std::string> credentials = Base64Decode(header.substr(kScheme.size()));
  if (!credentials) return false;
  size_t colon = credentials->find(':');
  if (colon == std::string::npos) return false;
  // Any user name: the password alone admits.
  return PasswordMatches(std::string_view(*credentials).substr(colon + 1),
                         *config_.researcher_password);
}

void StudyServer::HandleResearch(const httplib::Request& request, httplib::Response& response) {
  if (!config_.researcher_password) return Reply(response, 404, "not found");
  if (!ResearcherAuthorised(request)) {
    response.set_header("WWW-Authenticate", "Basic realm=\"Kestrelio study\", charset=\"UTF-8\"");
    return Reply(response, 401, "password required");
  }
  std::string why;
  std::optional<RecordFilter> filter =
      MakeFilter(request.get_param_value("device"), request.get_param_value("from"),
                 request.get_param_value("to"), &why);
  if (!filter) return Reply(response, 400, "bad filter: " + why);

  std::string_view path = request.path;
  if (path == "/study") {
    response.status = 301;
    response.set_header("Location", "/study/");
    return;
  }
  path.remove_prefix(kResearchRoot.size());
  SetPageHeaders(response);
  if (path.empty()) {
    ResearchQuery query(config_.db_path);
    if (!query.ok()) return Reply(response, 500, "database unavailable");
    response.status = 200;
    response.set_content(RenderOverview(query, *filter), "text/html; charset=utf-8");
    return;
  }
  const TableLayout* layout = nullptr;
  if (path.ends_with(".csv")) layout = FindTable(path.substr(0, path.size() - 4));
  if (layout == nullptr) return Reply(response, 404, "not found");

  // The CSV is sent in pages of rows so a large table never sits in memory whole.
  auto query = std::make_shared<ResearchQuery>(config_.db_path);
  if (!query->ok()) return Reply(response, 500, "database unavailable");
  auto last_id = std::make_shared<int64_t>(0);
  auto header_sent = std::make_shared<bool>(false);
  response.status = 200;
  response.set_header("Content-Disposition",
                      "attachment; filename=\"" + std::string(layout->name) + ".csv\"");
  response.set_chunked_content_provider(
      "text/csv; charset=utf-8",
      [layout, query, last_id, header_sent, filter = *filter](size_t, httplib::DataSink& sink) {
        std::string text;
        if (!*header_sent) {
          text = CsvHeader(*layout);
          *header_sent = true;
        }
        std::vector<RecordRow> rows =
            query->After(*layout, filter, *last_id, static_cast<int>(kCsvPageRows));
        if (!rows.empty()) {
          *last_id = std::stoll(rows.back()[0].value_or("0"));
          text += CsvRows(*layout, rows);
        }
        if (!text.empty() && !sink.write(text.data(), text.size())) return false;
        if (rows.size() < kCsvPageRows) sink.done();
        return true;
      });
}

void StudyServer::LogRequest(const httplib::Request& request,
                             const httplib::Response& response) const {
  JsonLine line(config_.log, "request");
  line.Text("method", request.method)
      .Text("path", request.path)  // the query holds the password; it is not logged
      .Number("status", response.status)
      .Text("remote", request.remote_addr)
      .Number("body_bytes", response.has_header(kNoteBytes)
                                ? std::atoll(response.get_header_value(kNoteBytes).c_str())
                                : static_cast<int64_t>(request.body.size()));
  for (const char* note : {kNoteKind, kNoteDevice, kNoteTrigger}) {
    if (response.has_header(note)) {
      std::string key = NoteKey(note);
      line.Text(key, response.get_header_value(note));
    }
  }
  for (const char* note : {kNoteStored, kNoteDuplicates, kNoteRefused, kNoteRefusedLines}) {
    if (response.has_header(note)) {
      std::string key = NoteKey(note);
      line.Number(key, std::atoll(response.get_header_value(note).c_str()));
    }
  }
  line.Write();
}

}  // namespace kestrelio
